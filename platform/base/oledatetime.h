#pragma once
// COleDateTime and COleDateTimeSpan: a local calendar date with a time of day, and a span of
// days, as far as callers use them. Dates run from the year 100 to 9999; a date built from
// fields that name no day (30 February) is invalid and compares as such.

#include <chrono>
#include <cstdint>
#include <ctime>

class COleDateTimeSpan {
public:
    COleDateTimeSpan() = default;
    COleDateTimeSpan(long days, int hours = 0, int minutes = 0, int seconds = 0)
        : m_seconds(static_cast<std::int64_t>(days) * 86400 + hours * 3600LL + minutes * 60LL + seconds)
    {
    }
    long GetDays() const { return static_cast<long>(m_seconds / 86400); }
    std::int64_t TotalSeconds() const { return m_seconds; }
    static COleDateTimeSpan FromSeconds(std::int64_t seconds)
    {
        COleDateTimeSpan span;
        span.m_seconds = seconds;
        return span;
    }
    bool operator==(const COleDateTimeSpan&) const = default;

private:
    std::int64_t m_seconds = 0;
};

class COleDateTime {
public:
    enum DateTimeStatus { valid = 0, invalid = 1, null = 2 };

    // The zero of the OLE date scale: 30 December 1899, midnight.
    COleDateTime() { SetDateTime(1899, 12, 30, 0, 0, 0); }
    COleDateTime(int year, int month, int day, int hour, int minute, int second)
    {
        SetDateTime(year, month, day, hour, minute, second);
    }

    // The local date and time now.
    static COleDateTime GetCurrentTime()
    {
        std::time_t t = std::time(nullptr);
        std::tm tm{};
        localtime_r(&t, &tm);
        return COleDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    }

    // 0 when the fields name a valid date and time; otherwise 1 and the value becomes invalid.
    int SetDateTime(int year, int month, int day, int hour, int minute, int second)
    {
        using namespace std::chrono;
        const year_month_day ymd{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                 std::chrono::day(static_cast<unsigned>(day))};
        if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || !ymd.ok() || hour < 0 || hour > 23 ||
            minute < 0 || minute > 59 || second < 0 || second > 59) {
            m_status = invalid;
            return 1;
        }
        m_seconds = static_cast<std::int64_t>(sys_days(ymd).time_since_epoch().count()) * 86400 + hour * 3600LL +
                    minute * 60LL + second;
        m_status = valid;
        return 0;
    }
    int SetDate(int year, int month, int day) { return SetDateTime(year, month, day, 0, 0, 0); }

    DateTimeStatus GetStatus() const { return m_status; }
    int GetYear() const { return static_cast<int>(Ymd().year()); }
    int GetMonth() const { return static_cast<int>(static_cast<unsigned>(Ymd().month())); }
    int GetDay() const { return static_cast<int>(static_cast<unsigned>(Ymd().day())); }
    int GetHour() const { return static_cast<int>(SecondOfDay() / 3600); }
    int GetMinute() const { return static_cast<int>(SecondOfDay() / 60 % 60); }
    int GetSecond() const { return static_cast<int>(SecondOfDay() % 60); }
    // 1 = Sunday … 7 = Saturday.
    int GetDayOfWeek() const
    {
        return static_cast<int>(std::chrono::weekday(std::chrono::sys_days(std::chrono::days(DayNumber()))).c_encoding()) + 1;
    }

    COleDateTime operator+(const COleDateTimeSpan& span) const { return FromSeconds(m_seconds + span.TotalSeconds()); }
    COleDateTime operator-(const COleDateTimeSpan& span) const { return FromSeconds(m_seconds - span.TotalSeconds()); }
    COleDateTimeSpan operator-(const COleDateTime& other) const
    {
        return COleDateTimeSpan::FromSeconds(m_seconds - other.m_seconds);
    }
    bool operator==(const COleDateTime& o) const { return m_status == o.m_status && (m_status != valid || m_seconds == o.m_seconds); }
    bool operator!=(const COleDateTime& o) const { return !(*this == o); }
    bool operator<(const COleDateTime& o) const { return m_seconds < o.m_seconds; }

private:
    static COleDateTime FromSeconds(std::int64_t s)
    {
        COleDateTime t;
        t.m_seconds = s;
        t.m_status = valid;
        return t;
    }
    std::int64_t DayNumber() const { return m_seconds >= 0 ? m_seconds / 86400 : -((-m_seconds + 86399) / 86400); }
    std::int64_t SecondOfDay() const { return m_seconds - DayNumber() * 86400; }
    std::chrono::year_month_day Ymd() const
    {
        return std::chrono::year_month_day(std::chrono::sys_days(std::chrono::days(DayNumber())));
    }

    std::int64_t m_seconds = 0;  // since 1 January 1970, midnight, of the local calendar
    DateTimeStatus m_status = valid;
};
