#include "platform/base/message.h"

#include "platform/base/clock.h"
#include "platform/base/kernel_object.h"
#include "platform/base/sync.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

struct Queue;

// A SendMessageW from another thread, waiting for the owner thread to compute its result.
struct SentCall {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::shared_ptr<Queue> sender;  // woken through its own queue, so it can serve calls meanwhile
    LRESULT result = 0;
    bool done = false;  // guarded by sender->mutex
};

struct Queue {
    explicit Queue(DWORD id) : thread_id(id) {}
    const DWORD thread_id;
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentCall>> sent;
    bool quit = false;
    int quit_code = 0;
    bool alive = true;  // false once the thread has ended
};

struct Window {
    Window(HWND h, std::shared_ptr<Queue> q, WindowProc p)
        : hwnd(h), queue(std::move(q)), proc(std::make_shared<const WindowProc>(std::move(p))) {}
    const HWND hwnd;
    const std::shared_ptr<Queue> queue;  // of the owner thread
    std::atomic<bool> alive{true};       // cleared under queue->mutex, so nothing is queued after
    std::mutex proc_mutex;
    std::shared_ptr<const WindowProc> proc;
};

struct Registry {
    std::mutex mutex;
    std::uintptr_t next_window = 1;
    std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> windows;
    std::unordered_map<DWORD, std::shared_ptr<Queue>> queues;

    std::mutex hooks_mutex;
    std::unordered_map<DWORD, std::shared_ptr<const std::function<void()>>> hooks;
};

// Never destroyed: threads may still post while the process exits.
Registry& Reg() {
    static Registry* registry = new Registry;
    return *registry;
}

std::uintptr_t WindowId(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }

std::shared_ptr<Window> LookupWindow(HWND hwnd) {
    if (!hwnd) return nullptr;
    Registry& reg = Reg();
    std::lock_guard lock(reg.mutex);
    auto it = reg.windows.find(WindowId(hwnd));
    if (it == reg.windows.end() || !it->second->alive.load()) return nullptr;
    return it->second;
}

void Complete(SentCall& call, LRESULT result) {
    {
        std::lock_guard lock(call.sender->mutex);
        call.result = result;
        call.done = true;
    }
    call.sender->cv.notify_all();
}

// Called with no lock held after something was queued for `queue`'s thread.
void Wake(Queue& queue) {
    queue.cv.notify_all();
    std::shared_ptr<const std::function<void()>> hook;
    {
        Registry& reg = Reg();
        std::lock_guard lock(reg.hooks_mutex);
        auto it = reg.hooks.find(queue.thread_id);
        if (it != reg.hooks.end()) hook = it->second;
    }
    if (hook && *hook) (*hook)();
}

// The calling thread's queue; at the end of the thread it is closed, its windows end and
// senders still waiting on it get 0.
struct ThreadQueue {
    std::shared_ptr<Queue> queue;

    ~ThreadQueue() { Close(); }

    void Close() {
        if (!queue) return;
        std::deque<std::shared_ptr<SentCall>> pending;
        {
            std::lock_guard lock(queue->mutex);
            queue->alive = false;
            pending.swap(queue->sent);
            queue->posted.clear();
        }
        for (auto& call : pending) Complete(*call, 0);
        Registry& reg = Reg();
        std::vector<std::shared_ptr<Window>> ended;  // released after the lock
        {
            std::lock_guard lock(reg.mutex);
            reg.queues.erase(queue->thread_id);
            for (auto it = reg.windows.begin(); it != reg.windows.end();) {
                if (it->second->queue == queue) {
                    it->second->alive = false;
                    ended.push_back(std::move(it->second));
                    it = reg.windows.erase(it);
                } else {
                    ++it;
                }
            }
        }
        {
            std::lock_guard lock(reg.hooks_mutex);
            reg.hooks.erase(queue->thread_id);
        }
        queue.reset();
    }
};
thread_local ThreadQueue t_queue;

const std::shared_ptr<Queue>& CurrentQueue() {
    if (!t_queue.queue) {
        auto queue = std::make_shared<Queue>(GetCurrentThreadId());
        Registry& reg = Reg();
        std::lock_guard lock(reg.mutex);
        reg.queues[queue->thread_id] = queue;
        t_queue.queue = std::move(queue);
    }
    return t_queue.queue;
}

LRESULT CallProc(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<const WindowProc> proc;
    {
        std::lock_guard lock(window.proc_mutex);
        proc = window.proc;
    }
    if (!proc || !*proc) return 0;
    return (*proc)(window.hwnd, message, wParam, lParam);
}

void Serve(SentCall& call) {
    auto window = LookupWindow(call.hwnd);
    Complete(call, window ? CallProc(*window, call.message, call.wParam, call.lParam) : 0);
}

bool Matches(const MSG& msg, HWND filter, UINT min_filter, UINT max_filter) {
    if (filter && msg.hwnd != filter) return false;
    if (min_filter == 0 && max_filter == 0) return true;
    return msg.message >= min_filter && msg.message <= max_filter;
}

// Serves the calls sent to this thread, then takes the first matching posted message, then a
// pending quit. With `wait`, sleeps until one of them comes; otherwise false when none is there.
bool Retrieve(Queue& queue, MSG* out, HWND filter, UINT min_filter, UINT max_filter, bool remove, bool wait) {
    std::unique_lock lock(queue.mutex);
    for (;;) {
        while (!queue.sent.empty()) {
            auto call = std::move(queue.sent.front());
            queue.sent.pop_front();
            lock.unlock();
            Serve(*call);
            lock.lock();
        }
        for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
            if (!Matches(*it, filter, min_filter, max_filter)) continue;
            *out = *it;
            if (remove) queue.posted.erase(it);
            return true;
        }
        // The quit request comes after the posted messages and passes every filter, so that
        // a filtered loop still ends.
        if (queue.quit) {
            *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quit_code), 0, GetTickCount(), {0, 0}};
            if (remove) queue.quit = false;
            return true;
        }
        if (!wait) return false;
        queue.cv.wait(lock);
    }
}

// A filter handle must be a live window of the calling thread: any other would never match.
bool ValidFilter(HWND hwnd) {
    if (!hwnd) return true;
    auto window = LookupWindow(hwnd);
    if (window && window->queue->thread_id == GetCurrentThreadId()) return true;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
}

}  // namespace

void qv::platform::CloseThreadMessageQueue() { t_queue.Close(); }

HWND CreateMessageWindow(WindowProc proc) {
    const auto& queue = CurrentQueue();
    Registry& reg = Reg();
    std::lock_guard lock(reg.mutex);
    const std::uintptr_t id = reg.next_window++;
    const HWND hwnd = reinterpret_cast<HWND>(id);
    reg.windows[id] = std::make_shared<Window>(hwnd, queue, std::move(proc));
    return hwnd;
}

BOOL DestroyMessageWindow(HWND hwnd) {
    auto window = LookupWindow(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::vector<std::shared_ptr<SentCall>> cancelled;
    {
        Queue& queue = *window->queue;
        std::lock_guard lock(queue.mutex);
        if (!window->alive.exchange(false)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        std::erase_if(queue.posted, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
        for (auto it = queue.sent.begin(); it != queue.sent.end();) {
            if ((*it)->hwnd == hwnd) {
                cancelled.push_back(std::move(*it));
                it = queue.sent.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& call : cancelled) Complete(*call, 0);
    Registry& reg = Reg();
    std::lock_guard lock(reg.mutex);
    reg.windows.erase(WindowId(hwnd));
    return TRUE;
}

BOOL IsWindow(HWND hwnd) { return LookupWindow(hwnd) ? TRUE : FALSE; }

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* process_id) {
    auto window = LookupWindow(hwnd);
    if (process_id) *process_id = window ? static_cast<DWORD>(::getpid()) : 0;
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return window->queue->thread_id;
}

BOOL SetMessageWindowProc(HWND hwnd, WindowProc proc) {
    auto window = LookupWindow(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    auto replacement = std::make_shared<const WindowProc>(std::move(proc));
    std::lock_guard lock(window->proc_mutex);
    window->proc = std::move(replacement);
    return TRUE;
}

BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto window = LookupWindow(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Queue& queue = *window->queue;
    {
        std::lock_guard lock(queue.mutex);
        if (!queue.alive || !window->alive.load()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        queue.posted.push_back(MSG{hwnd, msg, wParam, lParam, GetTickCount(), {0, 0}});
    }
    Wake(queue);
    return TRUE;
}

void PostQuitMessage(int exit_code) {
    const auto& queue = CurrentQueue();
    {
        std::lock_guard lock(queue->mutex);
        queue->quit = true;
        queue->quit_code = exit_code;
    }
    Wake(*queue);
}

BOOL PostThreadMessageW(DWORD thread_id, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<Queue> queue;
    {
        Registry& reg = Reg();
        std::lock_guard lock(reg.mutex);
        auto it = reg.queues.find(thread_id);
        if (it != reg.queues.end()) queue = it->second;
    }
    if (!queue) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    {
        std::lock_guard lock(queue->mutex);
        if (!queue->alive) {
            SetLastError(ERROR_INVALID_THREAD_ID);
            return FALSE;
        }
        queue->posted.push_back(MSG{nullptr, msg, wParam, lParam, GetTickCount(), {0, 0}});
    }
    Wake(*queue);
    return TRUE;
}

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto window = LookupWindow(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (window->queue->thread_id == GetCurrentThreadId()) return CallProc(*window, msg, wParam, lParam);

    const auto& self = CurrentQueue();
    auto call = std::make_shared<SentCall>(SentCall{hwnd, msg, wParam, lParam, self});
    Queue& target = *window->queue;
    {
        std::lock_guard lock(target.mutex);
        if (!target.alive || !window->alive.load()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        target.sent.push_back(call);
    }
    Wake(target);

    // Calls sent to this thread meanwhile are served, so two threads sending to each other
    // do not wait on each other for ever.
    std::unique_lock lock(self->mutex);
    while (!call->done) {
        if (!self->sent.empty()) {
            auto incoming = std::move(self->sent.front());
            self->sent.pop_front();
            lock.unlock();
            Serve(*incoming);
            lock.lock();
            continue;
        }
        self->cv.wait(lock);
    }
    return call->result;
}

BOOL GetMessageW(MSG* msg, HWND hwnd, UINT min_filter, UINT max_filter) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!ValidFilter(hwnd)) return -1;
    Retrieve(*CurrentQueue(), msg, hwnd, min_filter, max_filter, true, true);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT min_filter, UINT max_filter, UINT remove) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ValidFilter(hwnd)) return FALSE;
    return Retrieve(*CurrentQueue(), msg, hwnd, min_filter, max_filter, (remove & PM_REMOVE) != 0, false) ? TRUE
                                                                                                          : FALSE;
}

LRESULT DispatchMessageW(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;  // thread messages have no procedure
    auto window = LookupWindow(msg->hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return CallProc(*window, msg->message, msg->wParam, msg->lParam);
}

BOOL WaitMessageTimeout(DWORD milliseconds) {
    const auto& queue = CurrentQueue();
    std::unique_lock lock(queue->mutex);
    auto ready = [&] { return !queue->posted.empty() || !queue->sent.empty() || queue->quit; };
    if (milliseconds == INFINITE) {
        queue->cv.wait(lock, ready);
        return TRUE;
    }
    return queue->cv.wait_for(lock, std::chrono::milliseconds(milliseconds), ready) ? TRUE : FALSE;
}

void SetQueueWakeHook(DWORD thread_id, std::function<void()> hook) {
    Registry& reg = Reg();
    std::lock_guard lock(reg.hooks_mutex);
    if (hook)
        reg.hooks[thread_id] = std::make_shared<const std::function<void()>>(std::move(hook));
    else
        reg.hooks.erase(thread_id);
}
