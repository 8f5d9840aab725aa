#include "platformWin32/browserEmulation.h"

#include "app/app.h"
#include "platform/base/file.h"

#include <memory>
#include <new>

bool GetMshtmlVersion(MshtmlVersion* version)
{
    const DWORD size = GetFileVersionInfoSizeW("mshtml.dll");
    if (size == 0)
        return false;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size]());
    if (!buffer)
        return false;
    void* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW("mshtml.dll", size, buffer.get()) || !VerQueryValueW(buffer.get(), "\\", &fixed, &length) ||
        length < sizeof(VS_FIXEDFILEINFO))
        return false;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    version->major = static_cast<WORD>(info->dwFileVersionMS >> 16);
    version->minor = static_cast<WORD>(info->dwFileVersionMS & 0xFFFF);
    version->build = static_cast<WORD>(info->dwFileVersionLS >> 16);
    version->revision = static_cast<WORD>(info->dwFileVersionLS & 0xFFFF);
    return true;
}

DWORD BrowserEmulationValue(WORD major)
{
    switch (major) {
    case 9: return 9999;
    case 10: return 10001;
    default: return 11001;
    }
}

std::string ExecutableValueName(const std::string& modulePath)
{
    const auto slash = modulePath.find_last_of("\\/");
    return slash == std::string::npos ? modulePath : modulePath.substr(slash + 1);
}

void WriteHklmDword(const std::string& valueName, const std::string& subkey, const std::string& base, DWORD value)
{
    HKEY key = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, base + subkey, REG_OPTION_NON_VOLATILE, KEY_WRITE, &key) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, valueName, REG_DWORD, &value, sizeof value);
    RegCloseKey(key);
}

void SetBrowserEmulation(const MshtmlVersion& version)
{
    const std::string name = ExecutableValueName(GetModuleFileNameW());
    const DWORD value = BrowserEmulationValue(version.major);
    WriteHklmDword(name, "FEATURE_BROWSER_EMULATION", g_FeatureControlKeyWow64, value);
    WriteHklmDword(name, "FEATURE_BROWSER_EMULATION", g_FeatureControlKey, value);
}
