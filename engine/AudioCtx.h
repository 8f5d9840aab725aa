#pragma once
// The channel's audio worker.

#include "engine/MyThread.h"
#include "platform/base/types.h"

#include <atomic>

class CJtvCtrl;

class CAudioCtx : public CMyThread {
public:
    explicit CAudioCtx(CJtvCtrl* engine) : m_engine(engine) {}
    ~CAudioCtx() override;

    DWORD Run() override;

    // Output volume in hundredths of a decibel: below -2,699 it is silence (-10,000), and
    // the output takes nothing above 0.
    void SetVolume(LONG volume);
    LONG OutputVolume() const { return m_outputVolume.load(std::memory_order_relaxed); }

private:
    CJtvCtrl* m_engine;
    std::atomic<LONG> m_outputVolume{0};
};
