// Face matching through fontconfig, glyphs through FreeType.

#include "platform/gdi/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>

namespace gdi {

struct RealizedFont::Face {
    FT_Face face = nullptr;
    std::string file;
    ~Face()
    {
        if (face)
            FT_Done_Face(face);
    }
};

namespace {

FT_Library library()
{
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        FT_Init_FreeType(&l);
        FcInit();
        return l;
    }();
    return lib;
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Windows faces named by dialogs and controls, to installed faces with the same use and, where
// one exists, the same metrics. Anything else goes to fontconfig as it stands.
std::string family_for(const char* face)
{
    static const std::map<std::string, std::string> aliases = {
        {"", "sans-serif"},
        {"system", "Liberation Sans"},
        {"ms sans serif", "Liberation Sans"},
        {"microsoft sans serif", "Liberation Sans"},
        {"ms shell dlg", "Liberation Sans"},
        {"ms shell dlg 2", "Liberation Sans"},
        {"tahoma", "Liberation Sans"},
        {"verdana", "DejaVu Sans"},
        {"segoe ui", "Liberation Sans"},
        {"arial", "Liberation Sans"},
        {"times new roman", "Liberation Serif"},
        {"courier new", "Liberation Mono"},
        {"courier", "Liberation Mono"},
        {"fixedsys", "Liberation Mono"},
        {"simsun", "WenQuanYi Micro Hei"},
        {"nsimsun", "WenQuanYi Micro Hei"},
        {"simhei", "WenQuanYi Micro Hei"},
        {"microsoft yahei", "WenQuanYi Micro Hei"},
        {"\xe5\xae\x8b\xe4\xbd\x93", "WenQuanYi Micro Hei"},              // SimSun
        {"\xe5\xbe\xae\xe8\xbd\xaf\xe9\x9b\x85\xe9\xbb\x91", "WenQuanYi Micro Hei"},  // YaHei
        {"mingliu", "WenQuanYi Micro Hei"},
        {"ms gothic", "WenQuanYi Micro Hei"},
        {"gulim", "WenQuanYi Micro Hei"},
    };
    std::string name(face, strnlen(face, LF_FACESIZE));
    auto it = aliases.find(lower(name));
    return it != aliases.end() ? it->second : name;
}

// Matches a family with weight and slant, optionally requiring a code point; returns the file.
bool match(const std::string& family, int weight, bool italic, char32_t cp, std::string* file, int* index,
           int* matched_weight, int* matched_slant)
{
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcCharSet* set = nullptr;
    if (cp) {
        set = FcCharSetCreate();
        FcCharSetAddChar(set, cp);
        FcPatternAddCharSet(pattern, FC_CHARSET, set);
    }
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* found = FcFontMatch(nullptr, pattern, &result);
    bool ok = false;
    if (found) {
        FcChar8* path = nullptr;
        if (FcPatternGetString(found, FC_FILE, 0, &path) == FcResultMatch) {
            *file = reinterpret_cast<const char*>(path);
            *index = 0;
            FcPatternGetInteger(found, FC_INDEX, 0, index);
            *matched_weight = FC_WEIGHT_REGULAR;
            *matched_slant = FC_SLANT_ROMAN;
            FcPatternGetInteger(found, FC_WEIGHT, 0, matched_weight);
            FcPatternGetInteger(found, FC_SLANT, 0, matched_slant);
            ok = true;
        }
        FcPatternDestroy(found);
    }
    if (set)
        FcCharSetDestroy(set);
    FcPatternDestroy(pattern);
    return ok;
}

std::string key_of(const LOGFONT& lf)
{
    std::string key(reinterpret_cast<const char*>(&lf), offsetof(LOGFONT, lfFaceName));
    return key + lower(std::string(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE)));
}

}  // namespace

std::mutex& font_lock()
{
    static std::mutex m;
    return m;
}

RealizedFont* RealizedFont::get(const LOGFONT& lf)
{
    static std::map<std::string, std::unique_ptr<RealizedFont>> cache;
    std::string key = key_of(lf);
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second.get();
    std::unique_ptr<RealizedFont> font(new RealizedFont());
    if (!font->load(lf))
        return nullptr;
    return cache.emplace(key, std::move(font)).first->second.get();
}

RealizedFont::~RealizedFont() = default;

bool RealizedFont::load(const LOGFONT& lf)
{
    m_logfont = lf;
    FT_Library lib = library();
    if (!lib)
        return false;
    int weight = lf.lfWeight == FW_DONTCARE ? FW_NORMAL : std::clamp<int>(lf.lfWeight, 1, 1000);
    std::string file;
    int index = 0, got_weight = 0, got_slant = 0;
    auto face = std::make_unique<Face>();
    bool matched = match(family_for(lf.lfFaceName), weight, lf.lfItalic, 0, &file, &index, &got_weight, &got_slant);
    if (!matched || FT_New_Face(lib, file.c_str(), index, &face->face) != 0) {
        // The last resort when fontconfig has nothing usable.
        if (!match("DejaVu Sans", weight, lf.lfItalic, 0, &file, &index, &got_weight, &got_slant) ||
            FT_New_Face(lib, file.c_str(), index, &face->face) != 0)
            return false;
    }
    face->file = file;
    m_file = file;
    FT_Face f = face->face;
    m_embolden = weight >= FW_SEMIBOLD && got_weight < FC_WEIGHT_DEMIBOLD;
    m_oblique = lf.lfItalic && got_slant == FC_SLANT_ROMAN;

    // Vertical metrics as Windows takes them: the OS/2 table's Windows ascent and descent.
    double upem = f->units_per_EM ? f->units_per_EM : 2048;
    double asc_units = f->ascender, desc_units = -f->descender, gap_units = 0;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
    const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(f, FT_SFNT_HHEA));
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        asc_units = os2->usWinAscent;
        desc_units = os2->usWinDescent;
        if (hhea)
            gap_units = std::max(0.0, double(hhea->Line_Gap) - ((asc_units + desc_units) - (hhea->Ascender - hhea->Descender)));
    }
    // lfHeight < 0: character (em) height; > 0: cell height (ascent + descent); 0: a default.
    double em;
    if (lf.lfHeight < 0)
        em = -double(lf.lfHeight);
    else if (lf.lfHeight > 0)
        em = lf.lfHeight * upem / (asc_units + desc_units);
    else
        em = 12;
    double scale = em / upem;
    m_char_height26 = std::max(64L, std::lround(em * 64));
    double avg = os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth * scale : em / 2;
    double width_scale = lf.lfWidth > 0 && avg > 0 ? lf.lfWidth / avg : 1.0;
    m_char_width26 = std::max(64L, std::lround(em * width_scale * 64));
    FT_Set_Char_Size(f, m_char_width26, m_char_height26, 72, 72);

    TEXTMETRIC& tm = m_metrics;
    tm.tmAscent = std::lround(asc_units * scale);
    tm.tmDescent = std::lround(desc_units * scale);
    if (lf.lfHeight > 0)
        tm.tmDescent = lf.lfHeight - tm.tmAscent;
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    tm.tmInternalLeading = std::max(0L, tm.tmHeight - std::lround(em));
    tm.tmExternalLeading = std::lround(gap_units * scale);
    tm.tmAveCharWidth = std::max(1L, std::lround(avg * width_scale));
    tm.tmMaxCharWidth = std::max(1L, std::lround(f->max_advance_width * scale * width_scale));
    tm.tmWeight = weight;
    tm.tmItalic = lf.lfItalic;
    tm.tmUnderlined = lf.lfUnderline;
    tm.tmStruckOut = lf.lfStrikeOut;
    tm.tmCharSet = lf.lfCharSet;
    tm.tmPitchAndFamily = lf.lfPitchAndFamily;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFFFF;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = 96;

    m_underline = lf.lfUnderline != 0;
    m_strikeout = lf.lfStrikeOut != 0;
    m_underline_thickness = std::max(1L, std::lround(f->underline_thickness * scale));
    m_underline_offset = std::clamp<int>(static_cast<int>(std::lround(-f->underline_position * scale)), 1,
                                         std::max<int>(1, tm.tmDescent - m_underline_thickness));
    m_strikeout_offset = os2 && os2->yStrikeoutPosition > 0 ? static_cast<int>(std::lround(os2->yStrikeoutPosition * scale))
                                                              : static_cast<int>(tm.tmAscent / 3);

    // Escapement turns the whole line, in tenths of a degree counter-clockwise.
    m_angle = (lf.lfEscapement % 3600) * M_PI / 1800.0;
    m_faces.push_back(std::move(face));
    return true;
}

RealizedFont::Face* RealizedFont::face_for(char32_t cp, unsigned* index)
{
    for (auto& face : m_faces) {
        if ((*index = FT_Get_Char_Index(face->face, cp)) != 0)
            return face.get();
    }
    // Characters the face lacks (Chinese text in a Latin face, say) come from a face that has
    // them, as Windows' font linking does.
    constexpr size_t kMaxFallbacks = 4;
    std::string file;
    int fi = 0, w = 0, s = 0;
    if (cp >= 0x80 && m_faces.size() < kMaxFallbacks &&
        match("sans-serif", m_metrics.tmWeight, m_logfont.lfItalic, cp, &file, &fi, &w, &s)) {
        bool known = std::any_of(m_faces.begin(), m_faces.end(), [&](const auto& f) { return f->file == file; });
        auto face = std::make_unique<Face>();
        if (!known && FT_New_Face(library(), file.c_str(), fi, &face->face) == 0) {
            face->file = file;
            FT_Set_Char_Size(face->face, m_char_width26, m_char_height26, 72, 72);
            m_faces.push_back(std::move(face));
            if ((*index = FT_Get_Char_Index(m_faces.back()->face, cp)) != 0)
                return m_faces.back().get();
        }
    }
    *index = 0;
    return m_faces.front().get();
}

const Glyph& RealizedFont::glyph(char32_t cp)
{
    auto it = m_glyphs.find(cp);
    if (it != m_glyphs.end())
        return it->second;
    Glyph g;
    unsigned index = 0;
    Face* face = face_for(cp, &index);
    FT_Face f = face->face;
    FT_Matrix matrix{0x10000, 0, 0, 0x10000};
    if (m_oblique)
        matrix.xy = 0x3333;  // about 11 degrees of slant
    if (m_angle != 0) {
        FT_Fixed c = static_cast<FT_Fixed>(std::lround(std::cos(m_angle) * 0x10000));
        FT_Fixed s = static_cast<FT_Fixed>(std::lround(std::sin(m_angle) * 0x10000));
        FT_Matrix rot{c, -s, s, c};
        FT_Matrix_Multiply(&rot, &matrix);  // matrix = rot * matrix
    }
    FT_Set_Transform(f, &matrix, nullptr);
    if (FT_Load_Glyph(f, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) == 0) {
        FT_GlyphSlot slot = f->glyph;
        g.advance = static_cast<int>((slot->metrics.horiAdvance + 32) >> 6);
        if (m_embolden && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            FT_Pos strength = std::max<FT_Pos>(32, m_char_height26 / 24);
            FT_Outline_Embolden(&slot->outline, strength);
            g.advance += static_cast<int>((strength + 63) >> 6);
        }
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0 && slot->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
            const FT_Bitmap& bm = slot->bitmap;
            g.left = slot->bitmap_left;
            g.top = slot->bitmap_top;
            g.width = static_cast<int>(bm.width);
            g.height = static_cast<int>(bm.rows);
            g.coverage.resize(static_cast<size_t>(g.width) * g.height);
            for (int y = 0; y < g.height; ++y)
                std::memcpy(&g.coverage[static_cast<size_t>(y) * g.width], bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch,
                            static_cast<size_t>(g.width));
        }
    }
    FT_Set_Transform(f, nullptr, nullptr);
    // Control characters take no room.
    if (cp < 0x20)
        g = Glyph{};
    return m_glyphs.emplace(cp, std::move(g)).first->second;
}

std::u32string decode_utf8(const char* text, size_t length)
{
    std::u32string out;
    out.reserve(length);
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        unsigned char c = s[i];
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        bool ok = extra >= 0 && i + static_cast<size_t>(extra) < length;
        for (int k = 1; ok && k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        static const char32_t min_for[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || cp < min_for[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

}  // namespace gdi
