#include "engine/FindFilePath.h"

#include "platform/base/sync.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

CFindFilePath::~CFindFilePath()
{
    CFindFilePath::Stop();
}

void CFindFilePath::SetFolder(std::string folder)
{
    CCritSecsLock lock(m_lock);
    m_folder = std::move(folder);
}

unsigned CFindFilePath::ThreadEntry(void* self)
{
    auto* f = static_cast<CFindFilePath*>(self);
    f->Scan();
    f->m_busy.store(0, std::memory_order_release);
    return 0;
}

bool CFindFilePath::Start()
{
    Stop();
    m_busy.store(1, std::memory_order_release);
    m_thread = BeginThread(&CFindFilePath::ThreadEntry, this);
    if (m_thread == nullptr) {
        m_busy.store(0, std::memory_order_release);
        return false;
    }
    return true;
}

void CFindFilePath::Stop()
{
    if (m_thread == nullptr)
        return;
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = nullptr;
    m_busy.store(0, std::memory_order_release);
}

void CFindFilePath::Scan()
{
    std::string folder;
    {
        CCritSecsLock lock(m_lock);
        folder = m_folder;
    }
    std::vector<std::string> files;
    if (!folder.empty()) {
        std::error_code ec;
        fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            const bool ts = name.size() > 3 && name[name.size() - 3] == '.' &&
                            (name[name.size() - 2] | 0x20) == 't' && (name[name.size() - 1] | 0x20) == 's';
            std::error_code typeError;
            if (ts && it->is_regular_file(typeError))
                files.push_back(it->path().string());
        }
    }
    std::sort(files.begin(), files.end());
    CCritSecsLock lock(m_lock);
    m_files = std::move(files);
}

std::vector<std::string> CFindFilePath::Files()
{
    CCritSecsLock lock(m_lock);
    return m_files;
}
