#include "platform/base/debug.h"
#include "platform/base/types.h"

#include <cstdio>

namespace {
thread_local DWORD t_last_error = ERROR_SUCCESS;
}

DWORD GetLastError() { return t_last_error; }

void SetLastError(DWORD error) { t_last_error = error; }

void OutputDebugStringW(const std::string& text) { std::fputs(text.c_str(), stderr); }
