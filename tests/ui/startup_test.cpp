// The program's run: start-up with a program folder of the test's own, the player window run
// modally, what is left behind at the end; and the player window playing a recording named on
// the command line, without a display.

#include "app/app.h"
#include "app/gpsoffset.h"
#include "app/settings.h"
#include "platform/base/clock.h"
#include "platform/base/profile.h"
#include "platform/win/window.h"
#include "platformWin32/win32host.h"
#include "tests/support/tempdir.h"
#include "tools/recgen/recgen.h"
#include "ui/MainDlg.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

// The engine's creation as the player window calls it: the link routes the call here (see
// tests/ui/CMakeLists.txt), so a test can make it fail.
bool g_engineCreationFails = false;
extern "C" HJTV __real__Z9JtvCreatev();
extern "C" HJTV __wrap__Z9JtvCreatev() { return g_engineCreationFails ? nullptr : __real__Z9JtvCreatev(); }

namespace {

// Runs `action` once on the UI thread as soon as the player window exists (a thread timer, so
// it fires inside the window's own modal loop).
std::function<void(CMainDlg&)> g_onWindow;
UINT_PTR g_timer = 0;

void WatchForWindow(HWND, UINT, UINT_PTR id, DWORD)
{
    if (theApp.m_pMainDlg == nullptr || !g_onWindow)
        return;
    KillTimer(nullptr, id);
    auto action = std::move(g_onWindow);
    g_onWindow = nullptr;
    action(*static_cast<CMainDlg*>(theApp.m_pMainDlg));
}

void WhenWindowRuns(std::function<void(CMainDlg&)> action)
{
    g_onWindow = std::move(action);
    g_timer = SetTimer(nullptr, 0, 20, WatchForWindow);
}

void CloseWindow(CMainDlg& dlg) { PostMessage(dlg.m_hWnd, WM_CLOSE, 0, 0); }

// Closes whatever player window runs once `ms` have passed; `*closedByUs` tells whether one did.
bool* g_closedByUs = nullptr;
UINT_PTR g_closeTimer = 0;

void CloseRunningWindow(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_closeTimer = 0;
    if (theApp.m_pMainDlg != nullptr) {
        *g_closedByUs = true;
        CloseWindow(*static_cast<CMainDlg*>(theApp.m_pMainDlg));
    }
}

void CloseAfter(UINT ms, bool* closedByUs)
{
    *closedByUs = false;
    g_closedByUs = closedByUs;
    g_closeTimer = SetTimer(nullptr, 0, ms, CloseRunningWindow);
}

class PlayerRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        av_log_set_level(AV_LOG_ERROR);
        savedSettings_ = g_AppSettings;
        g_AppSettings = AppSettings(dir_.path().string());
        theApp.m_commandLine.clear();
        CMainDlg::s_bCloseAtPlayEnd = false;
        qv::win::SetMessageBoxAnswerForTesting(0);
    }

    void TearDown() override
    {
        if (g_timer)
            KillTimer(nullptr, g_timer);
        g_onWindow = nullptr;
        theApp.m_commandLine.clear();
        CMainDlg::s_bCloseAtPlayEnd = false;
        g_AppSettings = savedSettings_;
        g_GpsOffsetTable.Load("");
        qv::win::ShutdownWindowing();
    }

    void Config(const char* key, const char* value)
    {
        WritePrivateProfileStringW("Config", key, value, g_AppSettings.ConfigFile().c_str());
    }
    std::string ConfigValue(const char* key)
    {
        return GetPrivateProfileString("Config", key, "<missing>", g_AppSettings.ConfigFile().c_str());
    }

    // A grid of one column and one cell, enough to tell a loaded table from an empty one.
    void WriteOffsetGrid()
    {
        GpsOffsetHeader header{};
        std::memcpy(header.magic, "$GPSOFF", 8);
        header.step = 0.5;
        header.columnCount = 1;
        header.cellCount = 1;
        GpsOffsetColumn column{};
        column.lonKey = 116.0;
        column.cellCount = 1;
        GpsOffsetCell cell{};
        cell.latKey = 39.5;
        std::ofstream out(dir_.file("offset_min.bin"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(&header), sizeof header);
        out.write(reinterpret_cast<const char*>(&column), sizeof column);
        out.write(reinterpret_cast<const char*>(&cell), sizeof cell);
    }

    std::string Recording(const char* name, double seconds, recgen::RecordingInfo* info)
    {
        recgen::RecordingSpec rec;
        rec.width = 176;
        rec.height = 144;
        rec.fps = 25;
        rec.gop = 25;
        rec.seconds = seconds;
        rec.info_hz = 2;
        const std::string path = dir_.file(std::string("rec/") + name);
        std::filesystem::create_directories(dir_.path() / "rec");
        EXPECT_TRUE(recgen::WriteRecording(rec, path, info)) << info->error;
        return path;
    }

    TempDir dir_;
    AppSettings savedSettings_{""};
};

}  // namespace

TEST_F(PlayerRunTest, RunSavesLanguageAndModeAndLeavesNoWindowPointer)
{
    Config("GPS_Offset_Auto", "0");
    bool sawWindow = false;
    WhenWindowRuns([&](CMainDlg& dlg) {
        sawWindow = theApp.m_pMainWnd == &dlg && dlg.Engine() != nullptr && dlg.m_nSelectedTimeCell == -1 &&
                    GetWindowTextString(dlg.m_hWnd) == "Quorvin Player";
        CloseWindow(dlg);
    });
    EXPECT_EQ(theApp.InitInstance(), FALSE);
    EXPECT_TRUE(sawWindow);
    EXPECT_EQ(theApp.m_pMainDlg, nullptr);
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
    // Written at every exit, even when nothing changed.
    EXPECT_EQ(ConfigValue("Language File"), "en_US");
    EXPECT_EQ(ConfigValue("UIMode"), "0");
}

TEST_F(PlayerRunTest, OffsetGridLoadsOnlyWhenAutoIsExactlyOne)
{
    WriteOffsetGrid();
    struct Case {
        const char* value;  // null: no Config.ini at all
        bool loaded;
    };
    for (const Case c : {Case{nullptr, true}, Case{"1", true}, Case{"0", false}, Case{"2", false}, Case{"abc", false}}) {
        std::filesystem::remove(g_AppSettings.ConfigFile());
        if (c.value)
            Config("GPS_Offset_Auto", c.value);
        g_GpsOffsetTable.Load("");
        bool loadedDuringRun = false;
        WhenWindowRuns([&](CMainDlg& dlg) {
            loadedDuringRun = g_GpsOffsetTable.IsLoaded();
            CloseWindow(dlg);
        });
        theApp.InitInstance();
        EXPECT_EQ(loadedDuringRun, c.loaded) << (c.value ? c.value : "no Config.ini");
    }
}

TEST_F(PlayerRunTest, CommandLineRecordingPlaysToItsEndAndTheWindowStops)
{
    recgen::RecordingInfo info;
    const std::string path = Recording("a.ts", 2.0, &info);
    Config("AutoPlayFirstRecord", "1");
    theApp.m_commandLine = {"-f", path};
    CMainDlg::s_bCloseAtPlayEnd = true;

    CMainDlg dlg;
    theApp.m_pMainDlg = &dlg;
    bool closedByUs = false;
    CloseAfter(30000, &closedByUs);  // only when the end of the pictures does not stop it
    testing::internal::CaptureStdout();
    dlg.DoModal();
    const std::string report = testing::internal::GetCapturedStdout();
    theApp.m_pMainDlg = nullptr;
    if (g_closeTimer)
        KillTimer(nullptr, g_closeTimer);

    EXPECT_FALSE(closedByUs) << "the window did not stop at the end of the channel's pictures";
    EXPECT_EQ(dlg.PlayEndCount(), 1);
    EXPECT_EQ(dlg.PicturesPresented(), info.pictures.size());
    EXPECT_EQ(dlg.RecordCount(), static_cast<int>(info.records.size()));
    EXPECT_FALSE(dlg.IsPlaying());
    EXPECT_EQ(dlg.Engine(), nullptr);
    EXPECT_NE(report.find(path + ": " + std::to_string(info.pictures.size()) + " pictures presented, " +
                          std::to_string(info.records.size()) + " records, ended by the end of the recording"),
              std::string::npos)
        << report;
}

TEST_F(PlayerRunTest, CommandLineFolderPlaysItsRecordingsAsOneSet)
{
    recgen::RecordingSpec rec;
    rec.width = 160;
    rec.height = 120;
    rec.fps = 25;
    rec.gop = 25;
    rec.seconds = 1.0;
    std::vector<std::string> paths;
    std::vector<recgen::RecordingInfo> infos;
    std::string error;
    ASSERT_TRUE(recgen::WriteFolder(rec, dir_.file("card/ts"), 3, false, &paths, &infos, &error)) << error;
    Config("AutoPlayFirstRecord", "1");
    theApp.m_commandLine = {"-f", dir_.file("card/ts")};
    CMainDlg::s_bCloseAtPlayEnd = true;

    CMainDlg dlg;
    theApp.m_pMainDlg = &dlg;
    bool closedByUs = false;
    CloseAfter(30000, &closedByUs);  // only when the end of the set does not stop it
    testing::internal::CaptureStdout();
    dlg.DoModal();
    testing::internal::GetCapturedStdout();
    theApp.m_pMainDlg = nullptr;
    if (g_closeTimer)
        KillTimer(nullptr, g_closeTimer);
    EXPECT_FALSE(closedByUs) << "the window did not stop at the end of the set";

    std::size_t pictures = 0, records = 0;
    for (const auto& info : infos) {
        pictures += info.pictures.size();
        records += info.records.size();
    }
    EXPECT_EQ(dlg.PlayEndCount(), 1);
    EXPECT_EQ(dlg.PicturesPresented(), pictures);
    EXPECT_EQ(dlg.RecordCount(), static_cast<int>(records));
}

TEST_F(PlayerRunTest, ClosingWhilePlayingStopsAndDestroysTheEnginePromptly)
{
    recgen::RecordingInfo info;
    const std::string path = Recording("long.ts", 20.0, &info);
    Config("AutoPlayFirstRecord", "1");
    theApp.m_commandLine = {"-F", path};

    CMainDlg dlg;
    theApp.m_pMainDlg = &dlg;
    ULONGLONG closedAt = 0;
    bool wasPlaying = false;
    WhenWindowRuns([&](CMainDlg& d) {
        // Let it play a little first.
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        wasPlaying = d.IsPlaying();
        closedAt = GetTickCount64();
        CloseWindow(d);
    });
    dlg.DoModal();
    const ULONGLONG took = GetTickCount64() - closedAt;
    theApp.m_pMainDlg = nullptr;

    EXPECT_TRUE(wasPlaying);
    EXPECT_EQ(dlg.Engine(), nullptr);
    EXPECT_EQ(dlg.PlayEndCount(), 0);
    EXPECT_LT(dlg.PicturesPresented(), info.pictures.size());
    EXPECT_LT(took, 2000u);
}

TEST_F(PlayerRunTest, WithoutAutoPlayTheRecordingIsOpenedButNotPlayed)
{
    recgen::RecordingInfo info;
    theApp.m_commandLine = {"-f", Recording("a.ts", 1.0, &info)};
    CMainDlg dlg;
    theApp.m_pMainDlg = &dlg;
    WhenWindowRuns([&](CMainDlg& d) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        CloseWindow(d);
    });
    dlg.DoModal();
    theApp.m_pMainDlg = nullptr;
    EXPECT_EQ(dlg.PicturesPresented(), 0u);
    EXPECT_EQ(dlg.PlayEndCount(), 0);
    EXPECT_EQ(JtvGetCurrentFileName(dlg.Engine()), "");  // the engine is gone
}

TEST_F(PlayerRunTest, BadSourcesGiveATranslatedMessageAndACleanExit)
{
    // A German language file, so the message must come through the translation.
    std::filesystem::create_directories(dir_.path() / "Language");
    {
        std::ofstream de(dir_.file("Language/de_DE.ini"));
        de << "[Language String]\n"
              "The file cannot be opened.=Die Datei kann nicht geoeffnet werden.\n"
              "The file is not a recording.=Die Datei ist keine Aufnahme.\n"
              "The folder holds no recording.=Der Ordner enthaelt keine Aufnahme.\n";
    }
    Config("Language File", "de_DE");
    Config("AutoPlayFirstRecord", "1");
    Config("GPS_Offset_Auto", "0");

    const std::string junk = dir_.file("junk.ts");
    {
        std::ofstream out(junk, std::ios::binary);
        for (int i = 0; i < 20000; ++i)
            out.put(static_cast<char>(i * 7 + 1));
    }
    const std::string emptyFile = dir_.file("empty.ts");
    std::ofstream(emptyFile).close();
    const std::string text = dir_.file("notes.txt");
    std::ofstream(text) << "hello";
    const std::string unreadable = dir_.file("locked.ts");
    std::ofstream(unreadable) << "x";
    chmod(unreadable.c_str(), 0);
    const bool canLock = std::ifstream(unreadable).fail();  // not when running as root
    std::filesystem::create_directories(dir_.path() / "empty");

    struct Case {
        std::string path;
        const char* message;
    };
    std::vector<Case> cases = {
        {dir_.file("missing.ts"), "Die Datei kann nicht geoeffnet werden."},
        {text, "Die Datei ist keine Aufnahme."},
        {junk, "Die Datei ist keine Aufnahme."},
        {emptyFile, "Die Datei ist keine Aufnahme."},
        {dir_.file("empty"), "Der Ordner enthaelt keine Aufnahme."},
    };
    if (canLock)
        cases.push_back({unreadable, "Die Datei kann nicht geoeffnet werden."});
    for (const Case& c : cases) {
        theApp.m_commandLine = {"-f", c.path};
        bool closedByUs = false;
        CloseAfter(10000, &closedByUs);
        theApp.InitInstance();
        if (g_closeTimer)
            KillTimer(nullptr, g_closeTimer);
        EXPECT_FALSE(closedByUs) << c.path;
        EXPECT_EQ(qv::win::LastMessageBoxText(), std::string(c.message) + "\n" + c.path) << c.path;
        EXPECT_EQ(theApp.m_pMainDlg, nullptr);
    }
    chmod(unreadable.c_str(), 0600);
}

TEST_F(PlayerRunTest, OldWindowsWithoutDirectXOffersTheInstaller)
{
    Win32Machine oldMachine;
    oldMachine.osMajorVersion = 5;
    SetWin32MachineForTesting(&oldMachine);
    const std::string marker = dir_.file("installer-ran");
    {
        std::ofstream script(dir_.file("dxwebsetup.exe"));
        script << "#!/bin/sh\ntouch '" << marker << "'\n";
    }
    chmod(dir_.file("dxwebsetup.exe").c_str(), 0755);

    qv::win::SetMessageBoxAnswerForTesting(IDCANCEL);
    { CMainDlg dlg; }
    EXPECT_NE(qv::win::LastMessageBoxText().find("DirectX 9.0c"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(marker));

    qv::win::SetMessageBoxAnswerForTesting(IDOK);
    { CMainDlg dlg; }
    EXPECT_TRUE(std::filesystem::exists(marker));  // started and waited for

    // A current Windows is never asked.
    SetWin32MachineForTesting(nullptr);
    std::filesystem::remove(marker);
    qv::win::SetMessageBoxAnswerForTesting(IDOK);
    { CMainDlg dlg; }
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(PlayerRunTest, AStartThatFailsTellsTheUserAndEndsTheRunWithAFailure)
{
    recgen::RecordingInfo info;
    theApp.m_commandLine = {"-f", Recording("a.ts", 1.0, &info)};
    Config("AutoPlayFirstRecord", "1");

    g_engineCreationFails = true;
    CMainDlg::s_nExitStatus = 0;
    bool closedByUs = false;
    CloseAfter(10000, &closedByUs);
    theApp.InitInstance();
    if (g_closeTimer)
        KillTimer(nullptr, g_closeTimer);
    g_engineCreationFails = false;
    EXPECT_FALSE(closedByUs);
    EXPECT_EQ(CMainDlg::s_nExitStatus, 1);
    EXPECT_EQ(qv::win::LastMessageBoxText(), "The playback engine cannot be started.");

    // No video driver at all: the window cannot be made.
    qv::win::ShutdownWindowing();
    const std::string driver = getenv("SDL_VIDEODRIVER");
    setenv("SDL_VIDEODRIVER", "none-such", 1);
    CMainDlg::s_nExitStatus = 0;
    theApp.InitInstance();
    setenv("SDL_VIDEODRIVER", driver.c_str(), 1);
    EXPECT_EQ(CMainDlg::s_nExitStatus, 1);
    EXPECT_EQ(qv::win::LastMessageBoxText(), "The player window cannot be opened.");
}
