#include "platform/base/file.h"

#include "platform/base/disks.h"
#include "platform/base/kernel_object.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>


#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv::platform {
namespace {

class FileObject final : public KernelObject {
public:
    explicit FileObject(int fd) : fd_(fd) {}
    ~FileObject() override { ::close(fd_); }
    int fd() const { return fd_; }

private:
    const int fd_;
};

// Whether the folder holding `path` exists, which tells a missing file from a missing path.
bool ParentExists(const char* path) {
    std::string parent(path);
    const auto slash = parent.find_last_of('/');
    if (slash == std::string::npos) return true;
    parent.resize(slash == 0 ? 1 : slash);
    struct stat st {};
    return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

DWORD ErrorFromErrno(int error, const char* path = nullptr) {
    switch (error) {
    case ENOENT:
        return path && !ParentExists(path) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_GEN_FAILURE;
    }
}

// A read or write the handle's access does not allow reports EBADF on an open descriptor.
DWORD IoError(int error) { return error == EBADF ? ERROR_ACCESS_DENIED : ErrorFromErrno(error); }

// "\\.\PhysicalDriveN" names the N-th whole disk of ListWholeDisks (N decimal, or one
// character counted from '0' as older callers build it).
constexpr std::string_view kPhysicalDrive = "\\\\.\\PhysicalDrive";

bool DiskPath(const char* path, std::string* device) {
    const std::string_view name(path);
    if (name.size() <= kPhysicalDrive.size() || name.substr(0, kPhysicalDrive.size()) != kPhysicalDrive)
        return false;
    const std::string_view number = name.substr(kPhysicalDrive.size());
    long index = -1;
    if (number.size() == 1) {
        index = static_cast<unsigned char>(number[0]) - '0';
    } else if (number.size() <= 6 && std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        index = std::stol(std::string(number));
    }
    const std::vector<std::string> disks = ListWholeDisks();
    device->clear();  // no such disk
    if (index >= 0 && static_cast<size_t>(index) < disks.size()) *device = disks[static_cast<size_t>(index)];
    return true;
}

std::shared_ptr<FileObject> LookupFile(HANDLE handle) { return LookupHandleAs<FileObject>(handle); }

// The size of a regular file or of a whole block device (a raw card), whose stat size is 0.
bool FileSize(int fd, LONGLONG* size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    if (S_ISBLK(st.st_mode)) {
        std::uint64_t bytes = 0;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0) return false;
        *size = static_cast<LONGLONG>(bytes);
        return true;
    }
    *size = st.st_size;
    return true;
}

// Moves the position of `fd`; false with the last error set. Only `limit` and below is a valid
// result: the split form without a high part can only report a 32-bit position.
bool Seek(int fd, LONGLONG distance, DWORD method, LONGLONG limit, LONGLONG* position) {
    LONGLONG base = 0;
    switch (method) {
    case FILE_BEGIN:
        break;
    case FILE_CURRENT:
        base = ::lseek(fd, 0, SEEK_CUR);
        if (base < 0) {
            SetLastError(ErrorFromErrno(errno));
            return false;
        }
        break;
    case FILE_END:
        if (!FileSize(fd, &base)) {
            SetLastError(ErrorFromErrno(errno));
            return false;
        }
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    LONGLONG target = 0;
    if (__builtin_add_overflow(base, distance, &target)) {
        SetLastError(distance < 0 ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER);
        return false;
    }
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return false;
    }
    if (target > limit) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const off_t result = ::lseek(fd, static_cast<off_t>(target), SEEK_SET);
    if (result < 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    *position = result;
    return true;
}

}  // namespace
}  // namespace qv::platform

using qv::platform::DiskPath;
using qv::platform::ErrorFromErrno;
using qv::platform::FileObject;
using qv::platform::LookupFile;

// Linux has no share modes: `share` is accepted and every opener may read and write.
HANDLE CreateFileW(const char* path, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE template_file) {
    if (!path || !*path) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string disk;
    if (DiskPath(path, &disk)) {
        if (disk.empty()) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        path = disk.c_str();
    }
    const bool read = access & GENERIC_READ;
    const bool write = access & GENERIC_WRITE;
    int oflags = O_CLOEXEC | (write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY);
    bool report_existing = false;  // CREATE_ALWAYS and OPEN_ALWAYS tell whether the file was there
    switch (disposition) {
    case CREATE_NEW:
        oflags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        oflags |= O_CREAT | O_TRUNC;
        report_existing = true;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        oflags |= O_CREAT;
        report_existing = true;
        break;
    case TRUNCATE_EXISTING:
        if (!write) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        oflags |= O_TRUNC;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }

    bool existed = false;
    int fd = -1;
    if (report_existing) {
        // Try to create it first, so that "it was already there" is known without a race.
        const int base = oflags & ~(O_CREAT | O_TRUNC);
        do {
            fd = ::open(path, base | O_CREAT | O_EXCL, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno == EEXIST) {
            existed = true;
            do {
                fd = ::open(path, oflags, 0666);
            } while (fd < 0 && errno == EINTR);
        }
    } else {
        do {
            fd = ::open(path, oflags, 0666);
        } while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno, path));
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        // A folder is no file to read or write.
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = qv::platform::RegisterHandle(std::make_shared<FileObject>(fd));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* done, void* overlapped) {
    if (done) *done = 0;
    auto object = LookupFile(file);
    if (!object) return FALSE;
    if (overlapped || (!buffer && size > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* bytes = static_cast<BYTE*>(buffer);
    DWORD total = 0;
    while (total < size) {
        const ssize_t n = ::read(object->fd(), bytes + total, static_cast<size_t>(size - total));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (done) *done = total;
            SetLastError(qv::platform::IoError(errno));
            return FALSE;
        }
        if (n == 0) break;  // end of file: success with fewer bytes
        total += static_cast<DWORD>(n);
    }
    if (done) *done = total;
    return TRUE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* done, void* overlapped) {
    if (done) *done = 0;
    auto object = LookupFile(file);
    if (!object) return FALSE;
    if (overlapped || (!buffer && size > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto* bytes = static_cast<const BYTE*>(buffer);
    DWORD total = 0;
    while (total < size) {
        const ssize_t n = ::write(object->fd(), bytes + total, static_cast<size_t>(size - total));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (done) *done = total;
            SetLastError(qv::platform::IoError(errno));
            return FALSE;
        }
        if (n == 0) {  // no progress and no error: the device takes nothing more
            if (done) *done = total;
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        }
        total += static_cast<DWORD>(n);
    }
    if (done) *done = total;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance_low, LONG* distance_high, DWORD method) {
    auto object = LookupFile(file);
    if (!object) return INVALID_SET_FILE_POINTER;
    // Without a high part the low part is a signed 32-bit distance.
    const LONGLONG distance =
        distance_high ? static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(*distance_high)) << 32) |
                                              static_cast<DWORD>(distance_low))
                      : static_cast<LONGLONG>(distance_low);
    const LONGLONG limit = distance_high ? LLONG_MAX : static_cast<LONGLONG>(0xFFFFFFFFu);
    LONGLONG position = 0;
    if (!qv::platform::Seek(object->fd(), distance, method, limit, &position)) return INVALID_SET_FILE_POINTER;
    if (distance_high) *distance_high = static_cast<LONG>(static_cast<ULONGLONG>(position) >> 32);
    // Callers tell a position whose low part is 0xFFFFFFFF from a failure by this.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* new_position, DWORD method) {
    auto object = LookupFile(file);
    if (!object) return FALSE;
    LONGLONG position = 0;
    if (!qv::platform::Seek(object->fd(), distance.QuadPart, method, LLONG_MAX, &position)) return FALSE;
    if (new_position) new_position->QuadPart = position;
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
    auto object = LookupFile(file);
    if (!object) return FALSE;
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LONGLONG bytes = 0;
    if (!qv::platform::FileSize(object->fd(), &bytes)) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    size->QuadPart = bytes;
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    auto object = LookupFile(file);
    if (!object) return FALSE;
    if (::fsync(object->fd()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL SetEndOfFile(HANDLE file) {
    auto object = LookupFile(file);
    if (!object) return FALSE;
    const off_t position = ::lseek(object->fd(), 0, SEEK_CUR);
    int result = -1;
    if (position >= 0) {
        do {
            result = ::ftruncate(object->fd(), position);
        } while (result != 0 && errno == EINTR);
    }
    if (result != 0) {
        SetLastError(qv::platform::IoError(errno));
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesW(const char* path) {
    if (!path || !*path) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat st {};
    if (::stat(path, &st) != 0) {
        SetLastError(ErrorFromErrno(errno, path));
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL CreateDirectoryW(const char* path, void* security) {
    if (!path || !*path) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::mkdir(path, 0777) != 0) {
        // Win32 reports any existing entry, file or folder, as "already exists".
        SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS
                                     : errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno, path));
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileW(const char* path) {
    if (!path || !*path) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::unlink(path) != 0) {
        SetLastError(ErrorFromErrno(errno, path));
        return FALSE;
    }
    return TRUE;
}

std::string GetModuleFileNameW() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            SetLastError(ErrorFromErrno(errno));
            return {};
        }
        if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);  // possibly cut short: try again with more room
    }
}
