#pragma once
// Whether the machine has the DirectX runtime the video renderer was built for: DirectX 9.0c
// and the D3DX 9 utility library of a given release. Asked only on Windows versions before 6.

#include "platformWin32/win32host.h"

#include <cstddef>
#include <cstdint>
#include <string>

// major << 16 | minor << 8 | letter (0 none, 1 'a', 2 'b', ...): 9.0c is 0x00090003.
constexpr DWORD PackDirectXVersion(DWORD major, DWORD minor, DWORD letter)
{
    return major << 16 | minor << 8 | letter;
}
constexpr DWORD kDirectX9c = PackDirectXVersion(9, 0, 3);

struct RequiredD3dxVersionRecord {
    std::uint32_t libraryNumber;  // the NN of d3dx9_NN.dll
    std::string description;      // at most 64 characters
    DWORD packedVersion;
};
extern RequiredD3dxVersionRecord RequiredD3dxVersion;

// 28 and 29 are the known releases; another number is noted on the debug output.
void SetRequiredD3dxVersion(std::uint32_t libraryNumber);

bool IsDirectXSufficient();

// Either output may be null; the text gets "9.0c" or "9.0". S_OK, or a failure when neither
// source answered (the outputs then stay cleared).
HRESULT GetDirectXVersion(DWORD* packed, char* text, std::size_t textSize);
HRESULT GetDxVersionViaDxDiag(DWORD* major, DWORD* minor, char* letter);
// S_OK always; 0.0 and no letter when nothing was found.
HRESULT GetDxVersionViaFileVersions(DWORD* major, DWORD* minor, char* letter);

// The four 16-bit parts of a file version, most significant first.
constexpr ULONGLONG MakeVersion64(WORD a, WORD b, WORD c, WORD d)
{
    return ULONGLONG(a) << 48 | ULONGLONG(b) << 32 | ULONGLONG(c) << 16 | d;
}
// 1, 0 or -1.
int CompareVersion64(ULONGLONG a, ULONGLONG b);
HRESULT GetFileVersion64(const char* path, ULONGLONG* out);
