#pragma once
// What the sound tests hear: the output's 16-bit mono sound, tapped from the start of the watch,
// and the wall time at which the device took each block of it.

#include "platform/media/dsound.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

// What reaches the device: the sound is tapped from the start, and a thread of its own notes
// the wall time (by `now`, in ms) at which the device takes each block.
class DeviceWatch {
public:
    DeviceWatch(DirectSoundBuffer* out, int rate, int seconds, std::function<double()> now)
        : out_(out), rate_(rate), now_(std::move(now))
    {
        for (int tries = 0; tries < 100; ++tries) {
            const std::uint64_t before = out_->DeviceBytes();
            out_->StartTap(static_cast<std::size_t>(rate_) * 2 * static_cast<std::size_t>(seconds));
            tapStart_ = out_->DeviceBytes();
            if (tapStart_ == before)
                break;
        }
        watcher_ = std::thread([this] {
            std::uint64_t last = out_->DeviceBytes();
            blocks_.push_back({now_(), last});
            while (watching_.load()) {
                const std::uint64_t now = out_->DeviceBytes();
                if (now != last) {
                    blocks_.push_back({now_(), now});
                    last = now;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
    }
    ~DeviceWatch() { Stop(); }

    // Ends the watch and takes the tapped samples.
    const std::vector<std::int16_t>& Stop()
    {
        if (watcher_.joinable()) {
            watching_ = false;
            watcher_.join();
            const std::vector<BYTE> bytes = out_->TakeTap();
            samples_.resize(bytes.size() / 2);
            std::memcpy(samples_.data(), bytes.data(), samples_.size() * 2);
        }
        return samples_;
    }

    // The wall time at which a tapped sample reached the device; -1 when no block held it.
    double Heard(std::size_t sample) const
    {
        const std::uint64_t byte = tapStart_ + sample * 2;
        for (std::size_t i = 1; i < blocks_.size(); ++i)
            if (byte < blocks_[i].end)
                return blocks_[i].at + static_cast<double>(byte - blocks_[i - 1].end) * 1000.0 / (rate_ * 2);
        return -1.0;
    }

    // The loudest sample that reached the device between two wall times.
    int Loudest(double from, double to) const
    {
        int loudest = 0;
        for (std::size_t i = 1; i < blocks_.size(); ++i) {
            if (blocks_[i].at < from || blocks_[i].at >= to)
                continue;
            for (std::uint64_t b = blocks_[i - 1].end; b < blocks_[i].end; b += 2)
                if (b >= tapStart_ && (b - tapStart_) / 2 < samples_.size())
                    loudest = std::max(loudest, std::abs(static_cast<int>(samples_[(b - tapStart_) / 2])));
        }
        return loudest;
    }

private:
    struct Block {
        double at;
        std::uint64_t end;  // device bytes after the block
    };
    DirectSoundBuffer* out_;
    int rate_;
    std::function<double()> now_;
    std::uint64_t tapStart_ = 0;
    std::vector<Block> blocks_;
    std::atomic<bool> watching_{true};
    std::thread watcher_;
    std::vector<std::int16_t> samples_;
};

