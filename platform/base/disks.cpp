#include "platform/base/disks.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Names compared run by run: digit runs by value, other runs shorter first, then by bytes.
// This is the order in which the kernel hands out names of one kind.
bool DiskNameLess(std::string_view a, std::string_view b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digits = IsDigit(a[i]);
        if (digits != IsDigit(b[j]))
            return digits;  // a number before letters, as in any name sort
        std::size_t ie = i, je = j;
        while (ie < a.size() && IsDigit(a[ie]) == digits)
            ++ie;
        while (je < b.size() && IsDigit(b[je]) == digits)
            ++je;
        std::string_view ra = a.substr(i, ie - i), rb = b.substr(j, je - j);
        if (digits) {
            while (ra.size() > 1 && ra.front() == '0')
                ra.remove_prefix(1);
            while (rb.size() > 1 && rb.front() == '0')
                rb.remove_prefix(1);
        }
        if (ra.size() != rb.size())
            return ra.size() < rb.size();
        if (ra != rb)
            return ra < rb;
        i = ie;
        j = je;
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b;
}

bool IsWholeDiskName(std::string_view name)
{
    static constexpr std::string_view kSkipped[] = {"loop", "ram", "zram", "dm-", "md", "nbd", "sr", "fd", "zd"};
    if (name.empty() || name.front() == '.')
        return false;
    for (std::string_view prefix : kSkipped)
        if (name.starts_with(prefix))
            return false;
    if (name.starts_with("mmcblk")) {
        // mmcblk0boot0, mmcblk0rpmb: hardware areas of a chip, not the disk itself.
        std::string_view rest = name.substr(6);
        while (!rest.empty() && IsDigit(rest.front()))
            rest.remove_prefix(1);
        return rest.empty();
    }
    return true;
}

}  // namespace

std::vector<std::string> ListWholeDisks(const std::string& sysBlock)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(sysBlock, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (IsWholeDiskName(name))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return DiskNameLess(a, b); });
    for (std::string& name : names)
        name = "/dev/" + name;
    return names;
}
