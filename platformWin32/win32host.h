#pragma once
// The few Windows system services that the DirectX check and the browser-emulation setting ask
// about: the OS version, the Windows and system folders, file version resources, the DxDiag
// provider and HKEY_LOCAL_MACHINE. None of them exists on this platform, so by default every
// answer is the one a Windows machine without DirectX components, without the browser engine
// and without write access to the machine's registry would give. Tests install a machine of
// their own to drive the other paths.

#include "platform/base/debug.h"
#include "platform/base/types.h"
#include "platform/gdi/gdi_types.h"  // HRESULT, S_OK, E_FAIL

#include <functional>
#include <optional>
#include <string>

constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }

struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
};

// The fixed part of a file's version resource.
struct VS_FIXEDFILEINFO {
    DWORD dwSignature;  // 0xFEEF04BD
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
};

// A property of a DxDiag container, as far as its readers look at it.
enum VARTYPE_ : WORD { VT_EMPTY = 0, VT_BSTR = 8, VT_UI4 = 19 };
struct VARIANT {
    WORD vt = VT_EMPTY;
    DWORD ulVal = 0;
    std::string bstrVal;  // UTF-8 here
};

using HKEY = std::uintptr_t;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_DWORD = 4;

// One machine's answers. Empty functions answer as the default machine does.
struct Win32Machine {
    DWORD osMajorVersion = 10;
    DWORD osMinorVersion = 0;
    // Folders without a trailing separator; empty: the call fails.
    std::string windowsDirectory;
    std::string systemDirectory;
    // The fixed version of a file (by full path, or by bare name for files found on the search
    // path); nothing when the file is missing or has no version resource.
    std::function<std::optional<VS_FIXEDFILEINFO>(const std::string& path)> fileVersion;
    // Whether a file can be opened for reading.
    std::function<bool(const std::string& path)> fileExists;
    // The DxDiag provider's "DxDiag_SystemInfo" container: fills a named property and answers
    // S_OK, or fails. Empty: the provider is not registered.
    std::function<HRESULT(const std::string& name, VARIANT* out)> dxDiagSystemInfo;
    // RegCreateKeyExW + RegSetValueExW of one REG_DWORD under HKEY_LOCAL_MACHINE; answers
    // ERROR_SUCCESS or an error. Empty: access denied.
    std::function<LONG(const std::string& subkey, const std::string& valueName, DWORD value)> writeMachineDword;
};

// Replaces the machine (null: the default one again). Not thread-safe; tests only.
void SetWin32MachineForTesting(const Win32Machine* machine);

// --- the calls, with their Windows meanings ---
BOOL GetVersionExW(OSVERSIONINFOW* info);
// Length written, 0 when there is no such folder.
UINT GetWindowsDirectoryW(std::string* out);
UINT GetSystemDirectoryW(std::string* out);
// 0 when the file is missing or has no version resource.
DWORD GetFileVersionInfoSizeW(const std::string& path);
BOOL GetFileVersionInfoW(const std::string& path, DWORD size, void* data);
// Only the root block "\" (the fixed file information) is offered.
BOOL VerQueryValueW(const void* data, const std::string& block, void** out, UINT* length);
// Opens for reading (shared read, existing file) and hands back a handle for CloseHandle;
// INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE CreateFileForReadW(const std::string& path);
BOOL CloseProbeHandle(HANDLE handle);

HRESULT CoInitialize(void* reserved);
void CoUninitialize();
// The DxDiag provider, reduced to what is read from it: the "DxDiag_SystemInfo" container.
struct IDxDiagContainer {
    HRESULT GetProp(const std::string& name, VARIANT* out);
    void Release();
};
HRESULT CreateDxDiagSystemInfo(IDxDiagContainer** out);
void VariantClear(VARIANT* v);

LONG RegCreateKeyExW(HKEY root, const std::string& subkey, DWORD options, DWORD access, HKEY* out);
LONG RegSetValueExW(HKEY key, const std::string& valueName, DWORD type, const void* data, DWORD size);
LONG RegCloseKey(HKEY key);

// CreateProcessW of a program without arguments, then a wait for its end. False when it could
// not be started.
BOOL RunProgramAndWait(const std::string& path);
