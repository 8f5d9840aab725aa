#pragma once
// The set-up the export tests share: an engine reporting to a message window, and a generated
// six-second 176 x 144 recording in a card folder that is also the export folder.

#include "engine/EngineMessages.h"
#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "tests/support/tempdir.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

class ExportFixture : public ::testing::Test {
protected:
    static constexpr int kWidth = 176;
    static constexpr int kHeight = 144;
    static constexpr int kFps = 25;

    // `timeZone`: the engine's offset in seconds west, when the test sets one.
    explicit ExportFixture(std::optional<LONG> timeZone = std::nullopt) : timeZone_(timeZone) {}

    void SetUp() override
    {
        av_log_set_level(AV_LOG_ERROR);
        // Stamps are the local time of the engine's offset: both are fixed here.
        setenv("TZ", "JST-9", 1);
        tzset();
        engine_ = JtvCreate();
        ASSERT_NE(engine_, nullptr);
        notify_ = CreateMessageWindow([this](HWND, UINT message, WPARAM, LPARAM lparam) -> LRESULT {
            if (message == WM_JTV_PLAYEND)
                ends_.push_back(lparam);
            if (message == WM_JTV_EXPORTBEGIN)
                begins_.push_back(reinterpret_cast<const char*>(lparam));
            if (message == WM_JTV_EXPORTEND)
                endsOfClips_.push_back(reinterpret_cast<const char*>(lparam));
            return 0;
        });
        JtvSetNotifyWindow(engine_, notify_, 0);
        if (timeZone_)
            JtvSetTimeZone(engine_, *timeZone_);

        rec_.width = kWidth;
        rec_.height = kHeight;
        rec_.fps = kFps;
        rec_.gop = 25;
        rec_.seconds = 6.0;
        rec_.start_time = 1700000000;
        rec_.info_hz = 2;
        std::vector<std::string> paths;
        std::vector<recgen::RecordingInfo> infos;
        std::string error;
        ASSERT_TRUE(recgen::WriteFolder(rec_, dir_.file("card"), 1, false, &paths, &infos, &error)) << error;
        source_ = paths[0];
        info_ = infos[0];
        JtvSetExportFolder(engine_, dir_.file("card"));
    }

    void TearDown() override
    {
        if (engine_ != nullptr)
            JtvDestroy(engine_);
        DestroyMessageWindow(notify_);
    }

    CJtvCtrl* Engine() { return reinterpret_cast<CJtvCtrl*>(engine_); }

    // Handles every message queued for this thread.
    static void Pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }

    // Opens the recording and starts exporting [from, to) seconds after its start into `output`;
    // `before` runs between the two.
    bool StartExport(const std::string& output, int from, int to, const std::function<void()>& before = nullptr)
    {
        ends_.clear();
        if (JtvOpenFile(engine_, source_) == 0 || JtvLoadFileList(engine_) == nullptr)
            return false;
        if (before)
            before();
        return JtvOpenFileSet(engine_, output, 0, 0, static_cast<int>(rec_.start_time) + from,
                              static_cast<int>(rec_.start_time) + to) != 0;
    }

    // Runs an export to its end; whether it ended well. With `handle` false no message is
    // handled: the end shows only in the progress.
    bool Export(const std::string& output, int from, int to, bool handle = true)
    {
        if (!StartExport(output, from, to))
            return false;
        const auto ended = [&] {
            const double p = JtvGetExportProgress(engine_);
            return handle ? !ends_.empty() : p == 1000.0 || p == -1.0;
        };
        const ULONGLONG limit = GetTickCount64() + 120000;
        while (!ended() && GetTickCount64() < limit) {
            if (handle)
                Pump();
            Sleep(1);
        }
        progress_ = JtvGetExportProgress(engine_);
        JtvStop(engine_);
        if (!handle)
            return progress_ == 1000.0 || progress_ == -1.0;
        Pump();
        return !ends_.empty() && ends_.back() == -1;
    }

    // Handles messages until the export's end message comes; whether it came within `ms`.
    bool WaitForEnd(ULONGLONG ms)
    {
        ProgressUntilEnd(ms);
        return !ends_.empty();
    }

    // Handles messages until the export's end message comes (at most `ms`), reading the
    // progress all along; `sample` sees each reading. The readings, in order.
    std::vector<double> ProgressUntilEnd(ULONGLONG ms, const std::function<void(double)>& sample = nullptr)
    {
        std::vector<double> seen;
        const ULONGLONG limit = GetTickCount64() + ms;
        while (ends_.empty() && GetTickCount64() < limit) {
            seen.push_back(JtvGetExportProgress(engine_));
            if (sample)
                sample(seen.back());
            Pump();
            Sleep(1);
        }
        return seen;
    }

    // A card folder of recordings that follow one another (each `recipe.seconds` long, from
    // `recipe.start_time` on), made the engine's export folder and listed, entry 0 chosen.
    struct RecordingSet {
        std::vector<std::string> paths;
        std::vector<recgen::RecordingInfo> infos;
        std::vector<std::int64_t> starts;  // calendar second of each one's start
    };
    RecordingSet MakeSet(const std::string& folder, const recgen::RecordingSpec& recipe, int count)
    {
        RecordingSet set;
        std::string error;
        EXPECT_TRUE(recgen::WriteFolder(recipe, dir_.file(folder), count, false, &set.paths, &set.infos, &error))
            << error;
        for (int k = 0; k < count; ++k)
            set.starts.push_back(recipe.start_time + k * static_cast<std::int64_t>(std::ceil(recipe.seconds)));
        ListSet(folder, set);
        return set;
    }
    void ListSet(const std::string& folder, const RecordingSet& set)
    {
        JtvSetExportFolder(engine_, dir_.file(folder));
        EXPECT_NE(JtvOpenFile(engine_, set.paths.front()), 0);
        EXPECT_NE(JtvLoadFileList(engine_), nullptr);
        JtvSelectFile(engine_, 0);
    }
    // The pictures an export of calendar seconds [from, to) holds from the files `files` of
    // the set: (file, picture) from the first key frame of the range on.
    static std::vector<std::pair<int, std::size_t>> ExpectedOfSet(const RecordingSet& set, const std::vector<int>& files,
                                                                  std::int64_t from, std::int64_t to)
    {
        std::vector<std::pair<int, std::size_t>> out;
        for (int f : files) {
            const auto& pictures = set.infos[static_cast<std::size_t>(f)].pictures;
            for (std::size_t i = 0; i < pictures.size(); ++i) {
                const std::int64_t t = pictures[i].pts / 90000 + set.starts[static_cast<std::size_t>(f)];
                if (t < from || t >= to || (out.empty() && !pictures[i].key))
                    continue;
                out.emplace_back(f, i);
            }
        }
        return out;
    }

    // Rewrites the generated recording at `path` without its sound from (`keepBefore`) or before
    // the first sound frame stamped `pts` (90 kHz) or later: sound that ends early or begins
    // late. That frame's stamp; -1 (nothing changed) when no frame is that late.
    static std::int64_t CutSound(const std::string& path, const recgen::RecordingInfo& info, std::uint16_t pid,
                                 std::int64_t pts, bool keepBefore)
    {
        const auto frame = std::find_if(info.audio.begin(), info.audio.end(),
                                        [&](const recgen::AudioInfo& a) { return a.pts >= pts; });
        if (frame == info.audio.end())
            return -1;
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::string kept;
        for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188) {
            const unsigned p = (static_cast<std::uint8_t>(bytes[at + 1]) & 0x1Fu) << 8 | static_cast<std::uint8_t>(bytes[at + 2]);
            if (p != pid || (static_cast<std::int64_t>(at) < frame->offset) == keepBefore)
                kept.append(bytes, at, 188);
        }
        std::ofstream(path, std::ios::binary | std::ios::trunc) << kept;
        return frame->pts;
    }

    // Frame time of picture i as the demultiplexer reads it: whole seconds of its time stamp.
    std::int64_t FrameTime(std::size_t i) const { return info_.pictures[i].pts / 90000 + rec_.start_time; }

    // Indices of the source pictures an export of [from, to) holds: from the first key frame
    // of the range to its last picture.
    std::vector<std::size_t> Expected(int from, int to) const
    {
        std::vector<std::size_t> out;
        for (std::size_t i = 0; i < info_.pictures.size(); ++i) {
            const std::int64_t t = FrameTime(i);
            if (t < rec_.start_time + from || t >= rec_.start_time + to)
                continue;
            if (out.empty() && !info_.pictures[i].key)
                continue;
            out.push_back(i);
        }
        return out;
    }

    TempDir dir_;
    HJTV engine_ = nullptr;
    HWND notify_ = nullptr;
    recgen::RecordingSpec rec_;
    recgen::RecordingInfo info_;
    std::string source_;
    std::vector<LPARAM> ends_;
    std::vector<std::string> begins_;
    std::vector<std::string> endsOfClips_;  // WM_JTV_EXPORTEND
    double progress_ = 0;

private:
    std::optional<LONG> timeZone_;
};
