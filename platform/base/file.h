#pragma once
// Files through kernel handles, with 64-bit positions.

#include "platform/base/types.h"

#include <string>

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
};

// Paths are UTF-8. Returns INVALID_HANDLE_VALUE and sets the last error on failure.
HANDLE CreateFileW(const char* path, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE template_file);
// Reads up to `size` bytes, retrying short reads until the size is reached or the file ends;
// `done` receives the count (less than size only at the end of the file).
BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* done, void* overlapped);
// Writes all `size` bytes or fails.
BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* done, void* overlapped);
// Win32 split 64-bit seek: the low part is returned, the high part in/out through `high`.
DWORD SetFilePointer(HANDLE file, LONG distance_low, LONG* distance_high, DWORD method);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* new_position, DWORD method);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
BOOL FlushFileBuffers(HANDLE file);
BOOL SetEndOfFile(HANDLE file);

DWORD GetFileAttributesW(const char* path);
BOOL CreateDirectoryW(const char* path, void* security);
BOOL DeleteFileW(const char* path);

// The running executable's full path (from /proc/self/exe), without any length limit.
std::string GetModuleFileNameW();
