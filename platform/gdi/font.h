#pragma once
// Layer-internal: fonts realised from a LOGFONT (face matched through fontconfig, glyphs by
// FreeType), with a glyph cache. Realised fonts live for the whole process, keyed by everything
// in the LOGFONT that changes glyph shapes. All use of a realised font happens under
// font_lock(), because FreeType faces are not thread-safe and glyphs are cached in place.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gdi/gdi_types.h"

namespace gdi {

struct Glyph {
    int advance = 0;  // unrotated, whole pixels
    int left = 0;     // bitmap offset from the pen position, x to the right
    int top = 0;      // and y upwards (FreeType's convention)
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage;  // width * height, 0..255
};

class RealizedFont {
public:
    // The font for `lf` (cached). Null only when no font at all can be loaded.
    static RealizedFont* get(const LOGFONT& lf);
    ~RealizedFont();

    const TEXTMETRIC& metrics() const { return m_metrics; }
    const Glyph& glyph(char32_t cp);
    int advance(char32_t cp) { return glyph(cp).advance; }
    double angle() const { return m_angle; }  // radians, counter-clockwise
    int underline_offset() const { return m_underline_offset; }  // below the baseline
    int underline_thickness() const { return m_underline_thickness; }
    int strikeout_offset() const { return m_strikeout_offset; }  // above the baseline
    bool underline() const { return m_underline; }
    bool strikeout() const { return m_strikeout; }
    const std::string& file() const { return m_file; }

    struct Face;

private:
    RealizedFont() = default;
    bool load(const LOGFONT& lf);
    Face* face_for(char32_t cp, unsigned* index);

    std::vector<std::unique_ptr<Face>> m_faces;  // [0] is the matched face, then fallbacks
    std::unordered_map<char32_t, Glyph> m_glyphs;
    TEXTMETRIC m_metrics{};
    double m_angle = 0;
    int m_underline_offset = 1;
    int m_underline_thickness = 1;
    int m_strikeout_offset = 3;
    bool m_underline = false;
    bool m_strikeout = false;
    LOGFONT m_logfont{};
    long m_char_width26 = 0;
    long m_char_height26 = 0;
    bool m_embolden = false;
    bool m_oblique = false;
    std::string m_file;
};

std::mutex& font_lock();

// UTF-8 to code points; broken sequences become U+FFFD.
std::u32string decode_utf8(const char* text, size_t length);

}  // namespace gdi
