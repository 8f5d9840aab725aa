// The DirectX check over machines that answer in different ways.

#include "platformWin32/dxVersionChecker.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

// A Windows machine described by its DxDiag answers and its files' versions.
class FakeMachine {
public:
    FakeMachine()
    {
        machine_.osMajorVersion = 5;
        machine_.windowsDirectory = "C:\\WINDOWS";
        machine_.systemDirectory = "C:\\WINDOWS\\system32";
        machine_.fileVersion = [this](const std::string& path) -> std::optional<VS_FIXEDFILEINFO> {
            auto it = versions_.find(path);
            if (it == versions_.end())
                return std::nullopt;
            VS_FIXEDFILEINFO info{};
            info.dwFileVersionMS = static_cast<DWORD>(it->second >> 32);
            info.dwFileVersionLS = static_cast<DWORD>(it->second);
            return info;
        };
        machine_.fileExists = [this](const std::string& path) { return files_.count(path) != 0; };
        SetWin32MachineForTesting(&machine_);
    }
    ~FakeMachine() { SetWin32MachineForTesting(nullptr); }

    void DxDiag(DWORD major, DWORD minor, std::string letter)
    {
        machine_.dxDiagSystemInfo = [=](const std::string& name, VARIANT* out) -> HRESULT {
            if (name == "dwDirectXVersionMajor") {
                out->vt = VT_UI4;
                out->ulVal = major;
            } else if (name == "dwDirectXVersionMinor") {
                out->vt = VT_UI4;
                out->ulVal = minor;
            } else if (name == "szDirectXVersionLetter") {
                out->vt = VT_BSTR;
                out->bstrVal = letter;
            } else {
                return E_FAIL;
            }
            return S_OK;
        };
    }
    void SystemFile(const std::string& name, ULONGLONG version) { versions_["C:\\WINDOWS\\system32\\" + name] = version; }
    void D3dx(int number) { files_.insert("C:\\WINDOWS\\system32\\d3dx9_" + std::to_string(number) + ".dll"); }
    Win32Machine& Machine() { return machine_; }

private:
    Win32Machine machine_;
    std::map<std::string, ULONGLONG> versions_;
    std::set<std::string> files_;
};

DWORD Installed(std::string* text = nullptr)
{
    DWORD packed = 0xFFFFFFFF;
    char buffer[16] = "junk";
    EXPECT_EQ(GetDirectXVersion(&packed, buffer, sizeof buffer), S_OK);
    if (text)
        *text = buffer;
    return packed;
}

}  // namespace

TEST(DirectXCheck, DefaultMachineHasNeitherDxDiagNorFilesAndIsNotSufficient)
{
    OSVERSIONINFOW v{sizeof v};
    ASSERT_TRUE(GetVersionExW(&v));
    EXPECT_GE(v.dwMajorVersion, 6u);  // so the player window never asks
    std::string text;
    EXPECT_EQ(Installed(&text), 0u);
    EXPECT_EQ(text, "0.0");
    EXPECT_FALSE(IsDirectXSufficient());
}

TEST(DirectXCheck, DxDiagAnswerWithD3dxPresentOrMissing)
{
    FakeMachine m;
    m.DxDiag(9, 0, "c");
    std::string text;
    EXPECT_EQ(Installed(&text), 0x00090003u);
    EXPECT_EQ(text, "9.0c");
    EXPECT_FALSE(IsDirectXSufficient());  // d3dx9_28.dll missing
    m.D3dx(29);
    EXPECT_FALSE(IsDirectXSufficient());  // the wrong release
    m.D3dx(28);
    EXPECT_TRUE(IsDirectXSufficient());
    EXPECT_EQ(RequiredD3dxVersion.description, "December 2005 DirectX 9.0c");
}

TEST(DirectXCheck, UpperCaseLetterPacksLikeLowerCase)
{
    FakeMachine m;
    m.DxDiag(9, 0, "C");
    std::string text;
    EXPECT_EQ(Installed(&text), 0x00090003u);
    EXPECT_EQ(text, "9.0c");
    m.DxDiag(8, 1, "b");
    EXPECT_EQ(Installed(), 0x00080102u);
}

TEST(DirectXCheck, IncompleteDxDiagFallsBackToFileVersions)
{
    FakeMachine m;
    m.DxDiag(9, 0, "");  // an empty letter is not an answer
    m.SystemFile("d3d9.dll", MakeVersion64(5, 3, 2600, 2180));
    m.D3dx(28);
    std::string text;
    EXPECT_EQ(Installed(&text), 0x00090000u);
    EXPECT_EQ(text, "9.0");
    EXPECT_FALSE(IsDirectXSufficient());  // 9.0 without a letter is below 9.0c
}

TEST(DirectXCheck, FileTableLastPassingTestWins)
{
    FakeMachine m;
    m.SystemFile("ddraw.dll", MakeVersion64(4, 8, 0, 400));
    m.SystemFile("dinput.dll", MakeVersion64(4, 7, 0, 716));
    EXPECT_EQ(Installed(), PackDirectXVersion(8, 0, 0));

    m.SystemFile("d3d8.dll", MakeVersion64(5, 1, 2600, 901));  // the major-5 threshold
    EXPECT_EQ(Installed(), PackDirectXVersion(8, 1, 1));
    m.SystemFile("mpg2splt.ax", MakeVersion64(6, 3, 1, 885));
    EXPECT_EQ(Installed(), PackDirectXVersion(8, 1, 2));

    // A major-6 d3d8.dll passes neither threshold of a "4 or 5" test.
    FakeMachine other;
    other.SystemFile("d3d8.dll", MakeVersion64(6, 0, 0, 0));
    other.SystemFile("ddraw.dll", MakeVersion64(4, 7, 0, 700));
    EXPECT_EQ(Installed(), PackDirectXVersion(7, 0, 0));
}

TEST(DirectXCheck, NoSystemFolderFindsNothing)
{
    FakeMachine m;
    m.SystemFile("d3d9.dll", MakeVersion64(5, 3, 2600, 2180));
    m.Machine().systemDirectory.clear();
    EXPECT_EQ(Installed(), 0u);
}

TEST(DirectXCheck, RequiredVersionRecordAndUnknownRelease)
{
    SetRequiredD3dxVersion(29);
    EXPECT_EQ(RequiredD3dxVersion.description, "February 2005 DirectX 9.0c");
    EXPECT_EQ(RequiredD3dxVersion.packedVersion, kDirectX9c);
    testing::internal::CaptureStderr();
    SetRequiredD3dxVersion(31);
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_EQ(RequiredD3dxVersion.description, "Unknown DirectX Version Id");
    EXPECT_EQ(RequiredD3dxVersion.packedVersion, kDirectX9c);
    EXPECT_EQ(warning, "DirectX Version Warning! Unknown DirectX version specified. Please check code in "
                       "platformWin32/dxVersionChecker.cpp\n");
}

TEST(DirectXCheck, VersionCompareAndFileVersionErrors)
{
    EXPECT_EQ(CompareVersion64(MakeVersion64(4, 8, 0, 400), MakeVersion64(4, 8, 0, 400)), 0);
    EXPECT_EQ(CompareVersion64(MakeVersion64(5, 0, 0, 0), MakeVersion64(4, 0xFFFF, 0xFFFF, 0xFFFF)), 1);
    EXPECT_EQ(CompareVersion64(MakeVersion64(4, 8, 0, 0x8000), MakeVersion64(4, 8, 1, 0)), -1);  // unsigned low half

    FakeMachine m;
    m.SystemFile("ddraw.dll", MakeVersion64(4, 8, 0, 400));
    ULONGLONG v = 0;
    EXPECT_EQ(GetFileVersion64(nullptr, &v), E_INVALIDARG);
    EXPECT_EQ(GetFileVersion64("C:\\WINDOWS\\system32\\ddraw.dll", nullptr), E_INVALIDARG);
    EXPECT_EQ(GetFileVersion64("C:\\WINDOWS\\system32\\none.dll", &v), E_FAIL);
    EXPECT_EQ(GetFileVersion64("C:\\WINDOWS\\system32\\ddraw.dll", &v), S_OK);
    EXPECT_EQ(v, MakeVersion64(4, 8, 0, 400));

    DWORD packed = 7;
    char text[1] = {'x'};
    EXPECT_EQ(GetDirectXVersion(&packed, text, 0), S_OK);  // a zero-size buffer is never written
    EXPECT_EQ(text[0], 'x');
}
