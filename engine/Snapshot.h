#pragma once
// Snapshots: the picture a channel shows, enlarged one and a half times, as a ".jpg" or ".bmp"
// file.

#include "engine/JtvCtrl.h"
#include "platform/gdi/gdi_types.h"

#include <string>
#include <string_view>

// The file written for a requested name: the name less its last three characters (the tag the
// caller ends it with) plus ".jpg" (format non-zero) or ".bmp".
std::string SnapshotFileName(const std::string& name, LONG format);

// Stores the request, makes the name's folders and saves each channel's current picture. True
// when a file was written; false for an empty name, folders that cannot be made, no picture
// yet, or a failed write.
bool RequestSnapshot(CJtvCtrl& engine, LONG format, LONG option, COLORREF colour, std::string_view name);

// Saves the width x height picture at (0, 0) of `source` under the engine's snapshot name
// (which is shortened as SnapshotFileName does). True when the file was written.
bool SaveSnapshot(CJtvCtrl& engine, int channel, HDC source, int width, int height);
