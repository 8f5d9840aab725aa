#pragma once
// Conversions at the edges where text is not UTF-8.

#include <cstddef>
#include <string>
#include <string_view>

enum class TextEncoding { Utf8, Utf8Bom, Utf16Le, Utf16Be, Latin1 };

// Detects the encoding from a byte-order mark (or from its absence: UTF-8 when the bytes are
// valid UTF-8, else an 8-bit code page, read as Windows-1252) and returns the text as UTF-8.
std::string DecodeText(std::string_view bytes, TextEncoding* detected = nullptr);
// Encodes UTF-8 text back into `encoding`, with the byte-order mark where that encoding has one.
std::string EncodeText(std::string_view utf8, TextEncoding encoding);

// The pieces of the two above, for code that edits a file in place: the encoding a whole file's
// bytes are in, the length of its byte-order mark, and conversions of a part of its body (no
// mark). EncodeTextAs sets `exact` to false when a character has no code in the encoding
// (Windows-1252) and was written as '?'.
TextEncoding DetectTextEncoding(std::string_view bytes);
std::size_t ByteOrderMarkSize(TextEncoding encoding);
std::string DecodeTextAs(std::string_view body, TextEncoding encoding);
std::string EncodeTextAs(std::string_view utf8, TextEncoding encoding, bool* exact = nullptr);
// Replaces every invalid UTF-8 sequence with U+FFFD.
std::string SanitizeUtf8(std::string_view text);
bool IsValidUtf8(std::string_view text);

// Invalid input (broken UTF-8 sequences, lone surrogates, values past U+10FFFF) becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
std::u32string Utf8ToUtf32(std::string_view utf8);
std::string Utf32ToUtf8(std::u32string_view utf32);
