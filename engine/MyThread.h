#pragma once
// Base of the engine's worker threads: one thread, a run flag it polls, and start/stop.

#include "platform/base/types.h"

#include <atomic>

class CJtvCtrl;

class CMyThread {
public:
    CMyThread() = default;
    // Waits for a thread that is still running, so that a worker never outlives its object.
    // Derived workers must stop their thread in their own destructor, before their members go.
    virtual ~CMyThread();
    CMyThread(const CMyThread&) = delete;
    CMyThread& operator=(const CMyThread&) = delete;

    // Sets the run flag and starts the thread. Refuses (false) while an earlier thread of this
    // object still runs, e.g. after a Stop that timed out.
    virtual bool Start();
    // Clears the run flag and waits up to `timeout_ms` (INFINITE: no limit) for the thread.
    // A thread that does not end in time keeps its handle: the next Stop, Start or the
    // destructor waits for it. Called on the worker itself it only clears the flag.
    virtual void Stop(DWORD timeout_ms);
    // The worker's loop; its result is the thread's exit code.
    virtual DWORD Run() = 0;
    // Sleeps up to `ms` in 10 ms steps, returning early once the run flag is cleared.
    virtual void WaitWhileRunning(DWORD ms);

    // Clears the run flag without waiting, so that several workers can be told to stop
    // before any of them is waited for.
    void RequestStop() { m_runFlag.store(0, std::memory_order_relaxed); }
    bool IsRunning() const { return m_runFlag.load(std::memory_order_relaxed) != 0; }
    // True while a thread handle is held (running, or ended but not yet collected).
    bool HasThread() const { return m_hThread != nullptr; }
    // True while the thread routine has not returned.
    bool IsThreadAlive() const;

protected:
    // Waits for the thread and releases its handle; true when the thread has ended.
    bool JoinThread(DWORD timeout_ms);

    std::atomic<DWORD> m_runFlag{0};

private:
    static unsigned ThreadEntry(void* self);

    HANDLE m_hThread = nullptr;
    std::atomic<DWORD> m_threadId{0};
};

// A play source: a worker with the engine it serves and a block of source state.
class CSourceCtx : public CMyThread {
public:
    explicit CSourceCtx(CJtvCtrl* engine) : m_engine(engine) {}
    ~CSourceCtx() override;

    bool Start() override;
    void Stop(DWORD timeout_ms) override;

    CJtvCtrl* Engine() const { return m_engine; }
    LONG StateWord(int i) const { return m_stateWords[i].load(std::memory_order_relaxed); }
    void SetStateWord(int i, LONG v) { m_stateWords[i].store(v, std::memory_order_relaxed); }

protected:
    CJtvCtrl* m_engine;
    BYTE m_stateBlock[24] = {};
    std::atomic<LONG> m_stateWords[4] = {};
};
