#include "platform/base/sync.h"

#include "platform/base/kernel_object.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qv::platform {

DWORD KernelObject::Wait(DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

namespace {

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<HANDLE, std::shared_ptr<KernelObject>> objects;
};

// Never destroyed: detached threads may still close handles while the process exits.
HandleTable& Handles() {
    static HandleTable* table = new HandleTable;
    return *table;
}

// Waits on `cv` until `ready` holds or the time runs out; true when it holds.
template <class Ready>
bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, DWORD milliseconds,
             Ready ready) {
    if (milliseconds == INFINITE) {
        cv.wait(lock, ready);
        return true;
    }
    return cv.wait_for(lock, std::chrono::milliseconds(milliseconds), ready);
}

class EventObject final : public KernelObject {
public:
    EventObject(bool manual_reset, bool signalled) : manual_reset_(manual_reset), signalled_(signalled) {}

    DWORD Wait(DWORD milliseconds) override {
        std::unique_lock lock(mutex_);
        if (!WaitFor(cv_, lock, milliseconds, [this] { return signalled_; })) return WAIT_TIMEOUT;
        if (!manual_reset_) signalled_ = false;
        return WAIT_OBJECT_0;
    }

    void Set() {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        // Every waiter re-checks the flag, so an auto-reset event still lets only one through.
        cv_.notify_all();
    }

    void Reset() {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }

private:
    const bool manual_reset_;
    bool signalled_;
    std::mutex mutex_;
    std::condition_variable cv_;
};

class MutexObject;

// The mutexes the current thread owns, so that they can be handed on as abandoned when it ends.
struct OwnedMutexes {
    std::vector<std::weak_ptr<MutexObject>> mutexes;
    ~OwnedMutexes();
    void AbandonAll();
};
thread_local OwnedMutexes t_owned;

class MutexObject final : public KernelObject, public std::enable_shared_from_this<MutexObject> {
public:
    void TakeInitialOwnership() {
        std::lock_guard lock(mutex_);
        owner_ = GetCurrentThreadId();
        count_ = 1;
    }

    DWORD Wait(DWORD milliseconds) override {
        const DWORD self = GetCurrentThreadId();
        std::unique_lock lock(mutex_);
        if (owner_ == self) {
            ++count_;
            return WAIT_OBJECT_0;
        }
        if (!WaitFor(cv_, lock, milliseconds, [this] { return owner_ == 0; })) return WAIT_TIMEOUT;
        owner_ = self;
        count_ = 1;
        const bool abandoned = abandoned_;
        abandoned_ = false;
        lock.unlock();
        t_owned.mutexes.push_back(weak_from_this());
        return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    }

    BOOL Release() {
        {
            std::lock_guard lock(mutex_);
            if (owner_ != GetCurrentThreadId()) {
                SetLastError(ERROR_NOT_OWNER);
                return FALSE;
            }
            if (--count_ > 0) return TRUE;
            owner_ = 0;
        }
        cv_.notify_all();
        auto& owned = t_owned.mutexes;
        owned.erase(std::remove_if(owned.begin(), owned.end(),
                                   [this](const std::weak_ptr<MutexObject>& m) {
                                       auto locked = m.lock();
                                       return !locked || locked.get() == this;
                                   }),
                    owned.end());
        return TRUE;
    }

    // Called for a thread that ended while holding the mutex.
    void Abandon(DWORD thread_id) {
        {
            std::lock_guard lock(mutex_);
            if (owner_ != thread_id) return;
            owner_ = 0;
            count_ = 0;
            abandoned_ = true;
        }
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    DWORD owner_ = 0;  // 0: free
    DWORD count_ = 0;
    bool abandoned_ = false;
};

void OwnedMutexes::AbandonAll() {
    const DWORD self = GetCurrentThreadId();
    std::vector<std::weak_ptr<MutexObject>> owned;
    owned.swap(mutexes);
    for (auto& weak : owned) {
        if (auto mutex = weak.lock()) mutex->Abandon(self);
    }
}

OwnedMutexes::~OwnedMutexes() { AbandonAll(); }

class ThreadObject final : public KernelObject {
public:
    DWORD Wait(DWORD milliseconds) override {
        std::unique_lock lock(mutex_);
        return WaitFor(cv_, lock, milliseconds, [this] { return done_; }) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }

    void Finish(DWORD exit_code) {
        {
            std::lock_guard lock(mutex_);
            exit_code_ = exit_code;
            done_ = true;
        }
        cv_.notify_all();
    }

    DWORD ExitCode() {
        std::lock_guard lock(mutex_);
        return done_ ? exit_code_ : STILL_ACTIVE;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    DWORD exit_code_ = STILL_ACTIVE;
};

std::atomic<DWORD> g_next_thread_id{1};
thread_local DWORD t_thread_id = 0;

}  // namespace

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object) {
    HANDLE handle = object.get();
    HandleTable& table = Handles();
    std::lock_guard lock(table.mutex);
    table.objects[handle] = std::move(object);
    return handle;
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    HandleTable& table = Handles();
    {
        std::lock_guard lock(table.mutex);
        auto it = table.objects.find(handle);
        if (it != table.objects.end()) return it->second;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

}  // namespace qv::platform

using qv::platform::KernelObject;
using qv::platform::LookupHandle;
using qv::platform::LookupHandleAs;
using qv::platform::RegisterHandle;

void InitializeCriticalSection(CRITICAL_SECTION*) {}
void DeleteCriticalSection(CRITICAL_SECTION*) {}
void EnterCriticalSection(CRITICAL_SECTION* cs) { cs->mutex.lock(); }
BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs) { return cs->mutex.try_lock() ? TRUE : FALSE; }
void LeaveCriticalSection(CRITICAL_SECTION* cs) { cs->mutex.unlock(); }

// Objects are process-local: a name shares nothing, so it is accepted and ignored.
HANDLE CreateEventW(void*, BOOL manual_reset, BOOL initial_state, const char*) {
    return RegisterHandle(std::make_shared<qv::platform::EventObject>(manual_reset != FALSE, initial_state != FALSE));
}

BOOL SetEvent(HANDLE event) {
    auto object = LookupHandleAs<qv::platform::EventObject>(event);
    if (!object) return FALSE;
    object->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    auto object = LookupHandleAs<qv::platform::EventObject>(event);
    if (!object) return FALSE;
    object->Reset();
    return TRUE;
}

HANDLE CreateMutexW(void*, BOOL initial_owner, const char*) {
    auto mutex = std::make_shared<qv::platform::MutexObject>();
    if (initial_owner) {
        mutex->TakeInitialOwnership();
        qv::platform::t_owned.mutexes.push_back(mutex);
    }
    return RegisterHandle(std::move(mutex));
}

BOOL ReleaseMutex(HANDLE mutex) {
    auto object = LookupHandleAs<qv::platform::MutexObject>(mutex);
    if (!object) return FALSE;
    return object->Release();
}

HANDLE BeginThread(std::function<unsigned()> routine) {
    if (!routine) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<qv::platform::ThreadObject>();
    try {
        // The thread holds its own reference, so closing the handle early frees nothing.
        std::thread([thread, routine = std::move(routine)]() mutable {
            const unsigned code = routine();
            routine = nullptr;  // its captures go before anyone is told the thread is done
            qv::platform::CloseThreadMessageQueue();
            qv::platform::t_owned.AbandonAll();
            thread->Finish(code);
        }).detach();
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return RegisterHandle(std::move(thread));
}

HANDLE BeginThread(ThreadRoutine routine, void* arg) {
    if (!routine) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return BeginThread(std::function<unsigned()>([routine, arg] { return routine(arg); }));
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exit_code) {
    auto object = LookupHandleAs<qv::platform::ThreadObject>(thread);
    if (!object) return FALSE;
    if (!exit_code) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exit_code = object->ExitCode();
    return TRUE;
}

DWORD GetCurrentThreadId() {
    DWORD& id = qv::platform::t_thread_id;
    if (id == 0) {
        do {
            id = qv::platform::g_next_thread_id.fetch_add(1, std::memory_order_relaxed);
        } while (id == 0);
    }
    return id;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    auto target = LookupHandle(object);
    if (!target) return WAIT_FAILED;
    return target->Wait(milliseconds);
}

BOOL CloseHandle(HANDLE object) {
    std::shared_ptr<KernelObject> closing;  // released after the table lock
    auto& table = qv::platform::Handles();
    {
        std::lock_guard lock(table.mutex);
        auto it = table.objects.find(object);
        if (it == table.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        closing = std::move(it->second);
        table.objects.erase(it);
    }
    return TRUE;
}

LONG InterlockedIncrement(volatile LONG* target) { return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(volatile LONG* target) { return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedExchange(volatile LONG* target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
LONG InterlockedExchangeAdd(volatile LONG* target, LONG value) {
    return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}
LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand) {
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}
