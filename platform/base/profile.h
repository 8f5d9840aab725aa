#pragma once
// Private profile (INI) files with the Win32 rules: section and key names compared without
// regard to ASCII case and trimmed, the first match wins, values trimmed and a pair of matching
// quotes removed, lines starting with ';' are comments, a missing file or key gives the default.
// Files may be UTF-16LE/BE (with a byte-order mark), UTF-8 with or without a mark, or 8-bit
// text; names and values here are UTF-8.
//
// Every call may come from any thread. Parsed files are cached and revalidated against the
// file's size, inode and modification/change times (nanoseconds) at every call, so a repeated
// read does not re-read the content. A write
// rewrites the file into a temporary file that is renamed over the old one, under one lock shared
// with the readers: no reader, and no crash, sees a half-written file. A write keeps every other
// line, comment and the file's encoding.

#include "platform/base/types.h"

#include <string>
#include <vector>

// The integer at the start of the value (after optional blanks and a sign; "0x" hexadecimal is
// accepted as Windows does), the default when the key is missing or its value empty, 0 when the
// value does not start with a number. Negative values come back as their 32-bit pattern.
UINT GetPrivateProfileIntW(const char* section, const char* key, INT default_value, const char* file);

// Windows-compatible form: copies at most size-1 characters and returns the count copied.
// A null key lists the section's keys, a null section lists the sections (NUL-separated, double
// NUL at the end). Trailing blanks of the default are removed, as Windows does.
DWORD GetPrivateProfileStringW(const char* section, const char* key, const char* default_value,
                               char* buffer, DWORD size, const char* file);

// The same lookup without a length limit. `found` tells whether the key exists. As on Windows, a
// key that exists with an empty value gives "" (not the default): callers that treat empty as
// missing do so themselves. Unlike the buffer form, the default comes back exactly as passed.
std::string GetPrivateProfileString(const char* section, const char* key,
                                    const char* default_value, const char* file,
                                    bool* found = nullptr);

// Sets a key (creating the file and the section when missing). A null value deletes the key; a
// null key deletes the whole section. FALSE when the file cannot be written, and FALSE (nothing
// written) for names or values that would not read back as themselves: a line break anywhere, or
// a key holding '=' or starting with ';' or '['. A new key goes after the last key of its section,
// a new section at the end; new files are UTF-8. An 8-bit file that cannot hold the new text is
// rewritten as UTF-8 rather than lose characters.
BOOL WritePrivateProfileStringW(const char* section, const char* key, const char* value, const char* file);

// Sections and keys of a file, in file order (first occurrences only).
std::vector<std::string> GetPrivateProfileSectionNames(const char* file);
std::vector<std::string> GetPrivateProfileKeys(const char* section, const char* file);

// How many times a file's content was read from disk since the start (the cache's misses).
// Tests and benchmarks use it to prove that cached reads do not touch the content.
std::uint64_t ProfileContentReads();
