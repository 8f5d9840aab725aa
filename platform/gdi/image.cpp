// BMP, PNG and JPEG files, and the bitmap resource table.

#include "platform/gdi/image.h"

#include <png.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"

using namespace gdi;

namespace {

uint32_t le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

void put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

HBITMAP read_bmp(const uint8_t* data, size_t size)
{
    if (size < 14 + 40 || data[0] != 'B' || data[1] != 'M')
        return nullptr;
    uint32_t offset = le32(data + 10);
    const uint8_t* info = data + 14;
    uint32_t header = le32(info);
    if (header < 40 || 14 + static_cast<uint64_t>(header) > size)
        return nullptr;
    int32_t width = static_cast<int32_t>(le32(info + 4));
    int32_t height = static_cast<int32_t>(le32(info + 8));
    uint32_t bpp = le16(info + 14), compression = le32(info + 16), colours = le32(info + 32);
    bool top_down = height < 0;
    if (width <= 0 || height == 0 || height == INT32_MIN || width > 32768 || std::abs(height) > 32768)
        return nullptr;
    height = std::abs(height);
    // Uncompressed only; 32-bit BI_BITFIELDS files carry the usual masks and read the same.
    if (!(compression == 0 || (compression == 3 && bpp == 32)))
        return nullptr;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
        return nullptr;
    std::vector<uint32_t> palette;
    if (bpp <= 8) {
        uint32_t n = colours ? colours : (1u << bpp);
        if (n > 256)
            return nullptr;
        uint64_t at = 14 + static_cast<uint64_t>(header) + (compression == 3 ? 12 : 0);
        if (at + 4ull * n > size)
            return nullptr;
        for (uint32_t i = 0; i < n; ++i)
            palette.push_back(kAlpha | (le32(data + at + 4 * i) & kRgbMask));
    }
    uint64_t stride = (static_cast<uint64_t>(width) * bpp + 31) / 32 * 4;
    if (offset > size || stride * height > size - offset)
        return nullptr;
    bool mono = bpp == 1 && palette.size() == 2 && (palette[0] & kRgbMask) == 0 && (palette[1] & kRgbMask) == kRgbMask;
    HBITMAP bitmap = CreateBitmap(width, height, 1, mono ? 1 : 32, nullptr);
    if (!bitmap)
        return nullptr;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = data + offset + stride * (top_down ? y : height - 1 - y);
        uint32_t* out = BitmapScanline(bitmap, y);
        for (int x = 0; x < width; ++x) {
            uint32_t index = 0;
            switch (bpp) {
            case 1: index = (row[x / 8] >> (7 - x % 8)) & 1; break;
            case 4: index = (row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF; break;
            case 8: index = row[x]; break;
            case 24: out[x] = kAlpha | row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16); continue;
            default: out[x] = kAlpha | (le32(row + 4 * x) & kRgbMask); continue;
            }
            out[x] = index < palette.size() ? palette[index] : kAlpha;
        }
    }
    return bitmap;
}

HBITMAP read_png(const uint8_t* data, size_t size)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size))
        return nullptr;
    image.format = PNG_FORMAT_BGRA;
    HBITMAP bitmap = nullptr;
    if (image.width > 0 && image.height > 0 && image.width <= 32768 && image.height <= 32768)
        bitmap = CreateBitmap(static_cast<int>(image.width), static_cast<int>(image.height), 1, 32, nullptr);
    if (!bitmap) {
        png_image_free(&image);
        return nullptr;
    }
    if (!png_image_finish_read(&image, nullptr, BitmapScanline(bitmap, 0), static_cast<png_int_32>(image.width * 4), nullptr)) {
        DeleteObject(bitmap);
        return nullptr;
    }
    return bitmap;
}

bool read_file(const std::string& path, std::vector<uint8_t>& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

bool write_file(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        std::remove(path.c_str());  // no half-written picture left behind
    return ok;
}

struct Resource {
    std::vector<uint8_t> data;
};

std::mutex g_resources_mutex;
std::map<UINT, Resource>& resources()
{
    static std::map<UINT, Resource> table;
    return table;
}

std::string lower_extension(const std::string& path)
{
    size_t dot = path.find_last_of('.');
    size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

}  // namespace

HBITMAP gdi::ReadImage(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    if (!p || size < 8)
        return nullptr;
    if (p[0] == 'B' && p[1] == 'M')
        return read_bmp(p, size);
    if (png_sig_cmp(p, 0, 8) == 0)
        return read_png(p, size);
    return nullptr;
}

HBITMAP gdi::ReadImageFile(const std::string& path)
{
    std::vector<uint8_t> data;
    if (!read_file(path, data))
        return nullptr;
    return ReadImage(data.data(), data.size());
}

bool gdi::WriteBmpFile(HBITMAP bitmap, const std::string& path)
{
    BitmapObject* b = as_bitmap(bitmap);
    if (!b || b->width() == 0 || b->height() == 0)
        return false;
    uint32_t stride = (static_cast<uint32_t>(b->width()) * 3 + 3) & ~3u;
    uint32_t image = stride * static_cast<uint32_t>(b->height());
    std::vector<uint8_t> out;
    out.reserve(54 + image);
    out.push_back('B');
    out.push_back('M');
    put32(out, 54 + image);
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(b->width()));
    put32(out, static_cast<uint32_t>(b->height()));  // bottom-up
    put16(out, 1);
    put16(out, 24);
    put32(out, 0);
    put32(out, image);
    put32(out, 3780);  // 96 DPI in pixels per metre
    put32(out, 3780);
    put32(out, 0);
    put32(out, 0);
    for (int y = b->height() - 1; y >= 0; --y) {
        const uint32_t* row = b->scanline(y);
        for (int x = 0; x < b->width(); ++x) {
            out.push_back(static_cast<uint8_t>(row[x]));
            out.push_back(static_cast<uint8_t>(row[x] >> 8));
            out.push_back(static_cast<uint8_t>(row[x] >> 16));
        }
        for (uint32_t pad = static_cast<uint32_t>(b->width()) * 3; pad < stride; ++pad)
            out.push_back(0);
    }
    return write_file(path, out.data(), out.size());
}

bool gdi::WriteJpegFile(HBITMAP bitmap, const std::string& path, int quality)
{
    BitmapObject* b = as_bitmap(bitmap);
    if (!b || b->width() == 0 || b->height() == 0)
        return false;
    tjhandle tj = tjInitCompress();
    if (!tj)
        return false;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    bool ok = tjCompress2(tj, reinterpret_cast<const unsigned char*>(b->scanline(0)), b->width(), b->pitch() * 4,
                          b->height(), TJPF_BGRX, &jpeg, &size, TJSAMP_420, std::clamp(quality, 1, 100), 0) == 0;
    if (ok)
        ok = write_file(path, jpeg, size);
    tjFree(jpeg);
    tjDestroy(tj);
    return ok;
}

void gdi::RegisterBitmapResource(UINT id, std::vector<uint8_t> data)
{
    std::lock_guard lock(g_resources_mutex);
    resources()[id] = Resource{std::move(data)};
}

bool gdi::RegisterBitmapResourceFile(UINT id, const std::string& path)
{
    std::vector<uint8_t> data;
    if (!read_file(path, data))
        return false;
    RegisterBitmapResource(id, std::move(data));
    return true;
}

void gdi::UnregisterBitmapResource(UINT id)
{
    std::lock_guard lock(g_resources_mutex);
    resources().erase(id);
}

HBITMAP LoadBitmap(HINSTANCE, LPCSTR name)
{
    auto value = reinterpret_cast<uintptr_t>(name);
    if (value == 0 || value > 0xFFFF)
        return nullptr;
    UINT id = static_cast<UINT>(value);
    std::lock_guard lock(g_resources_mutex);
    auto it = resources().find(id);
    if (it == resources().end())
        return nullptr;
    return ReadImage(it->second.data.data(), it->second.data.size());
}

int CImage::GetWidth() const
{
    BitmapObject* b = as_bitmap(m_bitmap);
    return b ? b->width() : 0;
}

int CImage::GetHeight() const
{
    BitmapObject* b = as_bitmap(m_bitmap);
    return b ? b->height() : 0;
}

HRESULT CImage::Save(const std::string& path) const
{
    std::string ext = lower_extension(path);
    bool ok = false;
    if (ext == "jpg" || ext == "jpeg")
        ok = WriteJpegFile(m_bitmap, path);
    else if (ext == "bmp")
        ok = WriteBmpFile(m_bitmap, path);
    return ok ? S_OK : E_FAIL;
}
