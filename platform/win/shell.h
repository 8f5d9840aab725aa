#pragma once
// The shell's "open this document or URL" call. There is no registry of file associations
// here: the request goes to the desktop's opener (xdg-open, when installed), started directly
// with the file as its one argument, never through a shell. Without an opener the call fails
// the way ShellExecute does when nothing is associated.

#include <functional>
#include <string>

#include "platform/win/win_types.h"

constexpr int SE_ERR_NOASSOC = 31;

// Returns a value above 32 on success, an error code (at most 32) otherwise. `verb` may be null
// (the default action); parameters and directory are not supported and must be null or empty.
HINSTANCE ShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int show);

namespace qv::win {

// Replaces the opener for tests: called with the verb ("" for none) and the file; returns
// whether it "opened" it. Null restores the real opener.
void SetShellOpenerForTesting(std::function<bool(const std::string& verb, const std::string& file)> opener);

}  // namespace qv::win
