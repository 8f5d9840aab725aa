#pragma once
// Image files and bitmap resources: BMP read and write, PNG read, JPEG write; a table of bitmaps
// by numeric id for LoadBitmap; CImage's saving of a bitmap by file extension.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/gdi/gdi_types.h"

namespace gdi {

// Decodes a BMP (1, 4, 8, 24 or 32 bits, uncompressed) or PNG picture. BMP files whose palette
// is exactly black and white become one-bit bitmaps, as LoadBitmap makes them. Null when the
// data is not a picture it can read.
HBITMAP ReadImage(const void* data, size_t size);
HBITMAP ReadImageFile(const std::string& path);

// 24-bit bottom-up BMP.
bool WriteBmpFile(HBITMAP bitmap, const std::string& path);
// Baseline JPEG, 4:2:0; 75 is the quality an image encoder uses when none is given.
bool WriteJpegFile(HBITMAP bitmap, const std::string& path, int quality = 75);

// The bitmap resource table. Registering an id again replaces its picture.
void RegisterBitmapResource(UINT id, std::vector<uint8_t> data);
bool RegisterBitmapResourceFile(UINT id, const std::string& path);
void UnregisterBitmapResource(UINT id);

}  // namespace gdi

// The ATL image class, as far as saving snapshots goes.
class CImage {
public:
    CImage() = default;
    ~CImage() = default;
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    void Attach(HBITMAP bitmap) { m_bitmap = bitmap; }
    HBITMAP Detach() { return std::exchange(m_bitmap, nullptr); }
    bool IsNull() const { return m_bitmap == nullptr; }
    int GetWidth() const;
    int GetHeight() const;
    // The format follows the extension: .jpg/.jpeg or .bmp.
    HRESULT Save(const std::string& path) const;
    operator HBITMAP() const { return m_bitmap; }

private:
    HBITMAP m_bitmap = nullptr;
};
