#pragma once
// The browser control that shows the map renders in an old compatibility mode unless the
// machine's FEATURE_BROWSER_EMULATION value for the executable names the installed engine.

#include "platformWin32/win32host.h"

#include <string>

struct MshtmlVersion {
    WORD major;
    WORD minor;
    WORD build;
    WORD revision;
};

// True when mshtml.dll's file version was read; `version` is untouched otherwise.
bool GetMshtmlVersion(MshtmlVersion* version);
// 9999 for engine 9, 10001 for 10, 11001 for every other engine.
DWORD BrowserEmulationValue(WORD major);
// The executable's file name: the part of its path after the last separator.
std::string ExecutableValueName(const std::string& modulePath);
// Writes the value under both FeatureControl roots (the 32-bit view first); failures, such as
// missing rights, are ignored.
void SetBrowserEmulation(const MshtmlVersion& version);
void WriteHklmDword(const std::string& valueName, const std::string& subkey, const std::string& base, DWORD value);
