#pragma once
// The flat interface of the playback engine: plain functions, the engine handle first.
// Failure is only ever a false, zero or null result. A null handle or a channel other than 0
// does nothing and gives the failure result.

#include "engine/CarInfoRecord.h"
#include "platform/base/types.h"

#include <string>
#include <string_view>

struct JtvEngine;
using HJTV = JtvEngine*;
struct RecordingEntry;

// --- lifecycle and opening ---
HJTV JtvCreate();
void JtvDestroy(HJTV h);
void JtvStop(HJTV h);
// Stops, then takes the name as the current file name; returns its source type.
int JtvOpenFile(HJTV h, std::string_view name);
bool JtvOpenFileSet(HJTV h, std::string_view output, WORD unused, int n, int range_start, int range_end);
// False, with nothing written, while a source is open: the caller stops the engine first.
bool JtvStartBackup(HJTV h, std::string_view output, const void* index_blocks, int count);
bool JtvOpenSourceBox(HJTV h, int recording, int start, int end);
void JtvSelectFile(HJTV h, int n);
std::string JtvGetCurrentFileName(HJTV h);
int JtvGetFileIndex(HJTV h);

// --- play control ---
void JtvSetPlaySpeed(HJTV h, double speed);
void JtvSetPlayMode(HJTV h, int mode);
void JtvSeekToTime(HJTV h, int time, BYTE nearest);
int JtvSeekCurrent(HJTV h);
int JtvGetPlayTime(HJTV h, int channel);
void JtvSetVolume(HJTV h, LONG volume, int channel);
void JtvZoom(HJTV h, int channel, int x, int y, int step);
void JtvSetCrop(HJTV h, int channel, LONG left, LONG top, LONG right, LONG bottom);
void JtvResetVideo(HJTV h);
void JtvSetVideoFlag(HJTV h, BYTE flag);
BYTE JtvIsVideoFlag(HJTV h, int channel);
int JtvGetVideoWidth(HJTV h, int channel);
int JtvGetVideoHeight(HJTV h, int channel);

// --- channel and on-screen text settings ---
void JtvSetRenderWindow(HJTV h, HWND window, int channel);
void JtvSetNotifyWindow(HJTV h, HWND window, int channel);
void JtvEnableAudio(HJTV h, LONG on, int channel);
void JtvEnableVideo(HJTV h, LONG on, int channel);
void JtvEnableDxva2(HJTV h, LONG on, int channel);
void JtvSetChannelValue(HJTV h, LONG value, int channel);
void JtvSetChannelPair(HJTV h, int channel, LONG on, LONG value);
void JtvSetTimeZone(HJTV h, LONG seconds_west);
void JtvSetEdrUnits(HJTV h, LONG speed_unit, LONG temperature_unit);
void JtvSetEdrFont(HJTV h, int x, int y, COLORREF colour, int font_height, std::string_view face);
void JtvSetOsdMusic(HJTV h, LONG on, COLORREF colour);
void JtvSetOsdTime(HJTV h, LONG mode, COLORREF colour);
void JtvSetInfoSink(HJTV h, void* sink);
void JtvSetDeviceName(HJTV h, std::string_view name);
void JtvSetExportFolder(HJTV h, std::string_view folder);

// --- mode values ---
void JtvSetValueA(HJTV h, LONG value);
void JtvSetValueB(HJTV h, LONG value);
void JtvSetValueC(HJTV h, LONG value);
LONG JtvGetValueC(HJTV h);
void JtvSetValueD(HJTV h, LONG value);
BYTE JtvGetValueA(HJTV h);
int JtvGetValueB(HJTV h);

// --- card source and export queries ---
const RecordingEntry* JtvLoadFileList(HJTV h);
const RecordingEntry* JtvGetRecordingList(HJTV h);
// Copies the latest record; true when it is valid. A null handle leaves `out` alone.
BOOL JtvGetCarInfo(HJTV h, CarInfoRecord* out);
// The entry of the recording list that follows `entry`; null after the last one, for null
// and for an entry not in the list. While the source plays, the list it plays is walked.
const RecordingEntry* JtvFindSegment(HJTV h, const RecordingEntry* entry);
double JtvGetSegmentValue(HJTV h, int n);
double JtvGetBackupProgress(HJTV h);
double JtvGetExportProgress(HJTV h);
void JtvSelectExportFile(HJTV h, int n);
void JtvExportSetName(HJTV h, LONG option, std::string_view name);
int JtvSourceCommand(HJTV h, std::string_view name);
LONG JtvGetSourceCounter(HJTV h);
void JtvResetSourceCounter(HJTV h);
bool JtvRequestSnapshot(HJTV h, LONG format, LONG option, COLORREF colour, std::string_view name);

void JtvIgnoreName(HJTV h, std::string_view name);
void JtvNoOp(HJTV h);
