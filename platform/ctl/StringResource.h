#pragma once
// String resources by id: the program registers its texts at start-up, LoadString reads them.

#include <string>

#include "platform/ctl/afxres.h"
#include "platform/win/win_types.h"

// Length copied (without the NUL); 0 when the id has no string.
int LoadString(HINSTANCE instance, UINT id, char* buffer, int size);
std::string LoadStringResource(UINT id);

namespace qv::ctl {
void RegisterStringResource(UINT id, std::string text);
}  // namespace qv::ctl
