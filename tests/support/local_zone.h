#pragma once
// A time zone of the test's choosing as the process's local one, put back afterwards.

#include <cstdlib>
#include <ctime>
#include <string>

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
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;
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
