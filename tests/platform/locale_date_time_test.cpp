#include "platform/locale/locale_date_time.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <string>

namespace {

SYSTEMTIME At(int year, int month, int day, int hour, int minute, int second, int ms) {
    SYSTEMTIME t;
    t.wYear = WORD(year);
    t.wMonth = WORD(month);
    t.wDay = WORD(day);
    t.wHour = WORD(hour);
    t.wMinute = WORD(minute);
    t.wSecond = WORD(second);
    t.wMilliseconds = WORD(ms);
    return t;
}

// 5 December 2026, 14:05:09.600
const SYSTEMTIME kMoment = At(2026, 12, 5, 14, 5, 9, 600);

LocaleSettings European() {
    LocaleSettings s;
    s.dateOrder = 1;
    s.dateSeparator = ".";
    s.shortDate = "dd.MM.yyyy";
    s.clock = 1;
    s.hourLeadingZero = 1;
    return s;
}

}  // namespace

TEST(LocaleDateTime, DatesFollowOrderPictureAndSeparator) {
    LocaleSettings iso;
    iso.dateOrder = 2;
    iso.dateSeparator = "-";
    iso.shortDate = "yyyy-MM-dd";
    LocaleSettings odd;
    odd.dateOrder = 7;
    odd.shortDate = "dd/MM/yyyy";
    LocaleSettings longSeparator;
    longSeparator.dateSeparator = "-/";
    longSeparator.shortDate = "MM/dd/yy";
    LocaleSettings mixedCase;
    mixedCase.shortDate = "D/m/YYY";  // one d, one m, three y: four-digit year
    const struct {
        const char* name;
        LocaleSettings settings;
        SYSTEMTIME time;
        const char* expected;
    } cases[] = {
        {"defaults", LocaleSettings(), kMoment, "12/5/26"},
        {"defaults, two-digit year of 2007", LocaleSettings(), At(2007, 3, 9, 0, 0, 0, 0), "3/9/07"},
        {"day-month-year", European(), kMoment, "05.12.2026"},
        {"year-month-day", iso, At(2026, 1, 2, 0, 0, 0, 0), "2026-01-02"},
        {"order other than 0-2", odd, At(2026, 1, 2, 0, 0, 0, 0), "1/02/26"},
        {"first separator character only", longSeparator, kMoment, "12-05-26"},
        {"letters of either case", mixedCase, kMoment, "12/5/2026"},
    };
    for (const auto& c : cases) {
        LocaleDateTime formatter(c.settings);
        EXPECT_EQ(formatter.Date(c.time), c.expected) << c.name;
    }
}

TEST(LocaleDateTime, TimesRoundToTheNearestSecondOnTheChosenClock) {
    LocaleSettings zeroTwelve;
    zeroTwelve.hourLeadingZero = 1;
    zeroTwelve.morning = "AM";
    zeroTwelve.afternoon = "PM";
    LocaleSettings chinese;
    chinese.morning = "上午";
    chinese.afternoon = "下午";
    const struct {
        const char* name;
        LocaleSettings settings;
        SYSTEMTIME time;
        bool seconds;
        const char* expected;
    } cases[] = {
        {"defaults, seconds rounded up", LocaleSettings(), kMoment, true, " 2:05:10 pm"},
        {"defaults without seconds", LocaleSettings(), kMoment, false, " 2:05 pm"},
        {"24 hours with leading zero", European(), kMoment, true, "14:05:10"},
        {"half past midnight", LocaleSettings(), At(2026, 12, 5, 0, 30, 0, 0), true, "12:30:00 am"},
        {"noon is afternoon", LocaleSettings(), At(2026, 12, 5, 12, 0, 0, 499), true, "12:00:00 pm"},
        {"rounding carries over midnight", LocaleSettings(), At(2026, 12, 4, 23, 59, 59, 700), true, "12:00:00 am"},
        {"rounding carries into the hour", European(), At(2026, 12, 5, 9, 59, 59, 500), true, "10:00:00"},
        {"midnight on 24 hours", European(), At(2026, 12, 4, 23, 59, 59, 999), false, "00:00"},
        {"leading zero on 12 hours", zeroTwelve, At(2026, 1, 1, 7, 8, 9, 0), true, "07:08:09 AM"},
        {"marks of other languages", chinese, At(2026, 1, 1, 19, 8, 9, 0), true, " 7:08:09 下午"},
    };
    for (const auto& c : cases) {
        LocaleDateTime formatter(c.settings);
        EXPECT_EQ(formatter.Time(c.time, c.seconds), c.expected) << c.name;
    }
}

TEST(LocaleDateTime, BufferTooSmallIsFilledWithHashes) {
    LocaleDateTime defaults{LocaleSettings()};
    LocaleDateTime european(European());
    char buffer[32];
    const struct {
        const char* name;
        LocaleDateTime* formatter;
        bool date;
        bool seconds;
        size_t size;
        const char* expected;
    } cases[] = {
        // Date width 8 (two-digit year) or 10; the buffer must be larger than the width.
        {"date, size = width", &defaults, true, false, 8, "#######"},
        {"date, size = width + 1", &defaults, true, false, 9, "12/5/26"},
        {"four-digit date, size = width", &european, true, false, 10, "#########"},
        {"four-digit date fits", &european, true, false, 11, "05.12.2026"},
        // Time width 5, + 1 + longest mark on 12 hours, + 3 with seconds.
        {"12-hour time with seconds, size = 11", &defaults, false, true, 11, "##########"},
        {"12-hour time with seconds fits", &defaults, false, true, 12, " 2:05:10 pm"},
        {"24-hour time, size = 5", &european, false, false, 5, "####"},
        {"24-hour time fits", &european, false, false, 6, "14:05"},
        {"size 1 holds only the terminator", &defaults, true, false, 1, ""},
    };
    for (const auto& c : cases) {
        std::fill(std::begin(buffer), std::end(buffer), 'X');
        if (c.date)
            c.formatter->FormatDate(kMoment, buffer, c.size);
        else
            c.formatter->FormatTime(kMoment, buffer, c.size, c.seconds);
        EXPECT_STREQ(buffer, c.expected) << c.name;
        EXPECT_EQ(buffer[c.size], 'X') << c.name << ": wrote past the buffer";
    }
    // Size 0 writes nothing at all.
    buffer[0] = 'X';
    defaults.FormatDate(kMoment, buffer, 0);
    defaults.FormatTime(kMoment, buffer, 0, true);
    EXPECT_EQ(buffer[0], 'X');
}

TEST(LocaleDateTime, OutOfRangeFieldsNeverOverrunTheBuffer) {
    LocaleDateTime formatter{LocaleSettings()};
    const SYSTEMTIME wild = At(65535, 65535, 65535, 65535, 65535, 65535, 65535);
    char buffer[13];
    buffer[12] = 'X';
    formatter.FormatDate(wild, buffer, 12);
    EXPECT_EQ(buffer[12], 'X');
    formatter.FormatTime(wild, buffer, 12, true);
    EXPECT_EQ(buffer[12], 'X');
    EXPECT_LT(std::string(buffer).size(), 12u);
}

TEST(LocaleSettingsFromLocale, MapsQtPatternsOntoTheFields) {
    const struct {
        QLocale::Language language;
        QLocale::Territory territory;
        int order;
        int clock;
        std::string dateSeparator;
    } cases[] = {
        {QLocale::English, QLocale::UnitedStates, 0, 0, "/"},
        {QLocale::German, QLocale::Germany, 1, 1, "."},
        {QLocale::Chinese, QLocale::China, 2, 1, "/"},
    };
    for (const auto& c : cases) {
        const QLocale locale(c.language, c.territory);
        const LocaleSettings s = LocaleSettings::FromLocale(locale);
        const std::string name = locale.name().toStdString();
        EXPECT_EQ(s.dateOrder, c.order) << name << " " << locale.dateFormat(QLocale::ShortFormat).toStdString();
        EXPECT_EQ(s.clock, c.clock) << name << " " << locale.timeFormat(QLocale::ShortFormat).toStdString();
        EXPECT_EQ(s.dateSeparator, c.dateSeparator) << name;
        EXPECT_EQ(s.timeSeparator, ":") << name;
        EXPECT_EQ(s.morning, locale.amText().toStdString()) << name;
    }
    // The German date of the moment, end to end.
    LocaleDateTime german(LocaleSettings::FromLocale(QLocale(QLocale::German, QLocale::Germany)));
    EXPECT_EQ(german.Date(kMoment), "05.12.26");
    EXPECT_EQ(german.Time(kMoment, true), "14:05:10");
}

TEST(LocaleDateTime, ProcessFormatterLoadsTheSystemLocaleOnFirstUse) {
    // Without Start the process formatter still formats, with the system locale's settings.
    LocaleDateTime expected(LocaleSettings::FromLocale(QLocale::system()));
    EXPECT_EQ(LocaleDateTime::Process().Date(kMoment), expected.Date(kMoment));
    EXPECT_EQ(LocaleDateTime::Process().Time(kMoment, true), expected.Time(kMoment, true));
}
