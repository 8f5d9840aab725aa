// The player program itself, started the way scripts/play starts it without a display.

#include "platform/base/profile.h"
#include "tests/support/tempdir.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Runs a shell command; its standard output and exit status.
std::string RunCommand(const std::string& command, int* status)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        *status = -1;
        return out;
    }
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    const int raw = pclose(pipe);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

}  // namespace

TEST(PlayerProgram, PlaysARecordingToItsEndExitsWithZeroAndKeepsItsSettings)
{
    // The program keeps Config.ini beside itself, so it runs from a folder of its own.
    av_log_set_level(AV_LOG_ERROR);
    TempDir dir;
    const std::string exe = dir.file("quorvin-player");
    std::filesystem::copy_file(QV_PLAYER_EXE, exe);
    WritePrivateProfileStringW("Config", "AutoPlayFirstRecord", "1", dir.file("Config.ini").c_str());

    recgen::RecordingSpec rec;
    rec.width = 160;
    rec.height = 120;
    rec.fps = 25;
    rec.gop = 25;
    rec.seconds = 2.0;
    rec.info_hz = 3;
    recgen::RecordingInfo info;
    const std::string recording = dir.file("card/first.ts");
    std::filesystem::create_directories(dir.path() / "card");
    ASSERT_TRUE(recgen::WriteRecording(rec, recording, &info)) << info.error;

    int status = 0;
    const std::string out = RunCommand("SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 60 '" + exe + "' -f '" + recording +
                                    "' --exit-at-end 2>/dev/null",
                                &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "quorvin-player: " + recording + ": " + std::to_string(info.pictures.size()) +
                       " pictures presented, " + std::to_string(info.records.size()) +
                       " records, ended by the end of the recording\n");
    const std::string config = dir.file("Config.ini");
    EXPECT_EQ(GetPrivateProfileString("Config", "Language File", "", config.c_str()), "en_US");
    EXPECT_EQ(GetPrivateProfileString("Config", "UIMode", "", config.c_str()), "0");
}
