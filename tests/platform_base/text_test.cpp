#include "platform/base/text.h"

#include <gtest/gtest.h>

namespace {

// UTF-16 bytes built from the compiler's own u"" encoding, independent of the code under test.
std::string Utf16Bytes(std::u16string_view s, bool big_endian)
{
    std::string out;
    for (char16_t u : s) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += big_endian ? hi : lo;
        out += big_endian ? lo : hi;
    }
    return out;
}

const std::string kMixed = "Grüße, 简体中文, العربية, русский, 🚗";
const std::u16string kMixed16 = u"Grüße, 简体中文, العربية, русский, 🚗";

}  // namespace

TEST(Text, DetectsEachEncodingAndDecodesIt)
{
    TextEncoding e;
    EXPECT_EQ(DecodeText("\xFF\xFE" + Utf16Bytes(kMixed16, false), &e), kMixed);
    EXPECT_EQ(e, TextEncoding::Utf16Le);
    EXPECT_EQ(DecodeText("\xFE\xFF" + Utf16Bytes(kMixed16, true), &e), kMixed);
    EXPECT_EQ(e, TextEncoding::Utf16Be);
    EXPECT_EQ(DecodeText("\xEF\xBB\xBF" + kMixed, &e), kMixed);
    EXPECT_EQ(e, TextEncoding::Utf8Bom);
    EXPECT_EQ(DecodeText(kMixed, &e), kMixed);
    EXPECT_EQ(e, TextEncoding::Utf8);
    // Not UTF-8: an 8-bit file, read as Windows-1252 (0x80 is the euro sign there).
    EXPECT_EQ(DecodeText("caf\xE9 \x80 \x9F", &e), "café € Ÿ");
    EXPECT_EQ(e, TextEncoding::Latin1);
    // Overlong forms and encoded surrogates are not UTF-8.
    EXPECT_EQ(DetectTextEncoding("\xC0\xAF"), TextEncoding::Latin1);
    EXPECT_EQ(DetectTextEncoding("\xED\xA0\x80"), TextEncoding::Latin1);
    EXPECT_EQ(DetectTextEncoding(""), TextEncoding::Utf8);
}

TEST(Text, EncodeRoundTripsEveryEncoding)
{
    for (auto e : {TextEncoding::Utf8, TextEncoding::Utf8Bom, TextEncoding::Utf16Le, TextEncoding::Utf16Be}) {
        TextEncoding detected;
        EXPECT_EQ(DecodeText(EncodeText(kMixed, e), &detected), kMixed);
        EXPECT_EQ(detected, e);
    }
    EXPECT_EQ(EncodeText(kMixed, TextEncoding::Utf16Le), "\xFF\xFE" + Utf16Bytes(kMixed16, false));
    EXPECT_EQ(EncodeText(kMixed, TextEncoding::Utf16Be), "\xFE\xFF" + Utf16Bytes(kMixed16, true));
}

TEST(Text, EightBitBytesSurviveDecodeAndEncode)
{
    // Every byte, including the five that Windows-1252 leaves unassigned, must come back as itself
    // so that rewriting an 8-bit file leaves its other lines alone.
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    bool exact = false;
    EXPECT_EQ(EncodeTextAs(DecodeTextAs(all, TextEncoding::Latin1), TextEncoding::Latin1, &exact), all);
    EXPECT_TRUE(exact);
    EXPECT_EQ(EncodeTextAs("a€中", TextEncoding::Latin1, &exact), "a\x80?");
    EXPECT_FALSE(exact);
}

TEST(Text, BrokenInputBecomesReplacementCharacters)
{
    EXPECT_EQ(SanitizeUtf8("a\xC3(b"), "a\xEF\xBF\xBD(b");
    EXPECT_EQ(SanitizeUtf8("\xF8\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(SanitizeUtf8("ok ✓"), "ok ✓");
    // A lone surrogate in UTF-16, a lone last byte, and values past U+10FFFF.
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_EQ(DecodeTextAs(std::string("a\0b", 3), TextEncoding::Utf16Le), "a\xEF\xBF\xBD");
    EXPECT_EQ(Utf32ToUtf8(U"x\x110000"), "x\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf32("\xE2\x82"), U"\xFFFD\xFFFD");
}

TEST(Text, UtfConversionsAgreeWithTheCompiler)
{
    EXPECT_EQ(Utf8ToUtf16(kMixed), kMixed16);
    EXPECT_EQ(Utf16ToUtf8(kMixed16), kMixed);
    EXPECT_EQ(Utf8ToUtf32(kMixed), U"Grüße, 简体中文, العربية, русский, 🚗");
    EXPECT_EQ(Utf32ToUtf8(U"Grüße, 简体中文, العربية, русский, 🚗"), kMixed);
}
