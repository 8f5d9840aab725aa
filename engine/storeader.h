#pragma once
// Exact-length reads and writes at 64-bit positions on a file or a whole disk.

#include "platform/base/types.h"

#include <string>

class CStoReader {
public:
    CStoReader();
    virtual ~CStoReader();
    CStoReader(const CStoReader&) = delete;
    CStoReader& operator=(const CStoReader&) = delete;

    // Opens a file with GENERIC_READ and/or GENERIC_WRITE; with write access a missing file is
    // created and an existing one kept as it is. A reader already open is closed first.
    bool Open(const std::string& path, DWORD access);
    // Opens the n-th whole disk of the machine (as "\\.\PhysicalDriveN" names it); false for a number with
    // no disk and when the user lacks the rights.
    bool OpenDisk(int drive, DWORD access);
    // Moves by the 64-bit distance high:low from FILE_BEGIN, FILE_CURRENT or FILE_END.
    bool Seek(DWORD distanceLow, LONG distanceHigh, DWORD method, LONGLONG* position = nullptr);
    // True only when exactly `size` bytes were transferred.
    bool Read(void* buffer, DWORD size);
    bool Write(const void* buffer, DWORD size);
    void Close();
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }

protected:
    std::string m_path;
    HANDLE m_hFile;
};
