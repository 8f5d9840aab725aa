// ShellExecute over the desktop's opener.

#include "platform/win/shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <thread>

extern char** environ;

namespace {

std::mutex g_mutex;
std::function<bool(const std::string&, const std::string&)> g_test_opener;

bool OnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

bool SpawnOpener(const std::string& file)
{
    if (!OnPath("xdg-open"))
        return false;
    std::string program = "xdg-open";
    char* argv[] = {program.data(), const_cast<char*>(file.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0)
        return false;
    // The opener hands the file on and ends; reap it without holding up the UI thread.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
}

}  // namespace

HINSTANCE ShellExecute(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int)
{
    const auto fail = reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(SE_ERR_NOASSOC));
    if (!file || !*file || (parameters && *parameters) || (directory && *directory))
        return fail;
    std::function<bool(const std::string&, const std::string&)> opener;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        opener = g_test_opener;
    }
    bool ok = opener ? opener(verb ? verb : "", file) : SpawnOpener(file);
    return ok ? reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(33)) : fail;
}

namespace qv::win {

void SetShellOpenerForTesting(std::function<bool(const std::string&, const std::string&)> opener)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_test_opener = std::move(opener);
}

}  // namespace qv::win
