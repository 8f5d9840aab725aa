#include "platform/base/text.h"

#include <array>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 in 0x80..0x9F; the five unassigned bytes map to the C1 controls of the same value,
// so that every byte decodes and encodes back to itself.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Decodes one UTF-8 sequence at `pos`. Returns false (and consumes one byte) for anything that is
// not the shortest form of a scalar value.
bool NextUtf8(std::string_view s, std::size_t& pos, char32_t& out)
{
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        out = b0;
        ++pos;
        return true;
    }
    std::size_t len;
    char32_t cp;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++pos;
        return false;
    }
    if (s.size() - pos < len) {
        ++pos;
        return false;
    }
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return false;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return false;
    }
    pos += len;
    out = cp;
    return true;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = kReplacement;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Calls `emit` for every code point of UTF-8 text, invalid sequences as U+FFFD.
template <typename Emit>
void ForEachCodePoint(std::string_view s, Emit&& emit)
{
    std::size_t pos = 0;
    while (pos < s.size()) {
        char32_t cp;
        if (!NextUtf8(s, pos, cp))
            cp = kReplacement;
        emit(cp);
    }
}

template <typename Emit>
void ForEachUtf16CodePoint(std::u16string_view s, Emit&& emit)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t u = s[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            emit(0x10000 + ((static_cast<char32_t>(u - 0xD800) << 10) | (s[i + 1] - 0xDC00)));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            emit(kReplacement);
        } else {
            emit(static_cast<char32_t>(u));
        }
    }
}

void AppendUtf16Unit(std::string& out, char16_t u, bool big_endian)
{
    const char hi = static_cast<char>(u >> 8);
    const char lo = static_cast<char>(u & 0xFF);
    if (big_endian) {
        out += hi;
        out += lo;
    } else {
        out += lo;
        out += hi;
    }
}

int Cp1252Byte(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == cp)
            return static_cast<int>(0x80 + i);
    }
    return -1;
}

}  // namespace

bool IsValidUtf8(std::string_view text)
{
    std::size_t pos = 0;
    char32_t cp;
    while (pos < text.size()) {
        if (!NextUtf8(text, pos, cp))
            return false;
    }
    return true;
}

std::string SanitizeUtf8(std::string_view text)
{
    if (IsValidUtf8(text))
        return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    ForEachCodePoint(text, [&](char32_t cp) { AppendUtf8(out, cp); });
    return out;
}

TextEncoding DetectTextEncoding(std::string_view bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
        return TextEncoding::Utf16Le;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF)
        return TextEncoding::Utf16Be;
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return TextEncoding::Utf8Bom;
    return IsValidUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Latin1;
}

std::size_t ByteOrderMarkSize(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        return 3;
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be:
        return 2;
    default:
        return 0;
    }
}

std::string DecodeTextAs(std::string_view body, TextEncoding encoding)
{
    std::string out;
    switch (encoding) {
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom:
        return SanitizeUtf8(body);
    case TextEncoding::Latin1:
        out.reserve(body.size() + body.size() / 2);
        for (char c : body) {
            const auto b = static_cast<unsigned char>(c);
            AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
        }
        return out;
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be: {
        const bool be = encoding == TextEncoding::Utf16Be;
        std::u16string units;
        units.reserve(body.size() / 2);
        for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
            const auto a = static_cast<unsigned char>(body[i]);
            const auto b = static_cast<unsigned char>(body[i + 1]);
            units += static_cast<char16_t>(be ? (a << 8) | b : (b << 8) | a);
        }
        out.reserve(units.size() + units.size() / 2);
        ForEachUtf16CodePoint(units, [&](char32_t cp) { AppendUtf8(out, cp); });
        if (body.size() % 2)  // a lone last byte cannot be a character
            AppendUtf8(out, kReplacement);
        return out;
    }
    }
    return out;
}

std::string EncodeTextAs(std::string_view utf8, TextEncoding encoding, bool* exact)
{
    bool lossless = true;
    std::string out;
    switch (encoding) {
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom:
        lossless = IsValidUtf8(utf8);
        out = lossless ? std::string(utf8) : SanitizeUtf8(utf8);
        break;
    case TextEncoding::Latin1:
        out.reserve(utf8.size());
        ForEachCodePoint(utf8, [&](char32_t cp) {
            const int b = Cp1252Byte(cp);
            if (b < 0)
                lossless = false;
            out += static_cast<char>(b < 0 ? '?' : b);
        });
        break;
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be: {
        const bool be = encoding == TextEncoding::Utf16Be;
        out.reserve(utf8.size() * 2);
        ForEachCodePoint(utf8, [&](char32_t cp) {
            if (cp >= 0x10000) {
                cp -= 0x10000;
                AppendUtf16Unit(out, static_cast<char16_t>(0xD800 + (cp >> 10)), be);
                AppendUtf16Unit(out, static_cast<char16_t>(0xDC00 + (cp & 0x3FF)), be);
            } else {
                AppendUtf16Unit(out, static_cast<char16_t>(cp), be);
            }
        });
        break;
    }
    }
    if (exact)
        *exact = lossless;
    return out;
}

std::string DecodeText(std::string_view bytes, TextEncoding* detected)
{
    const TextEncoding encoding = DetectTextEncoding(bytes);
    if (detected)
        *detected = encoding;
    return DecodeTextAs(bytes.substr(ByteOrderMarkSize(encoding)), encoding);
}

std::string EncodeText(std::string_view utf8, TextEncoding encoding)
{
    std::string out;
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        out = "\xEF\xBB\xBF";
        break;
    case TextEncoding::Utf16Le:
        out = "\xFF\xFE";
        break;
    case TextEncoding::Utf16Be:
        out = "\xFE\xFF";
        break;
    default:
        break;
    }
    return out + EncodeTextAs(utf8, encoding);
}

std::u16string Utf8ToUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    ForEachCodePoint(utf8, [&](char32_t cp) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    });
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size() + utf16.size() / 2);
    ForEachUtf16CodePoint(utf16, [&](char32_t cp) { AppendUtf8(out, cp); });
    return out;
}

std::u32string Utf8ToUtf32(std::string_view utf8)
{
    std::u32string out;
    out.reserve(utf8.size());
    ForEachCodePoint(utf8, [&](char32_t cp) { out += cp; });
    return out;
}

std::string Utf32ToUtf8(std::u32string_view utf32)
{
    std::string out;
    out.reserve(utf32.size());
    for (char32_t cp : utf32)
        AppendUtf8(out, cp);
    return out;
}
