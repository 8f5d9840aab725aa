#include "platformWin32/win32host.h"

#include <cstring>
#include <map>
#include <mutex>

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

const Win32Machine& DefaultMachine()
{
    static const Win32Machine machine;
    return machine;
}

const Win32Machine* g_machine = nullptr;

const Win32Machine& M() { return g_machine ? *g_machine : DefaultMachine(); }

constexpr DWORD kFixedInfoSignature = 0xFEEF04BD;

// Open registry keys: handle -> subkey. Handles start above the predefined roots' range.
std::mutex g_keysMutex;
std::map<HKEY, std::string> g_keys;
HKEY g_nextKey = 0x1000;

}  // namespace

void SetWin32MachineForTesting(const Win32Machine* machine) { g_machine = machine; }

BOOL GetVersionExW(OSVERSIONINFOW* info)
{
    if (info == nullptr || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOW))
        return FALSE;
    info->dwMajorVersion = M().osMajorVersion;
    info->dwMinorVersion = M().osMinorVersion;
    info->dwBuildNumber = 0;
    info->dwPlatformId = 2;  // the NT family
    return TRUE;
}

UINT GetWindowsDirectoryW(std::string* out)
{
    *out = M().windowsDirectory;
    return static_cast<UINT>(out->size());
}

UINT GetSystemDirectoryW(std::string* out)
{
    *out = M().systemDirectory;
    return static_cast<UINT>(out->size());
}

DWORD GetFileVersionInfoSizeW(const std::string& path)
{
    if (!M().fileVersion || !M().fileVersion(path))
        return 0;
    return sizeof(VS_FIXEDFILEINFO);
}

BOOL GetFileVersionInfoW(const std::string& path, DWORD size, void* data)
{
    if (data == nullptr || size < sizeof(VS_FIXEDFILEINFO) || !M().fileVersion)
        return FALSE;
    const auto info = M().fileVersion(path);
    if (!info)
        return FALSE;
    VS_FIXEDFILEINFO fixed = *info;
    fixed.dwSignature = kFixedInfoSignature;
    std::memcpy(data, &fixed, sizeof fixed);
    return TRUE;
}

BOOL VerQueryValueW(const void* data, const std::string& block, void** out, UINT* length)
{
    if (data == nullptr || out == nullptr || block != "\\")
        return FALSE;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(data);
    if (fixed->dwSignature != kFixedInfoSignature)
        return FALSE;
    *out = const_cast<void*>(data);
    if (length != nullptr)
        *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}

HANDLE CreateFileForReadW(const std::string& path)
{
    if (!M().fileExists || !M().fileExists(path))
        return INVALID_HANDLE_VALUE;
    // The probe only needs a handle it can close again.
    static char token;
    return &token;
}

BOOL CloseProbeHandle(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

HRESULT CoInitialize(void*) { return S_OK; }
void CoUninitialize() {}

HRESULT IDxDiagContainer::GetProp(const std::string& name, VARIANT* out)
{
    if (out == nullptr || !M().dxDiagSystemInfo)
        return E_FAIL;
    return M().dxDiagSystemInfo(name, out);
}

void IDxDiagContainer::Release() { delete this; }

HRESULT CreateDxDiagSystemInfo(IDxDiagContainer** out)
{
    *out = nullptr;
    if (!M().dxDiagSystemInfo)
        return REGDB_E_CLASSNOTREG;
    *out = new IDxDiagContainer;
    return S_OK;
}

void VariantClear(VARIANT* v)
{
    if (v != nullptr)
        *v = VARIANT{};
}

LONG RegCreateKeyExW(HKEY root, const std::string& subkey, DWORD, DWORD access, HKEY* out)
{
    if (out == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (root != HKEY_LOCAL_MACHINE || !M().writeMachineDword || (access & KEY_WRITE) != KEY_WRITE)
        return ERROR_ACCESS_DENIED;
    std::lock_guard lock(g_keysMutex);
    *out = g_nextKey++;
    g_keys[*out] = subkey;
    return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, const std::string& valueName, DWORD type, const void* data, DWORD size)
{
    if (type != REG_DWORD || data == nullptr || size != sizeof(DWORD) || !M().writeMachineDword)
        return ERROR_INVALID_PARAMETER;
    std::string subkey;
    {
        std::lock_guard lock(g_keysMutex);
        auto it = g_keys.find(key);
        if (it == g_keys.end())
            return ERROR_INVALID_HANDLE;
        subkey = it->second;
    }
    DWORD value;
    std::memcpy(&value, data, sizeof value);
    return M().writeMachineDword(subkey, valueName, value);
}

LONG RegCloseKey(HKEY key)
{
    std::lock_guard lock(g_keysMutex);
    return g_keys.erase(key) ? ERROR_SUCCESS : static_cast<LONG>(ERROR_INVALID_HANDLE);
}

BOOL RunProgramAndWait(const std::string& path)
{
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0)
        return FALSE;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return TRUE;
}
