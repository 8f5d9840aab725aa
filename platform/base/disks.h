#pragma once
// Whole disks of the machine, numbered as "\\.\PhysicalDriveN" counts them.

#include <string>
#include <vector>

// The whole-disk block devices listed in `sysBlock`, as device paths under /dev, in a stable
// order: by kind (letters), then by unit, so sda..sdz come before sdaa and mmcblk2 before
// mmcblk10. Virtual and optical devices (loop, ram, zram, dm-, md, nbd, sr, fd, zd) and the
// boot and replay-protected areas of eMMC chips are not disks a card could be on.
std::vector<std::string> ListWholeDisks(const std::string& sysBlock = "/sys/block");
