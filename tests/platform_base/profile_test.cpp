#include "platform/base/profile.h"

#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// UTF-16 bytes built from the compiler's u"" encoding, independent of the code under test.
std::string Utf16(std::u16string_view s, bool big_endian = false)
{
    std::string out;
    for (char16_t u : s) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += big_endian ? hi : lo;
        out += big_endian ? lo : hi;
    }
    return out;
}

std::string Get(const std::string& file, const char* section, const char* key, const char* def = "<default>")
{
    return GetPrivateProfileString(section, key, def, file.c_str());
}

int GetInt(const std::string& file, const char* section, const char* key, int def)
{
    return static_cast<int>(GetPrivateProfileIntW(section, key, def, file.c_str()));
}

// Pushes the file's modification time forward so that a rewrite of the same size is visible.
void BumpMtime(const std::string& file, int seconds)
{
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    timespec times[2] = {st.st_atim, st.st_mtim};
    times[1].tv_sec += seconds;
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

const char kConfig[] =
    "; settings\n"
    "Orphan=before any section\n"
    "[Config]\n"
    "  GPS_Offset_Auto = 0  \n"
    "ShowEDR_Left=-190\n"
    "Quoted=\"  spaced  \"\n"
    "Single='x'\n"
    "Mismatched=\"x'\n"
    "Empty=\n"
    "NoEquals\n"
    "Hex=0x1F\n"
    "Text=abc\n"
    "Lead=12abc\n"
    "Plus=+7\n"
    "Dup=first\n"
    "dup=second\n"
    ";Commented=1\n"
    "\n"
    "[ Default ]\n"
    "VideoFormat_DfSet=3\n"
    "[CONFIG]\n"
    "Later=never seen\n";

}  // namespace

TEST(Profile, Win32ReadRules)
{
    TempDir dir;
    const std::string f = dir.write("Config.ini", kConfig);

    EXPECT_EQ(GetInt(f, "config", "gps_offset_auto", 1), 0);     // names without regard to case, trimmed
    EXPECT_EQ(Get(f, " Config ", " GPS_Offset_Auto "), "0");
    EXPECT_EQ(GetInt(f, "Config", "ShowEDR_Left", 0), -190);
    EXPECT_EQ(Get(f, "Config", "Quoted"), "  spaced  ");            // quotes removed, inside kept
    EXPECT_EQ(Get(f, "Config", "Single"), "x");
    EXPECT_EQ(Get(f, "Config", "Mismatched"), "\"x'");
    EXPECT_EQ(Get(f, "Config", "Dup"), "first");                    // first match wins
    EXPECT_EQ(Get(f, "Default", "VideoFormat_DfSet"), "3");
    EXPECT_EQ(Get(f, "Config", "Later"), "<default>");              // a repeated section is not searched
    EXPECT_EQ(Get(f, "Config", "Orphan"), "<default>");
    EXPECT_EQ(Get(f, "Config", ";Commented"), "<default>");
    EXPECT_EQ(Get(f, "Config", "Missing"), "<default>");
    EXPECT_EQ(Get(f, "Nowhere", "GPS_Offset_Auto"), "<default>");
    EXPECT_EQ(Get(dir.file("absent.ini"), "Config", "GPS_Offset_Auto"), "<default>");

    // Windows returns an empty value as it is; the integer reader takes the default for it.
    bool found = false;
    EXPECT_EQ(GetPrivateProfileString("Config", "Empty", "d", f.c_str(), &found), "");
    EXPECT_TRUE(found);
    EXPECT_EQ(GetPrivateProfileString("Config", "NoEquals", "d", f.c_str(), &found), "");
    EXPECT_TRUE(found);
    GetPrivateProfileString("Config", "Missing", "d", f.c_str(), &found);
    EXPECT_FALSE(found);
    EXPECT_EQ(GetInt(f, "Config", "Empty", 14), 14);

    EXPECT_EQ(GetInt(f, "Config", "Hex", 0), 31);
    EXPECT_EQ(GetInt(f, "Config", "Text", 5), 0);
    EXPECT_EQ(GetInt(f, "Config", "Lead", 5), 12);
    EXPECT_EQ(GetInt(f, "Config", "Plus", 5), 7);
    EXPECT_EQ(GetInt(f, "Config", "Missing", -1), -1);
    EXPECT_EQ(GetPrivateProfileIntW("Config", "ShowEDR_Left", 0, f.c_str()), 0xFFFFFF42u);

    EXPECT_EQ(GetPrivateProfileSectionNames(f.c_str()), (std::vector<std::string>{"Config", "Default"}));
    EXPECT_EQ(GetPrivateProfileKeys("CONFIG", f.c_str()),
              (std::vector<std::string>{"GPS_Offset_Auto", "ShowEDR_Left", "Quoted", "Single", "Mismatched",
                                        "Empty", "NoEquals", "Hex", "Text", "Lead", "Plus", "Dup"}));
}

TEST(Profile, BufferFormCutsAndLists)
{
    TempDir dir;
    const std::string f = dir.write("a.ini", "[S]\nk=Grüße\nlong=0123456789\n[T]\nx=1\n");
    char buf[64];

    EXPECT_EQ(GetPrivateProfileStringW("S", "long", "", buf, 5, f.c_str()), 4u);
    EXPECT_STREQ(buf, "0123");
    // "ü" is two bytes: the cut does not split it.
    EXPECT_EQ(GetPrivateProfileStringW("S", "k", "", buf, 4, f.c_str()), 2u);
    EXPECT_STREQ(buf, "Gr");
    // Windows drops trailing blanks of the default (not of found values).
    EXPECT_EQ(GetPrivateProfileStringW("S", "none", "Speed:  ", buf, sizeof buf, f.c_str()), 6u);
    EXPECT_STREQ(buf, "Speed:");
    EXPECT_EQ(GetPrivateProfileStringW("S", "none", nullptr, buf, sizeof buf, f.c_str()), 0u);
    EXPECT_STREQ(buf, "");
    // The unlimited form gives the default as passed.
    EXPECT_EQ(GetPrivateProfileString("S", "none", "Speed: ", f.c_str()), "Speed: ");

    EXPECT_EQ(GetPrivateProfileStringW(nullptr, nullptr, "", buf, sizeof buf, f.c_str()), 4u);
    EXPECT_EQ(std::string(buf, 5), std::string("S\0T\0\0", 5));
    EXPECT_EQ(GetPrivateProfileStringW("s", nullptr, "", buf, sizeof buf, f.c_str()), 7u);
    EXPECT_EQ(std::string(buf, 8), std::string("k\0long\0\0", 8));
    EXPECT_EQ(GetPrivateProfileStringW("s", nullptr, "", buf, 5, f.c_str()), 3u);  // cut: size - 2
    EXPECT_EQ(std::string(buf, 5), std::string("k\0l\0\0", 5));
    // The first name fills the buffer exactly: the list ends there, still inside the buffer.
    char small[4 + 8];
    std::memset(small, 'X', sizeof small);
    EXPECT_EQ(GetPrivateProfileStringW("s", nullptr, "", small, 3, f.c_str()), 1u);
    EXPECT_EQ(std::string(small, 4), std::string("k\0\0X", 4));
}

TEST(Profile, NoLengthLimitInPathsOrValues)
{
    TempDir dir;
    const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e') + "/" + std::string(120, 'f');
    const std::string value(5000, 'v');
    const std::string f = dir.write(deep + "/Config.ini", "[Config]\nSnapshotPath=" + value + "\n");
    ASSERT_GT(f.size(), 360u);
    EXPECT_EQ(Get(f, "Config", "SnapshotPath"), value);
    ASSERT_TRUE(WritePrivateProfileStringW("Config", "BackupPath", (value + "x").c_str(), f.c_str()));
    EXPECT_EQ(Get(f, "Config", "BackupPath"), value + "x");
}

TEST(Profile, ReadsUnicodeLanguageFiles)
{
    TempDir dir;
    const std::u16string text =
        u"[Language String]\r\n"
        u"Play=播放\r\n"
        u"Stop = إيقاف \r\n"
        u"Speed: =Скорость:\r\n"
        u"😀=emoji key\r\n";
    const std::string le = dir.write("zh_CN.ini", "\xFF\xFE" + Utf16(text));
    const std::string be = dir.write("be.ini", "\xFE\xFF" + Utf16(text, true));
    const std::string u8bom = dir.write("u8bom.ini",
                                        "\xEF\xBB\xBF[Language String]\r\nPlay=播放\r\nStop=إيقاف\r\n"
                                        "Speed:=Скорость:\r\n😀=emoji key\r\n");
    for (const std::string& f : {le, be, u8bom}) {
        EXPECT_EQ(Get(f, "language string", "Play"), "播放") << f;
        EXPECT_EQ(Get(f, "Language String", "Stop"), "إيقاف") << f;
        EXPECT_EQ(Get(f, "Language String", "Speed:"), "Скорость:") << f;
        EXPECT_EQ(Get(f, "Language String", "😀"), "emoji key") << f;
        EXPECT_EQ(Get(f, "Language String", "Pause"), "<default>") << f;
    }
    // Neither a mark nor valid UTF-8: an 8-bit file in Windows-1252.
    const std::string ansi = dir.write("fr_FR.ini", "[Language String]\r\nPlay=Lecture \x80 \xE9t\xE9\r\n");
    EXPECT_EQ(Get(ansi, "Language String", "Play"), "Lecture € été");
}

TEST(Profile, WriteChangesOnlyItsLineInUtf16)
{
    TempDir dir;
    const std::u16string before =
        u"; 语言文件\r\n"
        u"[Language String]\r\n"
        u"Play=播放\r\n"
        u"  Stop  =  停止 \r\n"
        u"\r\n"
        u"; Конец\r\n"
        u"[Other]\r\n"
        u"Stop=x";
    const std::u16string after =
        u"; 语言文件\r\n"
        u"[Language String]\r\n"
        u"Play=播放\r\n"
        u"Stop=Стоп\r\n"
        u"\r\n"
        u"; Конец\r\n"
        u"[Other]\r\n"
        u"Stop=x";
    const std::string f = dir.write("l.ini", "\xFF\xFE" + Utf16(before));
    ASSERT_TRUE(WritePrivateProfileStringW("language string", "STOP", "Стоп", f.c_str()));
    EXPECT_EQ(dir.read("l.ini"), "\xFF\xFE" + Utf16(after));
    EXPECT_EQ(Get(f, "Language String", "stop"), "Стоп");
    EXPECT_EQ(Get(f, "Other", "Stop"), "x");
}

TEST(Profile, WriteAddsKeysAndSectionsInPlace)
{
    TempDir dir;
    const std::string f = dir.write("Config.ini",
                                    "; top\r\n[Config]\r\nA=1\r\nB=2\r\n\r\n; about Camera-1\r\n[Camera-1]\r\n1=1");
    ASSERT_TRUE(WritePrivateProfileStringW("config", "C", "3", f.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW("Camera-1", "2", "3", f.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW("3G_Default", "ServerPort", "13579", f.c_str()));
    EXPECT_EQ(dir.read("Config.ini"),
              "; top\r\n[Config]\r\nA=1\r\nB=2\r\nC=3\r\n\r\n; about Camera-1\r\n[Camera-1]\r\n1=1\r\n2=3\r\n"
              "\r\n[3G_Default]\r\nServerPort=13579\r\n");
    EXPECT_EQ(GetInt(f, "3g_default", "serverport", 0), 13579);

    // A missing file is created as UTF-8; a negative number round-trips.
    const std::string fresh = dir.file("new.ini");
    ASSERT_TRUE(WritePrivateProfileStringW("Config", "ShowEDR_Left", "-190", fresh.c_str()));
    EXPECT_EQ(dir.read("new.ini"), "[Config]\nShowEDR_Left=-190\n");
    EXPECT_EQ(GetInt(fresh, "Config", "ShowEDR_Left", 0), -190);
}

TEST(Profile, WriteKeepsUtf8MarkAndEightBitFiles)
{
    TempDir dir;
    const std::string bom = dir.write("bom.ini", "\xEF\xBB\xBF[S]\nk=é\n");
    ASSERT_TRUE(WritePrivateProfileStringW("S", "k", "ü", bom.c_str()));
    EXPECT_EQ(dir.read("bom.ini"), "\xEF\xBB\xBF[S]\nk=ü\n");

    const std::string ansi = dir.write("ansi.ini", "[S]\na=caf\xE9\nb=1\n");
    ASSERT_TRUE(WritePrivateProfileStringW("S", "b", "thé", ansi.c_str()));
    EXPECT_EQ(dir.read("ansi.ini"), "[S]\na=caf\xE9\nb=th\xE9\n");
    // A character Windows-1252 has no code for: the file turns UTF-8 rather than lose it.
    ASSERT_TRUE(WritePrivateProfileStringW("S", "b", "中", ansi.c_str()));
    EXPECT_EQ(dir.read("ansi.ini"), "[S]\na=café\nb=中\n");
    EXPECT_EQ(Get(ansi, "S", "a"), "café");
    EXPECT_EQ(Get(ansi, "S", "b"), "中");
}

TEST(Profile, DeleteKeysAndSections)
{
    TempDir dir;
    const std::string f = dir.write("d.ini", "[A]\nx=1\ny=2\n; a note\n[B]\nz=3\n[C]\nw=4\n");
    ASSERT_TRUE(WritePrivateProfileStringW("a", "X", nullptr, f.c_str()));
    EXPECT_EQ(dir.read("d.ini"), "[A]\ny=2\n; a note\n[B]\nz=3\n[C]\nw=4\n");
    ASSERT_TRUE(WritePrivateProfileStringW("b", nullptr, nullptr, f.c_str()));
    EXPECT_EQ(dir.read("d.ini"), "[A]\ny=2\n; a note\n[C]\nw=4\n");
    EXPECT_EQ(Get(f, "B", "z"), "<default>");

    // Deleting what is not there changes nothing and creates nothing.
    ASSERT_TRUE(WritePrivateProfileStringW("A", "nothing", nullptr, f.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW("Q", nullptr, nullptr, f.c_str()));
    EXPECT_EQ(dir.read("d.ini"), "[A]\ny=2\n; a note\n[C]\nw=4\n");
    ASSERT_TRUE(WritePrivateProfileStringW("A", nullptr, nullptr, dir.file("none.ini").c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.ini")));
}

TEST(Profile, RefusedWritesChangeNothing)
{
    TempDir dir;
    const std::string f = dir.write("r.ini", "[S]\nk=1\n");
    // Line breaks or '=' in names would write lines that read back as other keys or sections.
    EXPECT_FALSE(WritePrivateProfileStringW("S", "k", "1\n[Evil]\nk=2", f.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringW("S", "a=b", "1", f.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringW("S", ";k", "1", f.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringW("S\r\n[T]", "k", "1", f.c_str()));
    EXPECT_EQ(dir.read("r.ini"), "[S]\nk=1\n");

    EXPECT_FALSE(WritePrivateProfileStringW("S", "k", "1", dir.file("no/such/folder/r.ini").c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
    std::filesystem::create_directory(dir.file("sub.ini"));
    EXPECT_FALSE(WritePrivateProfileStringW("S", "k", "1", dir.file("sub.ini").c_str()));

    if (geteuid() != 0) {  // root writes anywhere
        std::filesystem::create_directory(dir.file("ro"));
        const std::string ro = dir.write("ro/c.ini", "[S]\nk=1\n");
        chmod(dir.file("ro").c_str(), 0555);
        EXPECT_FALSE(WritePrivateProfileStringW("S", "k", "2", ro.c_str()));
        EXPECT_EQ(Get(ro, "S", "k"), "1");
        chmod(dir.file("ro").c_str(), 0755);
    }
}

TEST(Profile, CacheServesRepeatedReadsAndNoticesChanges)
{
    TempDir dir;
    const std::string f = dir.write("c.ini", "[S]\nk=aaaa\n");
    EXPECT_EQ(Get(f, "S", "k"), "aaaa");
    const auto reads = ProfileContentReads();
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(GetInt(f, "S", "missing", 7), 7);
        EXPECT_EQ(Get(f, "s", "K"), "aaaa");
    }
    EXPECT_EQ(ProfileContentReads(), reads);

    // Rewritten behind our back with the same size (in place, same inode).
    { std::ofstream(f, std::ios::binary | std::ios::in) << "[S]\nk=bbbb\n"; }
    BumpMtime(f, 10);
    EXPECT_EQ(Get(f, "S", "k"), "bbbb");
    EXPECT_EQ(ProfileContentReads(), reads + 1);

    // Our own write is seen at once.
    ASSERT_TRUE(WritePrivateProfileStringW("S", "k", "cccc", f.c_str()));
    EXPECT_EQ(Get(f, "S", "k"), "cccc");
    std::filesystem::remove(f);
    EXPECT_EQ(Get(f, "S", "k"), "<default>");
}

TEST(Profile, ConcurrentReadersNeverSeeATornFile)
{
    TempDir dir;
    const std::string f = dir.file("t.ini");
    // Two complete versions of different sizes; every key of one version carries the same value.
    const std::string a(3000, 'a'), b(1200, 'b');
    ASSERT_TRUE(WritePrivateProfileStringW("S", "k0", a.c_str(), f.c_str()));
    for (int i = 1; i < 20; ++i)
        ASSERT_TRUE(WritePrivateProfileStringW("S", ("k" + std::to_string(i)).c_str(), "fixed", f.c_str()));
    const std::string file_a = dir.read("t.ini");
    std::string file_b = file_a;
    file_b.replace(file_b.find(a), a.size(), b);

    std::atomic<bool> stop{false};
    std::atomic<int> bad{0}, seen_a{0}, seen_b{0};
    auto reader = [&] {
        while (!stop) {
            const std::string v = Get(f, "S", "k0");
            if (v == a)
                ++seen_a;
            else if (v == b)
                ++seen_b;
            else
                ++bad;
            if (GetPrivateProfileKeys("S", f.c_str()).size() != 20)
                ++bad;
            // What another process reading the bytes sees.
            const std::string raw = dir.read("t.ini");
            if (raw != file_a && raw != file_b)
                ++bad;
        }
    };
    std::thread r1(reader), r2(reader);
    int failed_write = -1;  // the readers must be stopped and joined before a failure is reported
    for (int i = 0; i < 200 && failed_write < 0; ++i)
        if (!WritePrivateProfileStringW("S", "k0", (i % 2 ? a : b).c_str(), f.c_str()))
            failed_write = i;
    stop = true;
    r1.join();
    r2.join();
    ASSERT_EQ(failed_write, -1) << "write " << failed_write << " failed";
    EXPECT_EQ(bad, 0);
    EXPECT_GT(seen_a + seen_b, 0);
}
