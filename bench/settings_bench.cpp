// Settings and translation lookups against a plain in-memory map of the same keys, in the same
// run. The program reads Config.ini and the language file at every use, so the profile cache must
// keep a warm lookup close to a map lookup; a warm lookup must never re-read the file content.
//
// Prints, at the end, the ratio map time / our time for each pair (1.0 = as fast as the map).
// Exits non-zero when a timed loop re-read file content.

#include "app/language.h"
#include "app/settings.h"
#include "platform/base/profile.h"

#include <benchmark/benchmark.h>

#include "ratios.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kConfigKeys = 150;      // in [Config]; with [Default] and comments, 200 lines
constexpr int kLanguageKeys = 2000;

struct Data {
    std::string dir;
    std::string configFile;
    std::vector<std::string> configKeys;
    std::vector<std::string> texts;
    std::unordered_map<std::string, std::string> configMap;
    std::unordered_map<std::string, std::string> languageMap;
    AppSettings settings{std::string()};
    AppSettings writeSettings{std::string()};
};

bool g_reread = false;

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Utf16Le(const std::u16string& text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::u16string Ascii16(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

Data& Fixture()
{
    static Data* data = [] {
        auto* d = new Data;
        std::string pattern = (std::filesystem::temp_directory_path() / "qv-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::exit(2);
        }
        d->dir = pattern;

        std::string config = "; player options\n[Config]\nLanguage File=zh_CN\n";
        for (int i = 0; i < kConfigKeys; ++i) {
            const std::string key = "Option_" + std::to_string(i);
            const std::string value = std::to_string(i * 7 - 300);
            config += key + "=" + value + "\n";
            d->configKeys.push_back(key);
            d->configMap.emplace(key, value);
        }
        config += "[Default]\n";
        for (int i = 0; i < 200 - 5 - kConfigKeys; ++i)
            config += "Default_" + std::to_string(i) + "=" + std::to_string(i) + "\n";
        config += "; end\n";
        WriteFile(d->dir + "/Config.ini", config);
        d->configFile = d->dir + "/Config.ini";

        std::u16string language = u"[Language String]\r\n";
        for (int i = 0; i < kLanguageKeys; ++i) {
            const std::string text = "Recording list entry " + std::to_string(i);
            const std::u16string translation = u"录像列表项 " + Ascii16(std::to_string(i));
            language += Ascii16(text) + u"=" + translation + u"\r\n";
            d->texts.push_back(text);
            // The map holds the same translation as UTF-8, which is what Translate returns.
            d->languageMap.emplace(text, "录像列表项 " + std::to_string(i));
        }
        WriteFile(d->dir + "/Language/zh_CN.ini", Utf16Le(language));

        d->settings = AppSettings(d->dir);
        d->settings.LoadLanguageList();
        if (d->settings.m_nActiveLanguage != kLanguageChinese
            || d->settings.Translate(d->texts[5]) != d->languageMap[d->texts[5]]) {
            std::fprintf(stderr, "settings_bench: the language file was not picked up\n");
            std::exit(2);
        }
        std::filesystem::create_directories(d->dir + "/write");
        d->writeSettings = AppSettings(d->dir + "/write");
        return d;
    }();
    return *data;
}

// Fails the benchmark (and the program) when the timed loop read file content again.
class ContentReadCheck {
public:
    explicit ContentReadCheck(benchmark::State& state) : state_(state), before_(ProfileContentReads()) {}
    ~ContentReadCheck()
    {
        const auto reads = ProfileContentReads() - before_;
        state_.counters["content_reads"] = static_cast<double>(reads);
        if (reads != 0) {
            g_reread = true;
            state_.SkipWithError("a cached lookup re-read the file content");
        }
    }

private:
    benchmark::State& state_;
    std::uint64_t before_;
};

void BM_GetPrivateProfileString(benchmark::State& state)
{
    Data& d = Fixture();
    GetPrivateProfileString("Config", d.configKeys[0].c_str(), "", d.configFile.c_str());  // warm
    std::size_t i = 0;
    ContentReadCheck check(state);
    for (auto _ : state) {
        const std::string& key = d.configKeys[i++ % d.configKeys.size()];
        std::string value = GetPrivateProfileString("Config", key.c_str(), "", d.configFile.c_str());
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_GetPrivateProfileString);

void BM_ConfigMap(benchmark::State& state)
{
    Data& d = Fixture();
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& key = d.configKeys[i++ % d.configKeys.size()];
        auto it = d.configMap.find(key);
        std::string value = it == d.configMap.end() ? std::string() : it->second;
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_ConfigMap);

void BM_GetInt(benchmark::State& state)
{
    Data& d = Fixture();
    d.settings.GetInt(d.configKeys[0].c_str(), 0);  // warm
    std::size_t i = 0;
    ContentReadCheck check(state);
    for (auto _ : state) {
        const std::string& key = d.configKeys[i++ % d.configKeys.size()];
        benchmark::DoNotOptimize(d.settings.GetInt(key.c_str(), 0));
    }
}
BENCHMARK(BM_GetInt);

void BM_Translate(benchmark::State& state)
{
    Data& d = Fixture();
    d.settings.Translate(d.texts[0]);  // warm
    std::size_t i = 0;
    ContentReadCheck check(state);
    for (auto _ : state) {
        std::string text = d.settings.Translate(d.texts[i++ % d.texts.size()]);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_Translate);

void BM_LanguageMap(benchmark::State& state)
{
    Data& d = Fixture();
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& key = d.texts[i++ % d.texts.size()];
        auto it = d.languageMap.find(key);
        std::string text = it == d.languageMap.end() ? key : it->second;
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_LanguageMap);

// A write followed by a read: the read must see the new value (the cache notices own writes).
void BM_WriteThenRead(benchmark::State& state)
{
    Data& d = Fixture();
    std::int32_t n = 0;
    for (auto _ : state) {
        d.writeSettings.WriteInt("UIMode", ++n);
        if (d.writeSettings.GetInt("UIMode", -1) != n) {
            state.SkipWithError("a read after a write returned the old value");
            g_reread = true;
            break;
        }
    }
}
BENCHMARK(BM_WriteThenRead);

// Keeps the console output and notes each benchmark's real time per iteration.
}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    PrintRatio(reporter, "BM_ConfigMap", "BM_GetPrivateProfileString");
    PrintRatio(reporter, "BM_ConfigMap", "BM_GetInt");
    PrintRatio(reporter, "BM_LanguageMap", "BM_Translate");

    std::error_code ec;
    if (!Fixture().dir.empty())
        std::filesystem::remove_all(Fixture().dir, ec);
    if (g_reread) {
        std::fprintf(stderr, "settings_bench: FAILED: a cached lookup re-read file content or missed a write\n");
        return 1;
    }
    return 0;
}
