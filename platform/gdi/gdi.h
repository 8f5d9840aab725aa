#pragma once
// The drawing layer's flat functions, with the names, arguments and results of their Windows
// counterparts. Text is UTF-8; counts of characters are counts of bytes (-1: up to the NUL).

#include <cstdint>
#include <string>

#include "platform/gdi/gdi_types.h"

// Objects.
HGDIOBJ GetStockObject(int index);
BOOL DeleteObject(HGDIOBJ object);
int GetObject(HGDIOBJ object, int size, void* out);
DWORD GetObjectType(HGDIOBJ object);
HPEN CreatePen(int style, int width, COLORREF color);
HPEN CreatePenIndirect(const LOGPEN* logpen);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreateBrushIndirect(const LOGBRUSH* logbrush);
// bits: rows of `bits_per_pixel` bits, each row padded to 16 bits (1 bpp) or packed 32-bit BGRA.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bits_per_pixel, const void* bits);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
HFONT CreateFontIndirect(const LOGFONT* logfont);
HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                 DWORD underline, DWORD strikeout, DWORD charset, DWORD out_precision,
                 DWORD clip_precision, DWORD quality, DWORD pitch_and_family, const char* face);
// What CFont::CreatePointFont computes: tenths of a point at LOGPIXELSY (96).
HFONT CreatePointFontHandle(int point_tenths, const char* face);

// Device contexts. CreateCompatibleDC(NULL) gives a memory DC holding a 1x1 one-bit bitmap.
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
HGDIOBJ GetCurrentObject(HDC dc, UINT type);
int SaveDC(HDC dc);
BOOL RestoreDC(HDC dc, int saved);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
UINT SetTextAlign(HDC dc, UINT align);
UINT GetTextAlign(HDC dc);
int SetPolyFillMode(HDC dc, int mode);
int GetPolyFillMode(HDC dc);
int SetStretchBltMode(HDC dc, int mode);
int GetStretchBltMode(HDC dc);
int SetMapMode(HDC dc, int mode);
int GetMapMode(HDC dc);
BOOL SetWindowOrgEx(HDC dc, int x, int y, POINT* old);
BOOL GetWindowOrgEx(HDC dc, POINT* out);
BOOL OffsetWindowOrgEx(HDC dc, int dx, int dy, POINT* old);
BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* old);
BOOL GetViewportOrgEx(HDC dc, POINT* out);
BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, POINT* old);
BOOL SetWindowExtEx(HDC dc, int cx, int cy, SIZE* old);
BOOL GetWindowExtEx(HDC dc, SIZE* out);
BOOL SetViewportExtEx(HDC dc, int cx, int cy, SIZE* old);
BOOL GetViewportExtEx(HDC dc, SIZE* out);
BOOL LPtoDP(HDC dc, POINT* points, int count);
BOOL DPtoLP(HDC dc, POINT* points, int count);
int GetDeviceCaps(HDC dc, int index);
BOOL MoveToEx(HDC dc, int x, int y, POINT* old);
BOOL GetCurrentPositionEx(HDC dc, POINT* out);

// Clipping. Regions given to and returned by these are in device coordinates.
int SelectClipRgn(HDC dc, HRGN region);
int ExtSelectClipRgn(HDC dc, HRGN region, int mode);
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
int GetClipBox(HDC dc, RECT* out);  // logical coordinates
int GetClipRgn(HDC dc, HRGN out);   // 1 with a clip region, 0 without, -1 on error

// Regions.
HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* rect);
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height);
HRGN CreateEllipticRgn(int left, int top, int right, int bottom);
HRGN CreatePolygonRgn(const POINT* points, int count, int fill_mode);
int CombineRgn(HRGN dest, HRGN a, HRGN b, int mode);
int OffsetRgn(HRGN region, int dx, int dy);
BOOL SetRectRgn(HRGN region, int left, int top, int right, int bottom);
BOOL PtInRegion(HRGN region, int x, int y);
BOOL RectInRegion(HRGN region, const RECT* rect);
int GetRgnBox(HRGN region, RECT* out);
BOOL EqualRgn(HRGN a, HRGN b);
BOOL FillRgn(HDC dc, HRGN region, HBRUSH brush);  // region in logical coordinates

// Fills, frames and pixels. Rectangles exclude their right column and bottom row.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
int FrameRect(HDC dc, const RECT* rect, HBRUSH brush);
BOOL InvertRect(HDC dc, const RECT* rect);
BOOL DrawFocusRect(HDC dc, const RECT* rect);
BOOL DrawEdge(HDC dc, RECT* rect, UINT edge, UINT flags);
BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);

// Lines and shapes with the selected pen (outline) and brush (interior).
BOOL LineTo(HDC dc, int x, int y);
BOOL Polyline(HDC dc, const POINT* points, int count);
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
BOOL Ellipse(HDC dc, int left, int top, int right, int bottom);
BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int width, int height);
BOOL Polygon(HDC dc, const POINT* points, int count);

// Paths.
BOOL BeginPath(HDC dc);
BOOL EndPath(HDC dc);
BOOL AbortPath(HDC dc);
BOOL CloseFigure(HDC dc);
BOOL PolyBezierTo(HDC dc, const POINT* points, DWORD count);
BOOL StrokePath(HDC dc);
BOOL FillPath(HDC dc);
BOOL StrokeAndFillPath(HDC dc);
HRGN PathToRegion(HDC dc);

// Blits. Mono to colour: 0 bits become the destination's text colour, 1 bits its background
// colour; colour to mono: pixels of the source's background colour become 1, others 0.
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int sx, int sy, DWORD rop);
BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC src, int sx, int sy,
                int swidth, int sheight, DWORD rop);

// Text.
BOOL TextOut(HDC dc, int x, int y, const char* text, int count);
BOOL ExtTextOut(HDC dc, int x, int y, UINT options, const RECT* rect, const char* text, int count,
                const int* dx);
BOOL GetTextExtentPoint32(HDC dc, const char* text, int count, SIZE* out);
BOOL GetTextMetrics(HDC dc, TEXTMETRIC* out);
int DrawText(HDC dc, const char* text, int count, RECT* rect, UINT format);

// System colours and metrics: a fixed table of the usual Windows defaults.
DWORD GetSysColor(int index);
HBRUSH GetSysColorBrush(int index);
int GetSystemMetrics(int index);

// Bitmaps by numeric resource id, given as MAKEINTRESOURCE(id) (see gdi/image.h for registering
// them); there are no named bitmap resources.
HBITMAP LoadBitmap(HINSTANCE instance, LPCSTR name);

namespace gdi {

// For the window layer: a DC drawing into `surface` (a window's backing buffer) with its device
// origin at `origin` of the surface, restricted to `visible` (device coordinates, NULL = the
// whole surface). The DC neither owns nor deletes the surface or the region.
HDC CreateViewDC(HBITMAP surface, POINT origin, HRGN visible);
// Replaces the visible region of a view DC (device coordinates; NULL = the whole surface).
BOOL SetViewVisibleRegion(HDC dc, HRGN visible);

// A 32-bit bitmap over pixels owned by the caller (BGRA, `pitch` bytes per row), which must
// outlive it. For video frames and backing buffers owned elsewhere.
HBITMAP CreateBitmapOver(int width, int height, void* pixels, int pitch);
// Direct access to a bitmap's pixels (32-bit words; one-bit bitmaps hold 0x000000 or 0xFFFFFF
// in the low 24 bits). Null for other handles.
uint32_t* BitmapScanline(HBITMAP bitmap, int y);

// Changes a system colour as a change of the colour scheme would; the brushes of
// GetSysColorBrush follow. Windows are not told (a test sends WM_SYSCOLORCHANGE itself).
void SetSysColorForTesting(int index, COLORREF colour);

// Sets the screen size GetSystemMetrics reports (default 1920x1080).
void SetScreenSize(int width, int height);

}  // namespace gdi
