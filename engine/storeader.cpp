#include "engine/storeader.h"

#include "platform/base/file.h"
#include "platform/base/sync.h"

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

CStoReader::CStoReader() : m_hFile(INVALID_HANDLE_VALUE) {}

CStoReader::~CStoReader()
{
    Close();
}

bool CStoReader::Open(const std::string& path, DWORD access)
{
    // Reopening must not leak the handle held so far.
    Close();
    const DWORD disposition = (access & GENERIC_WRITE) ? OPEN_ALWAYS : OPEN_EXISTING;
    m_hFile = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, 0, nullptr);
    return IsOpen();
}

bool CStoReader::OpenDisk(int drive, DWORD access)
{
    Close();
    if (drive < 0)
        return false;
    const std::vector<std::string> disks = ListWholeDisks();
    if (static_cast<std::size_t>(drive) >= disks.size()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    m_hFile = CreateFileW(disks[static_cast<std::size_t>(drive)].c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, 0, nullptr);
    return IsOpen();
}

bool CStoReader::Seek(DWORD distanceLow, LONG distanceHigh, DWORD method, LONGLONG* position)
{
    if (!IsOpen())
        return false;
    // The 64-bit call tells failure apart from a position whose low half is 0xFFFFFFFF.
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(distanceHigh)) << 32) | distanceLow);
    LARGE_INTEGER now;
    if (!SetFilePointerEx(m_hFile, distance, &now, method))
        return false;
    if (position)
        *position = now.QuadPart;
    return true;
}

bool CStoReader::Read(void* buffer, DWORD size)
{
    if (!IsOpen())
        return false;
    DWORD done = 0;
    return ReadFile(m_hFile, buffer, size, &done, nullptr) && done == size;
}

bool CStoReader::Write(const void* buffer, DWORD size)
{
    if (!IsOpen())
        return false;
    DWORD done = 0;
    return WriteFile(m_hFile, buffer, size, &done, nullptr) && done == size;
}

void CStoReader::Close()
{
    if (IsOpen())
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}
