// The browser-emulation value over a machine with and without the browser engine.

#include "app/app.h"
#include "platform/base/file.h"
#include "platformWin32/browserEmulation.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

struct Write {
    std::string subkey, name;
    DWORD value;
    bool operator==(const Write&) const = default;
};

}  // namespace

TEST(BrowserEmulation, ValueByEngineMajorVersion)
{
    const std::vector<std::pair<WORD, DWORD>> cases = {{7, 11001}, {8, 11001}, {9, 9999}, {10, 10001}, {11, 11001}, {12, 11001}};
    for (auto [major, value] : cases)
        EXPECT_EQ(BrowserEmulationValue(major), value) << major;
    EXPECT_EQ(ExecutableValueName("C:\\Program Files\\Player\\Player.exe"), "Player.exe");
    EXPECT_EQ(ExecutableValueName("/opt/quorvin/quorvin-player"), "quorvin-player");
    EXPECT_EQ(ExecutableValueName("bare"), "bare");
}

TEST(BrowserEmulation, DefaultMachineHasNoEngineAndWritesNothing)
{
    MshtmlVersion v{1, 2, 3, 4};
    EXPECT_FALSE(GetMshtmlVersion(&v));
    EXPECT_EQ(v.major, 1);  // untouched
    HKEY key = 0;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, "Software\\x", REG_OPTION_NON_VOLATILE, KEY_WRITE, &key),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
}

TEST(BrowserEmulation, EngineVersionIsReadAndBothRootsAreWritten)
{
    std::vector<Write> writes;
    bool denyFirst = false, denyAll = false;
    int attempts = 0;
    Win32Machine machine;
    machine.fileVersion = [](const std::string& path) -> std::optional<VS_FIXEDFILEINFO> {
        if (path != "mshtml.dll")
            return std::nullopt;
        VS_FIXEDFILEINFO info{};
        info.dwFileVersionMS = 10u << 16 | 1;
        info.dwFileVersionLS = 9200u << 16 | 16384;
        return info;
    };
    machine.writeMachineDword = [&](const std::string& subkey, const std::string& name, DWORD value) -> LONG {
        ++attempts;
        if (denyAll || (denyFirst && subkey.find("Wow6432Node") != std::string::npos))
            return ERROR_ACCESS_DENIED;
        writes.push_back({subkey, name, value});
        return ERROR_SUCCESS;
    };
    SetWin32MachineForTesting(&machine);

    MshtmlVersion v{};
    ASSERT_TRUE(GetMshtmlVersion(&v));
    EXPECT_EQ(std::tie(v.major, v.minor, v.build, v.revision), std::make_tuple(WORD(10), WORD(1), WORD(9200), WORD(16384)));

    const std::string exe = ExecutableValueName(GetModuleFileNameW());
    SetBrowserEmulation(v);
    const std::vector<Write> both = {
        {g_FeatureControlKeyWow64 + "FEATURE_BROWSER_EMULATION", exe, 10001},
        {g_FeatureControlKey + "FEATURE_BROWSER_EMULATION", exe, 10001},
    };
    EXPECT_EQ(writes, both);
    EXPECT_EQ(g_FeatureControlKey, "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\");

    // The second write is attempted whatever became of the first.
    writes.clear();
    denyFirst = true;
    SetBrowserEmulation(v);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0], both[1]);
    EXPECT_EQ(attempts, 4);

    // Without rights at all both are attempted, both refused, and nothing escapes.
    writes.clear();
    denyAll = true;
    SetBrowserEmulation(v);
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(attempts, 6);
    SetWin32MachineForTesting(nullptr);
}
