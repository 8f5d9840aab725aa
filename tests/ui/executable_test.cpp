// The player program itself, started the way scripts/play starts it without a display.

#include "platform/base/profile.h"
#include "tests/support/media_probe.h"
#include "tests/support/tempdir.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using mediaprobe::Shell;

std::vector<unsigned char> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Mean absolute difference per sample between two RGB pictures, over every 7th sample.
double MeanDifference(const unsigned char* a, const unsigned char* b, std::size_t size)
{
    std::uint64_t sum = 0, count = 0;
    for (std::size_t i = 0; i < size; i += 7, ++count)
        sum += static_cast<std::uint64_t>(a[i] > b[i] ? a[i] - b[i] : b[i] - a[i]);
    return count ? static_cast<double>(sum) / static_cast<double>(count) : 0.0;
}

// A copy of the program in a folder of its own (it keeps Config.ini beside itself), with
// AutoPlayFirstRecord set as given; the copy's path.
std::string ProgramIn(const TempDir& dir, const char* autoPlay)
{
    const std::string exe = dir.file("quorvin-player");
    std::filesystem::copy_file(QV_PLAYER_EXE, exe);
    WritePrivateProfileStringW("Config", "AutoPlayFirstRecord", autoPlay, dir.file("Config.ini").c_str());
    return exe;
}

// Writes a recording of w x h pictures, 25 a second and a key picture each second, to `path`
// (its folder made first).
recgen::RecordingInfo Record(const std::string& path, double seconds, int w = 160, int h = 120, int infoHz = -1)
{
    recgen::RecordingSpec rec;
    rec.width = w;
    rec.height = h;
    rec.fps = 25;
    rec.gop = 25;
    rec.seconds = seconds;
    if (infoHz >= 0)
        rec.info_hz = infoHz;
    recgen::RecordingInfo info;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    EXPECT_TRUE(recgen::WriteRecording(rec, path, &info)) << info.error;
    return info;
}

// The line the player prints for a recording it played to the end.
std::string PlayedToTheEnd(const std::string& path, const recgen::RecordingInfo& info)
{
    return "quorvin-player: " + path + ": " + std::to_string(info.pictures.size()) + " pictures presented, " +
           std::to_string(info.records.size()) + " records, ended by the end of the recording";
}

}  // namespace

TEST(PlayerProgram, PlaysARecordingToItsEndExitsWithZeroAndKeepsItsSettings)
{
    // Its settings say not to play what it opens: without a display nobody could start it, so
    // it plays all the same.
    av_log_set_level(AV_LOG_ERROR);
    TempDir dir;
    const std::string exe = ProgramIn(dir, "0");

    const std::string recording = dir.file("card/first.ts");
    const recgen::RecordingInfo info = Record(recording, 2.0, 160, 120, 3);
    ASSERT_FALSE(HasFailure());

    int status = 0;
    const std::string out = Shell("SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 30 '" + exe + "' -f '" + recording +
                                      "' --exit-at-end 2>/dev/null",
                                  &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, PlayedToTheEnd(recording, info) + "\n");
    const std::string config = dir.file("Config.ini");
    EXPECT_EQ(GetPrivateProfileString("Config", "Language File", "", config.c_str()), "en_US");
    EXPECT_EQ(GetPrivateProfileString("Config", "UIMode", "", config.c_str()), "0");
}

TEST(PlayerProgram, HoldsTheConfigurationDefaultsBuiltBeforeItStarts)
{
    // Read out of the program itself, stopped as its main begins, by the debugger.
    TempDir dir;
    const std::string reader = dir.write("defaults.py", "v = gdb.default_visualizer(gdb.parse_and_eval('ConfigDefaultsMap'))\n"
                                                        "items = [c[1] for c in v.children()]\n"
                                                        "for k, d in zip(items[0::2], items[1::2]):\n"
                                                        "    print('default %d %d %d [%s]' % (int(k), int(d['type']), int(d['number']), "
                                                        "d['text'].string()))\n");
    int status = 0;
    const std::string out = Shell("SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 60 gdb -nx -batch -ex 'break main' -ex run "
                                  "-ex 'source " + reader + "' -ex kill --args '" QV_PLAYER_EXE "' 2>&1",
                                  &status);
    ASSERT_EQ(status, 0) << out;
    std::vector<std::string> expected;
    for (int id = 1; id <= 46; ++id)
        expected.push_back("default " + std::to_string(id) + " 0 0 []");
    for (const char* row : {"default 100 1 0 [SSID]", "default 101 1 0 [58203716]", "default 102 0 1 []"})
        expected.push_back(row);
    std::vector<std::string> rows;
    for (const std::string& line : mediaprobe::Lines(out))
        if (line.starts_with("default "))
            rows.push_back(line);
    EXPECT_EQ(rows, expected) << out;
}

TEST(PlayerProgram, WithoutADisplayItExitsNonZeroWhenItShowedNothing)
{
    av_log_set_level(AV_LOG_ERROR);
    TempDir dir;
    const std::string exe = ProgramIn(dir, "1");
    std::ofstream(dir.file("empty.ts")).close();
    {
        std::ofstream junk(dir.file("junk.ts"), std::ios::binary);
        for (int i = 0; i < 20000; ++i)
            junk.put(static_cast<char>(i * 7 + 1));
    }
    const std::string run = "SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 30 '" + exe + "' ";
    struct Case {
        std::string args;
        std::string report;
    };
    for (const Case& c : {Case{"-f '" + dir.file("missing.ts") + "'", dir.file("missing.ts") + ": 0 pictures presented, 0 records, ended by a failure to open it"},
                          Case{"-f '" + dir.file("empty.ts") + "'", dir.file("empty.ts") + ": 0 pictures presented, 0 records, ended by a failure to open it"},
                          Case{"-f '" + dir.file("junk.ts") + "'", dir.file("junk.ts") + ": 0 pictures presented, 0 records, ended by an end without any picture"},
                          Case{"", "(no source): 0 pictures presented, 0 records, ended by nothing to play: no recording named with -f"}}) {
        int status = 0;
        const std::string out = Shell(run + c.args + " --exit-at-end 2>/dev/null", &status);
        EXPECT_EQ(status, 1) << c.args;
        EXPECT_EQ(out, "quorvin-player: " + c.report + "\n") << c.args;
    }
}

TEST(PlayScript, TakesARelativePathFromTheCallersFolderAndItsStatusTellsWhetherItPlayed)
{
    // The README's command, run from a folder of the test's own on the build this test belongs
    // to (the script configures and builds it, which changes nothing).
    av_log_set_level(AV_LOG_ERROR);
    TempDir dir;
    const recgen::RecordingInfo info = Record(dir.file("rec/first.ts"), 1.0);
    ASSERT_FALSE(HasFailure());
    std::filesystem::create_directories(dir.path() / "here");

    const std::string script = std::string(QV_SOURCE_DIR) + "/scripts/play";
    const std::string run = "cd '" + dir.file("here") + "' && env -u DISPLAY BUILD_DIR='" + QV_BUILD_DIR + "' BUILD_TYPE='" +
                            QV_BUILD_TYPE + "' timeout 300 '" + script + "' ";
    auto lastLine = [](const std::string& out) {
        const std::size_t end = out.find_last_not_of('\n');
        if (end == std::string::npos)
            return std::string();
        const std::size_t start = out.rfind('\n', end);
        return out.substr(start == std::string::npos ? 0 : start + 1, end + 1 - (start == std::string::npos ? 0 : start + 1));
    };

    int status = 0;
    std::string out = Shell(run + "../rec/first.ts 2>/dev/null", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(lastLine(out), PlayedToTheEnd(dir.file("rec/first.ts"), info)) << out;

    out = Shell(run + "../rec/none.ts 2>/dev/null", &status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_EQ(lastLine(out), "quorvin-player: " + dir.file("rec/none.ts") +
                                 ": 0 pictures presented, 0 records, ended by a failure to open it")
        << out;

    // A display named that nobody answers on is no display either. (The window layer's probes of
    // the real drivers leave allocations inside the system's libraries, which a leak-checking
    // build would count against the player: not checked in this run.)
    int display = 7391;
    while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(display)) ||
           std::filesystem::exists("/tmp/.X" + std::to_string(display) + "-lock"))
        ++display;
    out = Shell("cd '" + dir.file("here") + "' && env -u SDL_VIDEODRIVER DISPLAY=:" + std::to_string(display) +
                    " SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 BUILD_DIR='" + QV_BUILD_DIR + "' BUILD_TYPE='" + QV_BUILD_TYPE + "' timeout 120 '" +
                    script + "' ../rec/first.ts 2>/dev/null",
                &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(lastLine(out), PlayedToTheEnd(dir.file("rec/first.ts"), info)) << out;
}

TEST(PlayScript, AnInterruptedFirstRunLeavesNoPartOfTheSampleForLaterRuns)
{
    // The first run without a recording named writes the sample; it is stopped while it does.
    const std::string sample = std::string(QV_BUILD_DIR) + "/sample";
    std::filesystem::remove_all(sample);
    TempDir dir;
    const std::string script = dir.write("run.sh", "set -m\n"
                                                   "env -u DISPLAY BUILD_DIR='" QV_BUILD_DIR "' BUILD_TYPE='" QV_BUILD_TYPE "' '" QV_SOURCE_DIR
                                                   "/scripts/play' >/dev/null 2>&1 &\n"
                                                   "run=$!\n"
                                                   "for _ in $(seq 3000); do\n"
                                                   "  [ -n \"$(find '" + sample + "' -type f -size +0c 2>/dev/null)\" ] && echo writing && break\n"
                                                   "  sleep 0.1\n"
                                                   "done\n"
                                                   "kill -TERM -- -$run\n"
                                                   "wait $run\n"
                                                   "ls -A '" + sample + "'\n");
    // Nothing is left that a later run would take for a whole sample.
    EXPECT_EQ(Shell("bash '" + script + "' 2>/dev/null"), "writing\n");
}

TEST(PlayerProgram, ShowsTheRecordingsPictureInItsWindowOnAnXServer)
{
    // The real desktop road: a private virtual X server, SDL's X11 driver, screenshots of the
    // root window while the recording plays. The pane is 960x540 and so is the recording, so a
    // shown picture matches one of the recording's decoded pictures pixel for pixel (up to the
    // colour conversion).
    for (const char* tool : {"Xvfb", "xwd", "ffmpeg"})
        ASSERT_EQ(std::system((std::string("command -v ") + tool + " >/dev/null").c_str()), 0)
            << tool << " is not installed (scripts/setup installs it)";
    av_log_set_level(AV_LOG_ERROR);
    TempDir dir;
    const std::string exe = ProgramIn(dir, "1");

    constexpr int kWidth = 960, kHeight = 540;
    constexpr int kWindowX = 40, kWindowY = 40;  // where the player window places itself
    const std::string recording = dir.file("rec.ts");
    const recgen::RecordingInfo info = Record(recording, 3.0, kWidth, kHeight);
    ASSERT_FALSE(HasFailure());

    const std::string script = dir.file("run.sh");
    {
        std::ofstream out(script);
        out << "scratch='" << dir.path().string() << "'\n"
            << "Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>\"$scratch/display\" 2>/dev/null &\n"
               "server=$!\n"
               "trap 'kill $server 2>/dev/null; wait $server 2>/dev/null' EXIT\n"
               "for _ in $(seq 100); do [ -s \"$scratch/display\" ] && break; sleep 0.1; done\n"
               "[ -s \"$scratch/display\" ] || { echo 'no X server'; exit 1; }\n"
               "export DISPLAY=:$(head -n1 \"$scratch/display\") SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy\n"
               // In sanitizer builds: the X11 driver's desktop-bus and font libraries keep a
               // little memory of their own to the end.
               "printf 'leak:libdbus-1.so\\nleak:libfontconfig.so\\n' >\"$scratch/lsan.supp\"\n"
               "export LSAN_OPTIONS=suppressions=\"$scratch/lsan.supp\"\n"
               "timeout 60 '"
            << exe << "' -f '" << recording
            << "' --exit-at-end >\"$scratch/player.out\" 2>/dev/null &\n"
               "player=$!\n"
               "sleep 1\n"
               "for n in 1 2 3 4 5 6 7 8; do\n"
               "  kill -0 $player 2>/dev/null || break\n"
               "  xwd -root -silent -out \"$scratch/screen.xwd\" &&\n"
               "    ffmpeg -loglevel error -y -i \"$scratch/screen.xwd\" -vf crop="
            << kWidth << ":" << kHeight << ":" << kWindowX << ":" << kWindowY
            << " -f rawvideo -pix_fmt rgb24 \"$scratch/shot$n.rgb\"\n"
               "  sleep 0.3\n"
               "done\n"
               "wait $player\n"
               "echo \"player $?\"\n";
    }
    int status = 0;
    const std::string out = Shell("bash '" + script + "'", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, "player 0\n");

    const std::string frames = dir.file("frames.rgb");
    ASSERT_EQ(std::system(("ffmpeg -loglevel error -i '" + recording + "' -an -f rawvideo -pix_fmt rgb24 '" + frames + "'").c_str()),
              0);
    const std::vector<unsigned char> pictures = ReadAll(frames);
    constexpr std::size_t kPictureBytes = std::size_t{kWidth} * kHeight * 3;
    ASSERT_EQ(pictures.size(), info.pictures.size() * kPictureBytes);
    const std::vector<unsigned char> black(kPictureBytes, 0);

    int shots = 0;
    double best = 1e9;
    for (int n = 1; n <= 8; ++n) {
        const std::vector<unsigned char> shot = ReadAll(dir.file("shot" + std::to_string(n) + ".rgb"));
        if (shot.size() != kPictureBytes)
            continue;
        ++shots;
        for (std::size_t p = 0; p < info.pictures.size(); ++p)
            best = std::min(best, MeanDifference(shot.data(), pictures.data() + p * kPictureBytes, kPictureBytes));
    }
    ASSERT_GT(shots, 0) << "no screenshot taken while the player ran";
    // The pattern is far from an empty (black) pane, so a near match is the picture itself.
    ASSERT_GT(MeanDifference(pictures.data(), black.data(), kPictureBytes), 40.0);
    EXPECT_LT(best, 8.0);
}
