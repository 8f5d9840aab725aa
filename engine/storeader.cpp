#include "engine/storeader.h"

#include "platform/base/file.h"
#include "platform/base/sync.h"


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
    const std::string name = "\\\\.\\PhysicalDrive" + std::to_string(drive);
    m_hFile = CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
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
