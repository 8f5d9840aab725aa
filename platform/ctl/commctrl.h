#pragma once
// Notification codes of the common controls, as WM_NOTIFY carries them in NMHDR::code.

#include "platform/win/win_types.h"

constexpr UINT NM_FIRST = 0u;
constexpr UINT NM_CLICK = NM_FIRST - 2u;
constexpr UINT NM_DBLCLK = NM_FIRST - 3u;
constexpr UINT NM_RETURN = NM_FIRST - 4u;
constexpr UINT NM_RCLICK = NM_FIRST - 5u;

constexpr UINT LVN_FIRST = 0u - 100u;
constexpr UINT LVN_ITEMCHANGING = LVN_FIRST - 0u;
constexpr UINT LVN_ITEMCHANGED = LVN_FIRST - 1u;
constexpr UINT LVN_BEGINDRAG = LVN_FIRST - 9u;
constexpr UINT LVN_ODCACHEHINT = LVN_FIRST - 13u;
constexpr UINT LVN_BEGINLABELEDITW = LVN_FIRST - 75u;
constexpr UINT LVN_ENDLABELEDITW = LVN_FIRST - 76u;
constexpr UINT LVN_GETDISPINFOW = LVN_FIRST - 77u;
