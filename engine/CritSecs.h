#pragma once
// The engine's lock base: a re-entrant critical section, and a list guarded by one.

#include "platform/base/sync.h"

#include <list>

class CCritSecs {
public:
    CCritSecs() { InitializeCriticalSection(&m_cs); }
    ~CCritSecs() { DeleteCriticalSection(&m_cs); }
    CCritSecs(const CCritSecs&) = delete;
    CCritSecs& operator=(const CCritSecs&) = delete;

    void Lock() { EnterCriticalSection(&m_cs); }
    void Unlock() { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

// Scoped Lock/Unlock of a CCritSecs.
class CCritSecsLock {
public:
    explicit CCritSecsLock(CCritSecs& cs) : m_cs(cs) { m_cs.Lock(); }
    ~CCritSecsLock() { m_cs.Unlock(); }
    CCritSecsLock(const CCritSecsLock&) = delete;
    CCritSecsLock& operator=(const CCritSecsLock&) = delete;

private:
    CCritSecs& m_cs;
};

// A standard list whose users take its lock around every access.
template <class T>
class safelist : public CCritSecs, public std::list<T> {};
