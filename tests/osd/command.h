#pragma once
// What a shell command printed on its standard output (ffmpeg and ffprobe as oracles).

#include <cstdlib>
#include <ctime>
#include <string>

#include "tests/support/media_probe.h"

inline std::string CommandOutput(const std::string& command) { return mediaprobe::Shell(command); }

// The process's local zone, for as long as the object lives.
class LocalZone {
public:
    explicit LocalZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_)
            saved_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~LocalZone()
    {
        if (had_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string saved_;
};
