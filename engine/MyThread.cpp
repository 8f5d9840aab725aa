#include "engine/MyThread.h"

#include "platform/base/clock.h"
#include "platform/base/sync.h"

#include <algorithm>

CMyThread::~CMyThread()
{
    m_runFlag.store(0, std::memory_order_relaxed);
    JoinThread(INFINITE);
}

unsigned CMyThread::ThreadEntry(void* self)
{
    auto* t = static_cast<CMyThread*>(self);
    t->m_threadId.store(GetCurrentThreadId(), std::memory_order_relaxed);
    return t->Run();
}

bool CMyThread::IsThreadAlive() const
{
    return m_hThread != nullptr && WaitForSingleObject(m_hThread, 0) == WAIT_TIMEOUT;
}

bool CMyThread::JoinThread(DWORD timeout_ms)
{
    if (m_hThread == nullptr)
        return true;
    if (WaitForSingleObject(m_hThread, timeout_ms) == WAIT_TIMEOUT)
        return false;
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    m_threadId.store(0, std::memory_order_relaxed);
    return true;
}

bool CMyThread::Start()
{
    // A finished thread is collected here; a live one (a timed-out Stop) must not get a twin.
    if (!JoinThread(0))
        return false;
    m_runFlag.store(1, std::memory_order_relaxed);
    m_hThread = BeginThread(&CMyThread::ThreadEntry, this);
    return m_hThread != nullptr;
}

void CMyThread::Stop(DWORD timeout_ms)
{
    m_runFlag.store(0, std::memory_order_relaxed);
    if (m_hThread == nullptr)
        return;
    if (m_threadId.load(std::memory_order_relaxed) == GetCurrentThreadId())
        return;  // the worker cannot wait for itself
    JoinThread(timeout_ms);
}

void CMyThread::WaitWhileRunning(DWORD ms)
{
    const ULONGLONG deadline = GetTickCount64() + ms;
    while (m_runFlag.load(std::memory_order_relaxed) != 0) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return;
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(10, deadline - now)));
    }
}

CSourceCtx::~CSourceCtx()
{
    CSourceCtx::Stop(INFINITE);
}

bool CSourceCtx::Start()
{
    return CMyThread::Start();
}

void CSourceCtx::Stop(DWORD timeout_ms)
{
    CMyThread::Stop(timeout_ms);
    for (auto& w : m_stateWords)
        w.store(0, std::memory_order_relaxed);
}
