#pragma once
// The per-channel video and audio workers. They hold what the engine hands them; their
// decode loops come with the video and audio threads.

#include "engine/H264Decoder.h"
#include "engine/MyThread.h"
#include "engine/ObdValues.h"

#include <atomic>

class CVideoCtx : public CMyThread {
public:
    CVideoCtx(CJtvCtrl* engine, int channel);
    ~CVideoCtx() override;

    DWORD Run() override;

    CJtvCtrl* Engine() const { return m_engine; }
    int Channel() const { return m_channel; }

    // The presentation flag byte (letter-boxing) handed over by JtvSetVideoFlag.
    void SetFlag(BYTE flag) { m_flag.store(flag, std::memory_order_relaxed); }
    BYTE Flag() const { return m_flag.load(std::memory_order_relaxed); }
    void SetInfoSink(void* sink) { m_infoSink.store(sink, std::memory_order_relaxed); }
    void* InfoSink() const { return m_infoSink.load(std::memory_order_relaxed); }
    // Asks the video thread to reset its picture state at its next pass.
    void RequestReset(int a, int b);
    int ResetRequests() const { return m_resetRequests.load(std::memory_order_relaxed); }

    // The decoded picture size, published by the video thread for the user-interface thread.
    int PictureWidth() const { return m_width.load(std::memory_order_relaxed); }
    int PictureHeight() const { return m_height.load(std::memory_order_relaxed); }
    void SetPictureSize(int width, int height);

    ObdValues& Obd() { return m_obd; }
    H264DecoderState& Decoder() { return m_decoder; }

private:
    CJtvCtrl* m_engine;
    int m_channel;
    std::atomic<BYTE> m_flag{0};
    std::atomic<void*> m_infoSink{nullptr};
    std::atomic<int> m_resetRequests{0};
    std::atomic<int> m_width{0};
    std::atomic<int> m_height{0};
    ObdValues m_obd;
    H264DecoderState m_decoder;
};

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
