// Pace of play after what a user does: each scripted sequence of the play-control harness is
// played through the flat interface, every shown picture named against FFmpeg's decoding, and
// for each stretch at one speed the table gives the requested speed, the measured pace (media
// seconds per wall second after the stretch's first second), the pace of a fresh start at that
// speed in this run, and their ratio (with the worst 2-second window's ratio). Then the intervals
// of a 30 fps stream with B-frames and the late pictures after an open and a seek.
// An argument not starting with "--" picks the scenarios whose name contains it.

#include "tests/support/playharness/harness.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace playharness;

namespace {

void Row(const Outcome& out)
{
    for (const Phase& p : out.phases) {
        // Pauses, steps and stretches too short to measure have no pace.
        if (p.speed == 0 || std::fabs(p.speed) == 1.1 || std::isnan(p.pace))
            continue;
        if (p.fresh > 0)
            std::printf("%-44s %-26s %8.3g %9.3f %9.3f %7.2f %7.2f\n", out.scenario.c_str(), p.name.c_str(), p.speed,
                        p.pace, p.fresh, p.pace / p.fresh, WorstRatio(p));
        else
            std::printf("%-44s %-26s %8.3g %9.3f %9s %7s %7s\n", out.scenario.c_str(), p.name.c_str(), p.speed, p.pace,
                        "-", "-", "-");
    }
    for (const std::string& f : out.faults)
        std::printf("    order/place: %s\n", f.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::string pick;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--", 2) != 0)
            pick = argv[i];
    if (Recordings().file.empty())
        return 1;

    const std::vector<std::pair<std::string, std::function<Outcome()>>> scenarios = {
        {"half", [] { return SlowAfterNormal(0.5, 6); }},
        {"quarter", [] { return SlowAfterNormal(0.25, 10); }},
        {"normal-after-slow", [] { return NormalAfterSlow(); }},
        {"double", [] { return DoubleThenNormal(); }},
        {"eight", [] { return FastThenNormal(); }},
        {"set", [] { return FolderAsSet(); }},
        {"backward", [] { return BackwardThenForward(); }},
        {"pause", [] { return PauseResume(); }},
        {"seek", [] { return SeekForwardAndBack(); }},
        {"step", [] { return BackwardStepForward(); }},
    };
    std::printf("%-44s %-26s %8s %9s %9s %7s %7s\n", "scenario", "stretch", "speed", "measured", "fresh",
                "ratio", "worst");
    for (const auto& [name, run] : scenarios)
        if (pick.empty() || name.find(pick) != std::string::npos) {
            Row(run());
            std::fflush(stdout);
        }

    if (pick.empty() || std::string("bframes").find(pick) != std::string::npos) {
        const IntervalCount c = BFrameIntervals(6.0, 8.0);
        std::printf("30 fps, 2 B-frames: %d of %d intervals off 33.3 ms by over 8 ms (%d of %d without B-frames)\n",
                    c.off, c.intervals, c.twinOff, c.twinIntervals);
        for (const std::string& f : c.faults)
            std::printf("    order/place: %s\n", f.c_str());
    }
    if (pick.empty() || std::string("late").find(pick) != std::string::npos) {
        const LateRun r = LateFirstPictures();
        std::printf("late first pictures (longest run over 1.5 periods): after open %d, after a seek %d\n",
                    r.afterOpen, r.afterSeek);
    }
    return 0;
}
