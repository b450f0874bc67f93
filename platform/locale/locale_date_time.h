// Dates and times as the event log and the item texts show them, following the user's
// regional settings: date order, separators, 12- or 24-hour clock, hour leading zero and the
// morning/afternoon marks. The settings come from the process locale and are reloaded when
// the locale changes. Formatting may run on any thread.
#pragma once

#include "platform/time/systemtime.h"

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>

class QLocale;

// The regional settings the formatter uses, named after the classic "intl" keys.
struct LocaleSettings {
    int dateOrder = 0;                 // iDate: 0 month-day-year, 1 day-month-year, 2 year-month-day
    int clock = 0;                     // iTime: 0 twelve-hour, 1 twenty-four-hour
    int hourLeadingZero = 0;           // iTLZero: 1 hours always two digits
    std::string dateSeparator = "/";   // sDate: first character used
    std::string timeSeparator = ":";   // sTime: first character used
    std::string shortDate = "M/d/yy";  // sShortDate: only the counts of d, M and y matter
    std::string morning = "am";        // s1159
    std::string afternoon = "pm";      // s2359

    // The settings of a Qt locale, mapped onto the fields above.
    static LocaleSettings FromLocale(const QLocale& locale);
};

class LocaleDateTime {
public:
    LocaleDateTime() = default;
    explicit LocaleDateTime(const LocaleSettings& settings) { Apply(settings); }

    // The one formatter of the process.
    static LocaleDateTime& Process();

    // Once per process at start-up: loads the settings from the system locale and reloads
    // them whenever the application reports a locale change; `changed` then runs on the
    // main thread (the main window repaints).
    void Start(std::function<void()> changed = {});
    // Reads the system locale again.
    void Reload();
    // Uses `settings` (tests, or a caller with settings of its own).
    void Apply(const LocaleSettings& settings);

    // Writes the date or time of `time` into `buffer` (always terminated when size > 0). When
    // the text would not fit, the buffer is filled with '#'.
    void FormatDate(const SYSTEMTIME& time, char* buffer, size_t size);
    void FormatTime(const SYSTEMTIME& time, char* buffer, size_t size, bool seconds);

    std::string Date(const SYSTEMTIME& time);
    std::string Time(const SYSTEMTIME& time, bool seconds);

private:
    void ApplyLocked(const LocaleSettings& settings);
    void LoadIfNeededLocked();

    std::mutex mutex_;
    bool loaded_ = false;
    bool started_ = false;
    int order_ = 0;
    bool twelveHour_ = true;
    bool hourLeadingZero_ = false;
    char dateSeparator_ = '/';
    char timeSeparator_ = ':';
    int dayDigits_ = 1;
    int monthDigits_ = 1;
    int yearDigits_ = 2;
    std::string morning_ = "am";
    std::string afternoon_ = "pm";
    size_t dateWidth_ = 8;
    size_t timeWidth_ = 8;
};
