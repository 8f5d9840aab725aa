#include "tests/support/media_probe.h"

#include <array>
#include <cstdio>
#include <sstream>

#include <sys/wait.h>

namespace mediaprobe {

std::string Shell(const std::string& command, int* status)
{
    std::string out;
    if (status != nullptr)
        *status = -1;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        std::array<char, 4096> buf;
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
            out.append(buf.data(), n);
        const int st = pclose(p);
        if (status != nullptr)
            *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            out.push_back(line);
    }
    return out;
}

std::string Field(const std::string& probe, const std::string& key)
{
    for (const std::string& line : Lines(probe))
        if (line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    return {};
}

std::vector<std::string> Pictures(const std::string& path, int width, int height)
{
    // As decoded: a constant output rate would repeat a picture where time stamps leave a gap
    // (a clip of reordered frames starts one frame late).
    const std::string raw =
        Shell("ffmpeg -v error -i '" + path + "' -map 0:v -fps_mode passthrough -f rawvideo -pix_fmt yuv420p -");
    const std::size_t frame = static_cast<std::size_t>(width * height * 3 / 2);
    std::vector<std::string> out;
    for (std::size_t at = 0; at + frame <= raw.size(); at += frame)
        out.push_back(raw.substr(at, frame));
    return out;
}

std::vector<bool> KeyFlags(const std::string& path)
{
    std::vector<bool> keys;
    for (const std::string& line : Lines(Shell("ffprobe -v error -select_streams v:0 -show_entries packet=flags "
                                               "-of csv=p=0 '" + path + "'")))
        keys.push_back(line.find('K') != std::string::npos);
    return keys;
}

}  // namespace mediaprobe
