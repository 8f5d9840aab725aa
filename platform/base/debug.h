#pragma once
// The debugger's output channel: here, the process's standard error.

#include <string>

void OutputDebugStringW(const std::string& text);
