#pragma once
// Reading media files back through the ffprobe and ffmpeg command-line tools.

#include <string>
#include <vector>

namespace mediaprobe {

// The command's standard output; its exit status in `status` when given (-1 when it did not exit).
std::string Shell(const std::string& command, int* status = nullptr);
// The non-empty lines of `text`, without line ends.
std::vector<std::string> Lines(const std::string& text);
// The value of "key=value" in ffprobe's default output; empty when absent.
std::string Field(const std::string& probe, const std::string& key);
// Every picture of the file's video, decoded as planar 4:2:0.
std::vector<std::string> Pictures(const std::string& path, int width, int height);
// Key flags of the video packets in file order.
std::vector<bool> KeyFlags(const std::string& path);

}  // namespace mediaprobe
