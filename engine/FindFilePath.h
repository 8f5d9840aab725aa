#pragma once
// Lists the ".ts" recordings of a folder on a thread of its own: their full paths, sorted by
// name, whatever the case of the extension.

#include "engine/CritSecs.h"
#include "platform/base/types.h"

#include <atomic>
#include <string>
#include <vector>

class CFindFilePath {
public:
    CFindFilePath() = default;
    virtual ~CFindFilePath();
    CFindFilePath(const CFindFilePath&) = delete;
    CFindFilePath& operator=(const CFindFilePath&) = delete;

    void SetFolder(std::string folder);
    // Stops an earlier scan, then scans on a new thread; false when no thread could start.
    virtual bool Start();
    // Waits for the scan to end.
    virtual void Stop();
    // Lists the folder (on the calling thread), replacing the earlier list.
    virtual void Scan();

    bool Busy() const { return m_busy.load(std::memory_order_acquire) != 0; }
    std::vector<std::string> Files();

private:
    static unsigned ThreadEntry(void* self);

    HANDLE m_thread = nullptr;
    std::atomic<LONG> m_busy{0};
    CCritSecs m_lock;  // the folder and the list
    std::string m_folder;
    std::vector<std::string> m_files;
};
