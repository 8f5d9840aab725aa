#include "app/settings.h"

#include "platform/base/file.h"
#include "tests/app/env_guard.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    TempDir dir;
    AppSettings settings{dir.path().string()};

    void config(const std::string& text) { dir.write("Config.ini", text); }
};

TEST_F(SettingsTest, ProgramFolderEndsWithSlash)
{
    const std::string expected =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/";
    EXPECT_EQ(AppSettings::GetModuleDirectory(), expected);
    EXPECT_EQ(g_AppSettings.m_strAppDir, expected);
    EXPECT_EQ(AppSettings(dir.path().string() + "/").m_strAppDir, settings.m_strAppDir);
    EXPECT_EQ(settings.ConfigFile(), dir.path().string() + "/Config.ini");
}

TEST_F(SettingsTest, IntegersFollowTheProfileRules)
{
    config("; options\n"
           "[Config]\n"
           "AutoPlay=\n"
           "ShowEDR_Left=-190\n"
           "GPS_Offset_Auto=abc\n"
           "NowChn = 3 \n"
           "EncodeFrameSize=12px\n"
           "[Default]\n"
           "CarMode_DfSet=5\n"
           "[config2]\n"
           "TimeZone=-8\n");
    EXPECT_EQ(settings.GetInt("AutoPlay", 1), 1) << "an empty value reads as the default";
    EXPECT_EQ(settings.GetInt("ShowEDR_Left", 0), -190);
    EXPECT_EQ(settings.GetInt("ShowEDR_Top", 10), 10);
    EXPECT_EQ(settings.GetInt("GPS_Offset_Auto", 1), 0) << "letters only read as 0";
    EXPECT_EQ(settings.GetInt("NowChn", 1), 3);
    EXPECT_EQ(settings.GetInt("EncodeFrameSize", -1), 12);
    EXPECT_EQ(settings.GetDefaultInt("CarMode_DfSet", 2), 5);
    EXPECT_EQ(settings.GetDefaultInt("VideoFormat_DfSet", -1), -1);
    EXPECT_EQ(settings.GetSlotInt("TimeZone", 2, 0), -8);
    EXPECT_EQ(settings.GetSlotInt("TimeZone", 3, 7), 7);
    EXPECT_EQ(AppSettings(dir.file("none")).GetInt("ShowEDR_Left", -190), -190) << "no file";
}

TEST_F(SettingsTest, SectionNamesIgnoreCase)
{
    // The recorder configuration writes "TimeZone" under "config"; the readers ask "Config".
    config("[config]\nTimeZone=9\n");
    EXPECT_EQ(settings.GetInt("TimeZone", 0), 9);
    settings.WriteConfigInt("config", "TimeZone", 5);
    EXPECT_EQ(settings.GetInt("TimeZone", 0), 5);
    settings.WriteInt("CarType", 2);
    const std::string text = dir.read("Config.ini");
    EXPECT_EQ(text.find("[Config]"), std::string::npos) << "no second section was made:\n" << text;
    EXPECT_EQ(settings.GetInt("CarType", 0), 2);
}

TEST_F(SettingsTest, StringsEmptyValueGivesDefault)
{
    config("[Config]\nOpenFilePath=\nBackupPath=/media/card/backup\n"
           "[3G_Default]\nAPN= internet \n");
    EXPECT_EQ(settings.GetString("OpenFilePath", "/home"), "/home");
    EXPECT_EQ(settings.GetString("BackupPath", nullptr), "/media/card/backup");
    EXPECT_EQ(settings.GetConfigString("3G_Default", "APN", nullptr), "internet");
}

TEST_F(SettingsTest, NoneReadsAsTheLocaleCode)
{
    config("[Config]\nLanguage File=None\nOpenFilePath=None\nSnapshotPath=none\n"
           "[config1]\nName=None\n");
    EnvGuard env;
    env.locale("de_DE.UTF-8");
    EXPECT_EQ(settings.GetString("Language File", nullptr), "de_DE");
    // Every text key answers "None" this way, not only the language.
    EXPECT_EQ(settings.GetString("OpenFilePath", nullptr), "de_DE");
    EXPECT_EQ(settings.GetSlotString("Name", 1, nullptr), "de_DE");
    EXPECT_EQ(settings.GetString("SnapshotPath", nullptr), "none") << "only the exact spelling";

    env.locale("pt_BR.UTF-8");
    EXPECT_EQ(settings.GetString("Language File", nullptr), "pt_BR");
    env.locale("xx_YY.UTF-8");
    EXPECT_EQ(settings.GetString("Language File", nullptr), "en_US") << "a code the table lacks";
    env.locale("cs_CZ.UTF-8");
    EXPECT_EQ(settings.GetString("Language File", nullptr), "en_US") << "the table spells Czech cz_CZ";
}

TEST_F(SettingsTest, WritersRoundTripAndKeepTheRest)
{
    config("; kept comment\n[Camera-1]\n1=1\n[Config]\nShowEDR=1\n");
    settings.WriteInt("SetEDR_Speed", -40);
    settings.WriteString("SnapshotPath", "/tmp/shots");
    settings.WriteSlotInt("TimeZone", 4, 28800);
    settings.WriteSlotString("Name", 4, "Fleet");
    settings.WriteConfigString("3G_Default", "APN", "web");

    EXPECT_EQ(settings.GetInt("SetEDR_Speed", 0), -40);
    EXPECT_EQ(settings.GetString("SnapshotPath", nullptr), "/tmp/shots");
    EXPECT_EQ(settings.GetSlotInt("TimeZone", 4, 0), 28800);
    EXPECT_EQ(settings.GetSlotString("Name", 4, nullptr), "Fleet");
    EXPECT_EQ(settings.GetConfigString("3G_Default", "APN", nullptr), "web");
    EXPECT_EQ(settings.GetConfigInt("Camera-1", "1", 0), 1);
    EXPECT_EQ(settings.GetInt("ShowEDR", 0), 1);
    const std::string text = dir.read("Config.ini");
    EXPECT_EQ(text.rfind("; kept comment\n", 0), 0u) << text;
    EXPECT_NE(text.find("[config4]"), std::string::npos) << text;
}

TEST_F(SettingsTest, AWriteThatFailsLosesTheValueAndSaysSoOnTheDebugOutput)
{
    AppSettings nowhere(dir.path().string() + "/missing/deeper");
    ::testing::internal::CaptureStderr();
    nowhere.WriteInt("UIMode", 3);
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(nowhere.GetInt("UIMode", 0), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing" / "deeper" / "Config.ini"));
    EXPECT_NE(said.find("\"UIMode\" in [Config]"), std::string::npos) << said;
    EXPECT_NE(said.find(nowhere.ConfigFile()), std::string::npos) << said;

    // A Config.ini that is a folder cannot be written either; a good write says nothing.
    std::filesystem::create_directories(dir.path() / "Config.ini");
    ::testing::internal::CaptureStderr();
    settings.WriteSlotString("OpenFilePath", 2, "/rec");
    said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("\"OpenFilePath\" in [config2]"), std::string::npos) << said;
    TempDir good;
    AppSettings writable(good.path().string());
    ::testing::internal::CaptureStderr();
    writable.WriteInt("UIMode", 3);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(writable.GetInt("UIMode", 0), 3);
}

TEST_F(SettingsTest, LongValuesAndFoldersAreNotCut)
{
    // A path cut at 259 characters would name a different folder.
    std::string longPath = "/media";
    while (longPath.size() < 600)
        longPath += "/folder-" + std::to_string(longPath.size());
    settings.WriteString("BackupPath", longPath.c_str());
    EXPECT_EQ(settings.GetString("BackupPath", nullptr), longPath);

    std::string deepDir = dir.path().string();
    while (deepDir.size() < 400)
        deepDir += "/nested-level";
    std::filesystem::create_directories(deepDir);
    AppSettings deep(deepDir);
    deep.WriteInt("UIMode", 2);
    EXPECT_TRUE(std::filesystem::exists(deepDir + "/Config.ini"));
    EXPECT_EQ(deep.GetInt("UIMode", 0), 2);
}

TEST_F(SettingsTest, SaveUIModeAndLanguage)
{
    settings.m_nUIMode = 3;
    settings.SaveUIMode();
    EXPECT_EQ(settings.GetInt("UIMode", 0), 3);

    // Nothing chosen during the run: the active language is stored again.
    settings.m_nActiveLanguage = 8;
    settings.m_nSelectedLanguage = 8;
    settings.SaveLanguage();
    EXPECT_EQ(settings.GetString("Language File", nullptr), "de_DE");

    // A language chosen during the run becomes active and is stored for the next start.
    settings.m_nSelectedLanguage = 37;
    settings.SaveLanguage();
    EXPECT_EQ(settings.m_nActiveLanguage, 37);
    EXPECT_EQ(settings.GetString("Language File", nullptr), "ua_UA");
}

}  // namespace
