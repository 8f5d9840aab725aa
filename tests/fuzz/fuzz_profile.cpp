// Profile files from arbitrary bytes: every reader must stay in bounds, every listed name must be
// found again, and a write must read back as written without disturbing any other key.

#include "platform/base/profile.h"
#include "platform/base/text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::filesystem::path g_dir;

void RemoveDir() { std::filesystem::remove_all(g_dir); }

[[noreturn]] void Fail(const char* what, const std::string& a, const std::string& b)
{
    std::fprintf(stderr, "profile fuzz: %s: '%s' / '%s'\n", what, a.c_str(), b.c_str());
    std::abort();
}

// Writes a new file and renames it into place, as an editor would: the profile cache must notice.
std::string PutFile(const std::string& bytes)
{
    const std::string path = (g_dir / "f.ini").string();
    const std::string temp = path + ".new";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f)
        std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (std::rename(temp.c_str(), path.c_str()) != 0)
        std::abort();
    return path;
}

bool NoCaseEqual(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string Trim(const std::string& s)
{
    const char* blanks = " \t\r\v\f";
    const auto b = s.find_first_not_of(blanks);
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

using Snapshot = std::map<std::pair<std::string, std::string>, std::string>;

// Every reachable (section, key) with its value; checks that the listings and lookups agree.
Snapshot Read(const std::string& file)
{
    Snapshot all;
    char buf[8];
    for (DWORD size = 1; size <= sizeof buf; ++size)
        GetPrivateProfileStringW(nullptr, nullptr, "", buf, size, file.c_str());
    int sections = 0;
    for (const std::string& s : GetPrivateProfileSectionNames(file.c_str())) {
        if (s.find('\0') != std::string::npos || ++sections > 40)
            continue;
        GetPrivateProfileStringW(s.c_str(), nullptr, "", buf, sizeof buf, file.c_str());
        int keys = 0;
        for (const std::string& k : GetPrivateProfileKeys(s.c_str(), file.c_str())) {
            if (k.find('\0') != std::string::npos || ++keys > 40)
                continue;
            bool found = false;
            const std::string v = GetPrivateProfileString(s.c_str(), k.c_str(), nullptr, file.c_str(), &found);
            if (!found)
                Fail("listed key not found", s, k);
            std::vector<char> big(v.size() + 1);
            const DWORD n = GetPrivateProfileStringW(s.c_str(), k.c_str(), "", big.data(),
                                                     static_cast<DWORD>(big.size()), file.c_str());
            if (n != v.size() || std::memcmp(big.data(), v.data(), n) != 0)
                Fail("buffer form differs", k, v);
            GetPrivateProfileStringW(s.c_str(), k.c_str(), "", buf, sizeof buf, file.c_str());
            (void)GetPrivateProfileIntW(s.c_str(), k.c_str(), -1, file.c_str());
            all[{s, k}] = v;
        }
    }
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/qv-fuzz-profile-XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    g_dir = pattern;
    std::atexit(RemoveDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const int op = in.ConsumeIntegralInRange(0, 2);
    // c_str() views: a NUL inside ends the name, as it would for any caller.
    const std::string section = in.ConsumeRandomLengthString(40).c_str();
    const std::string key = in.ConsumeRandomLengthString(40).c_str();
    const std::string value = in.ConsumeRandomLengthString(80).c_str();
    const std::string file = PutFile(in.ConsumeRemainingBytesAsString());

    const Snapshot before = Read(file);

    BOOL ok;
    if (op == 0)
        ok = WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str());
    else if (op == 1)
        ok = WritePrivateProfileStringW(section.c_str(), key.c_str(), nullptr, file.c_str());
    else
        ok = WritePrivateProfileStringW(section.c_str(), nullptr, nullptr, file.c_str());
    if (!ok)
        return 0;

    const Snapshot after = Read(file);
    const std::string s = Trim(SanitizeUtf8(section));
    const std::string k = Trim(SanitizeUtf8(key));
    if (op == 0) {
        std::string expected = Trim(SanitizeUtf8(value));
        if (expected.size() >= 2 && (expected[0] == '"' || expected[0] == '\'') && expected.back() == expected[0])
            expected = expected.substr(1, expected.size() - 2);
        bool found = false;
        const std::string got = GetPrivateProfileString(section.c_str(), key.c_str(), nullptr, file.c_str(), &found);
        if (!found || got != expected)
            Fail("written value reads back differently", expected, got);
    }
    for (const auto& [name, v] : before) {
        const bool touched = NoCaseEqual(name.first, s) && (op == 2 || NoCaseEqual(name.second, k));
        if (touched)
            continue;
        const auto it = after.find(name);
        bool found = it != after.end();
        const std::string now = found ? it->second
                                      : GetPrivateProfileString(name.first.c_str(), name.second.c_str(), nullptr,
                                                                file.c_str(), &found);
        if (!found || now != v)
            Fail("an untouched key changed", name.first + "/" + name.second, v + " -> " + now);
    }
    return 0;
}
