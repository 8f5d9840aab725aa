#pragma once
// The framework's standard command and string ids.

#include "platform/base/types.h"

constexpr UINT ID_EDIT_COPY = 0xE122;
constexpr UINT ID_EDIT_CUT = 0xE123;
constexpr UINT ID_EDIT_PASTE = 0xE125;
constexpr UINT ID_EDIT_SELECT_ALL = 0xE12A;
constexpr UINT AFX_IDS_APP_TITLE = 0xE000;
