#include "platformWin32/dxVersionChecker.h"

#include <cctype>
#include <cstdio>
#include <memory>
#include <new>

RequiredD3dxVersionRecord RequiredD3dxVersion{0, "", kDirectX9c};

void SetRequiredD3dxVersion(std::uint32_t libraryNumber)
{
    RequiredD3dxVersion.libraryNumber = libraryNumber;
    RequiredD3dxVersion.packedVersion = kDirectX9c;
    switch (libraryNumber) {
    case 28: RequiredD3dxVersion.description = "December 2005 DirectX 9.0c"; break;
    case 29: RequiredD3dxVersion.description = "February 2005 DirectX 9.0c"; break;
    default:
        RequiredD3dxVersion.description = "Unknown DirectX Version Id";
        OutputDebugStringW("DirectX Version Warning! Unknown DirectX version specified. Please check code in "
                           "platformWin32/dxVersionChecker.cpp\n");
        break;
    }
}

bool IsDirectXSufficient()
{
    SetRequiredD3dxVersion(28);
    DWORD installed = 0;
    if (SUCCEEDED(GetDirectXVersion(&installed, nullptr, 0))) {
        std::string windows;
        GetWindowsDirectoryW(&windows);
        char path[300];
        std::snprintf(path, sizeof path, "%s\\system32\\d3dx9_%u.dll", windows.c_str(),
                      RequiredD3dxVersion.libraryNumber);
        HANDLE file = CreateFileForReadW(path);
        if (file == INVALID_HANDLE_VALUE)
            installed = 0;
        else
            CloseProbeHandle(file);
    }
    return installed >= RequiredD3dxVersion.packedVersion;
}

HRESULT GetDirectXVersion(DWORD* packed, char* text, std::size_t textSize)
{
    if (packed != nullptr)
        *packed = 0;
    if (text != nullptr && textSize >= 1)
        text[0] = '\0';

    DWORD major = 0, minor = 0;
    char letter = 0;
    HRESULT hr = GetDxVersionViaDxDiag(&major, &minor, &letter);
    if (FAILED(hr))
        hr = GetDxVersionViaFileVersions(&major, &minor, &letter);
    if (FAILED(hr))
        return hr;

    letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    // Only 'a'..'z' name a letter; anything else counts as none.
    const DWORD letterNumber = letter >= 'a' && letter <= 'z' ? DWORD(letter - 'a' + 1) : 0;
    if (packed != nullptr)
        *packed = PackDirectXVersion(major, minor, letterNumber);
    if (text != nullptr && textSize >= 1) {
        if (letterNumber != 0)
            std::snprintf(text, textSize, "%u.%u%c", major, minor, letter);
        else
            std::snprintf(text, textSize, "%u.%u", major, minor);
    }
    return S_OK;
}

HRESULT GetDxVersionViaDxDiag(DWORD* major, DWORD* minor, char* letter)
{
    const bool comStarted = SUCCEEDED(CoInitialize(nullptr));
    bool gotMajor = false, gotMinor = false, gotLetter = false;

    IDxDiagContainer* info = nullptr;
    if (SUCCEEDED(CreateDxDiagSystemInfo(&info)) && info != nullptr) {
        VARIANT v;
        if (SUCCEEDED(info->GetProp("dwDirectXVersionMajor", &v)) && v.vt == VT_UI4) {
            *major = v.ulVal;
            gotMajor = true;
        }
        VariantClear(&v);
        if (SUCCEEDED(info->GetProp("dwDirectXVersionMinor", &v)) && v.vt == VT_UI4) {
            *minor = v.ulVal;
            gotMinor = true;
        }
        VariantClear(&v);
        if (SUCCEEDED(info->GetProp("szDirectXVersionLetter", &v)) && v.vt == VT_BSTR && !v.bstrVal.empty()) {
            *letter = v.bstrVal[0];
            gotLetter = true;
        }
        VariantClear(&v);
        info->Release();
    }
    if (comStarted)
        CoUninitialize();
    return gotMajor && gotMinor && gotLetter ? S_OK : E_FAIL;
}

namespace {

struct FileTest {
    const char* file;
    ULONGLONG atLeast;      // for a test of one threshold
    ULONGLONG atLeast5;     // nonzero: "major 4 or 5" test, the threshold for major 5
    bool anyVersion;        // passes when the file has version information at all
    DWORD major, minor;
    char letter;
};

const FileTest kFileTests[] = {
    {"\\ddraw.dll", MakeVersion64(4, 2, 0, 95), 0, false, 1, 0, 0},
    {"\\ddraw.dll", MakeVersion64(4, 3, 0, 1096), 0, false, 2, 0, 0},
    {"\\ddraw.dll", MakeVersion64(4, 4, 0, 68), 0, false, 3, 0, 0},
    {"\\d3drg8x.dll", MakeVersion64(4, 4, 0, 70), 0, false, 3, 0, 'a'},
    {"\\ddraw.dll", MakeVersion64(4, 5, 0, 155), 0, false, 5, 0, 0},
    {"\\ddraw.dll", MakeVersion64(4, 6, 0, 318), 0, false, 6, 0, 0},
    {"\\ddraw.dll", MakeVersion64(4, 6, 0, 436), 0, false, 6, 1, 0},
    {"\\dplayx.dll", MakeVersion64(4, 6, 3, 518), 0, false, 6, 1, 'a'},
    {"\\ddraw.dll", MakeVersion64(4, 7, 0, 700), 0, false, 7, 0, 0},
    {"\\dinput.dll", MakeVersion64(4, 7, 0, 716), 0, false, 7, 0, 'a'},
    {"\\ddraw.dll", MakeVersion64(4, 8, 0, 400), MakeVersion64(5, 1, 2258, 400), false, 8, 0, 0},
    {"\\d3d8.dll", MakeVersion64(4, 8, 1, 881), MakeVersion64(5, 1, 2600, 881), false, 8, 1, 0},
    {"\\d3d8.dll", MakeVersion64(4, 8, 1, 901), MakeVersion64(5, 1, 2600, 901), false, 8, 1, 'a'},
    {"\\mpg2splt.ax", MakeVersion64(6, 3, 1, 885), 0, false, 8, 1, 'b'},
    {"\\dpnet.dll", MakeVersion64(4, 9, 0, 134), MakeVersion64(5, 2, 3677, 134), false, 8, 2, 0},
    {"\\d3d9.dll", 0, 0, true, 9, 0, 0},
};

bool Passes(const FileTest& test, const std::string& systemDir)
{
    ULONGLONG version = 0;
    if (FAILED(GetFileVersion64((systemDir + test.file).c_str(), &version)))
        return false;
    if (test.anyVersion)
        return true;
    if (test.atLeast5 == 0)
        return CompareVersion64(version, test.atLeast) >= 0;
    const WORD first = static_cast<WORD>(version >> 48);
    return (first == 4 && CompareVersion64(version, test.atLeast) >= 0) ||
           (first == 5 && CompareVersion64(version, test.atLeast5) >= 0);
}

}  // namespace

HRESULT GetDxVersionViaFileVersions(DWORD* major, DWORD* minor, char* letter)
{
    *major = 0;
    *minor = 0;
    *letter = 0;
    std::string systemDir;
    if (GetSystemDirectoryW(&systemDir) == 0)
        return S_OK;
    // Later tests name later releases, so the last one passing wins.
    for (const FileTest& test : kFileTests)
        if (Passes(test, systemDir)) {
            *major = test.major;
            *minor = test.minor;
            *letter = test.letter;
        }
    return S_OK;
}

int CompareVersion64(ULONGLONG a, ULONGLONG b)
{
    const DWORD aHigh = static_cast<DWORD>(a >> 32), bHigh = static_cast<DWORD>(b >> 32);
    if (aHigh != bHigh)
        return aHigh > bHigh ? 1 : -1;
    const DWORD aLow = static_cast<DWORD>(a), bLow = static_cast<DWORD>(b);
    if (aLow != bLow)
        return aLow > bLow ? 1 : -1;
    return 0;
}

HRESULT GetFileVersion64(const char* path, ULONGLONG* out)
{
    if (path == nullptr || out == nullptr)
        return E_INVALIDARG;
    const DWORD size = GetFileVersionInfoSizeW(path);
    if (size == 0)
        return E_FAIL;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size]);
    if (!buffer)
        return E_OUTOFMEMORY;
    void* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path, size, buffer.get()) || !VerQueryValueW(buffer.get(), "\\", &fixed, &length) ||
        length < sizeof(VS_FIXEDFILEINFO))
        return E_FAIL;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    *out = ULONGLONG(info->dwFileVersionMS) << 32 | info->dwFileVersionLS;
    return S_OK;
}
