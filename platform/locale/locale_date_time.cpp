#include "platform/locale/locale_date_time.h"
#include "platform/strings/utf8.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLocale>
#include <QObject>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Formats come from this file only; the arguments match them.
template <typename... Args>
void Print(char* buffer, size_t size, const char* format, Args... args) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(buffer, size, format, args...);
#pragma GCC diagnostic pop
}

void FillWithHashes(char* buffer, size_t size) {
    if (size == 0) return;
    std::memset(buffer, '#', size - 1);
    buffer[size - 1] = '\0';
}

// At most `limit` bytes of UTF-8 text, never cutting a character in two.
std::string CutUtf8(const std::string& text, size_t limit) { return std::string(Utf8Prefix(text, limit)); }

// A Qt date/time pattern without its quoted literal text.
QString WithoutQuotedText(const QString& pattern) {
    QString out;
    bool quoted = false;
    for (QChar c : pattern) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (!quoted) out += c;
    }
    return out;
}

// The first separator after the field that starts at `from`: a printable ASCII character
// that is neither a letter nor a blank; `fallback` when there is none.
char SeparatorAfter(const QString& pattern, qsizetype from, char fallback) {
    if (from < 0) return fallback;
    qsizetype i = from;
    while (i < pattern.size() && pattern[i] == pattern[from]) ++i;
    for (; i < pattern.size(); ++i) {
        const char16_t c = pattern[i].unicode();
        if (c == u' ') continue;
        if (c > 0x20 && c < 0x7F && !QChar(c).isLetterOrNumber()) return static_cast<char>(c);
        return fallback;
    }
    return fallback;
}

int CountOf(const std::string& picture, char lower) {
    const char upper = static_cast<char>(lower - 'a' + 'A');
    return static_cast<int>(
        std::count_if(picture.begin(), picture.end(), [&](char c) { return c == lower || c == upper; }));
}

// Reloads the process formatter when the application reports a locale change.
class LocaleChangeFilter : public QObject {
public:
    explicit LocaleChangeFilter(std::function<void()> changed) : changed_(std::move(changed)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::LocaleChange && !reloading_) {
            reloading_ = true;
            LocaleDateTime::Process().Reload();
            if (changed_) changed_();
            reloading_ = false;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> changed_;
    bool reloading_ = false;
};

}  // namespace

LocaleSettings LocaleSettings::FromLocale(const QLocale& locale) {
    LocaleSettings s;
    const QString date = WithoutQuotedText(locale.dateFormat(QLocale::ShortFormat));
    const qsizetype day = date.indexOf(QLatin1Char('d'));
    const qsizetype month = date.indexOf(QLatin1Char('M'));
    const qsizetype year = date.indexOf(QLatin1Char('y'));
    if (day >= 0 && month >= 0 && year >= 0) {
        if (year < month && year < day)
            s.dateOrder = 2;
        else if (day < month)
            s.dateOrder = 1;
        else
            s.dateOrder = 0;
        const qsizetype first = std::min({day, month, year});
        s.dateSeparator = std::string(1, SeparatorAfter(date, first, '/'));
        s.shortDate = CutUtf8(date.toStdString(), 15);
    }

    const QString time = WithoutQuotedText(locale.timeFormat(QLocale::ShortFormat));
    const bool hasMarks = time.contains(QLatin1Char('a')) || time.contains(QLatin1Char('A'));
    s.clock = hasMarks ? 0 : 1;
    s.hourLeadingZero = (time.contains(QLatin1String("hh")) || time.contains(QLatin1String("HH"))) ? 1 : 0;
    qsizetype hour = time.indexOf(QLatin1Char('h'));
    if (hour < 0) hour = time.indexOf(QLatin1Char('H'));
    s.timeSeparator = std::string(1, SeparatorAfter(time, hour, ':'));
    s.morning = CutUtf8(locale.amText().toStdString(), 7);
    s.afternoon = CutUtf8(locale.pmText().toStdString(), 7);
    return s;
}

LocaleDateTime& LocaleDateTime::Process() {
    static LocaleDateTime instance;
    return instance;
}

void LocaleDateTime::Start(std::function<void()> changed) {
    {
        std::lock_guard lock(mutex_);
        if (started_) return;
        started_ = true;
    }
    if (QCoreApplication* app = QCoreApplication::instance()) {
        auto* filter = new LocaleChangeFilter(std::move(changed));
        filter->setParent(app);
        app->installEventFilter(filter);
    }
    Reload();
}

void LocaleDateTime::Reload() {
    const LocaleSettings settings = LocaleSettings::FromLocale(QLocale::system());
    std::lock_guard lock(mutex_);
    ApplyLocked(settings);
}

void LocaleDateTime::Apply(const LocaleSettings& settings) {
    std::lock_guard lock(mutex_);
    ApplyLocked(settings);
}

void LocaleDateTime::ApplyLocked(const LocaleSettings& s) {
    order_ = s.dateOrder;
    twelveHour_ = s.clock == 0;
    hourLeadingZero_ = s.hourLeadingZero == 1;
    dateSeparator_ = s.dateSeparator.empty() ? '/' : s.dateSeparator[0];
    timeSeparator_ = s.timeSeparator.empty() ? ':' : s.timeSeparator[0];
    const std::string picture = CutUtf8(s.shortDate, 15);
    dayDigits_ = CountOf(picture, 'd') == 1 ? 1 : 2;
    monthDigits_ = CountOf(picture, 'm') == 1 ? 1 : 2;
    yearDigits_ = CountOf(picture, 'y') == 2 ? 2 : 4;
    morning_ = CutUtf8(s.morning, 7);
    afternoon_ = CutUtf8(s.afternoon, 7);
    dateWidth_ = yearDigits_ == 4 ? 10 : 8;
    timeWidth_ = 5;
    if (twelveHour_) timeWidth_ += 1 + std::max(morning_.size(), afternoon_.size());
    loaded_ = true;
}

void LocaleDateTime::LoadIfNeededLocked() {
    if (!loaded_) ApplyLocked(LocaleSettings::FromLocale(QLocale::system()));
}

void LocaleDateTime::FormatDate(const SYSTEMTIME& time, char* buffer, size_t size) {
    if (size == 0) return;
    std::lock_guard lock(mutex_);
    LoadIfNeededLocked();
    if (size <= dateWidth_) {
        FillWithHashes(buffer, size);
        return;
    }
    const int year = yearDigits_ == 2 ? time.wYear % 100 : time.wYear;
    const int day = time.wDay;
    const int month = time.wMonth;
    const char sep = dateSeparator_;
    switch (order_) {
    case 0:
        Print(buffer, size, "%.*d%c%.*d%c%.*d", monthDigits_, month, sep, dayDigits_, day, sep, yearDigits_, year);
        break;
    case 1:
        Print(buffer, size, "%.*d%c%.*d%c%.*d", dayDigits_, day, sep, monthDigits_, month, sep, yearDigits_, year);
        break;
    case 2:
        Print(buffer, size, "%.*d%c%.*d%c%.*d", yearDigits_, year, sep, monthDigits_, month, sep, dayDigits_, day);
        break;
    default: Print(buffer, size, "%d/%02d/%02d", month, day, time.wYear % 100); break;
    }
}

void LocaleDateTime::FormatTime(const SYSTEMTIME& time, char* buffer, size_t size, bool seconds) {
    if (size == 0) return;
    std::lock_guard lock(mutex_);
    LoadIfNeededLocked();
    if (size <= timeWidth_ + (seconds ? 3 : 0)) {
        FillWithHashes(buffer, size);
        return;
    }
    int hour = time.wHour;
    int minute = time.wMinute;
    int second = time.wSecond;
    // The nearest second; the date is not touched, so 23:59:59.7 shows as midnight.
    if (time.wMilliseconds >= 500 && ++second >= 60) {
        second = 0;
        if (++minute >= 60) {
            minute = 0;
            if (++hour >= 24) hour = 0;
        }
    }
    const bool afternoon = hour >= 12;
    if (twelveHour_) {
        if (hour >= 13) hour -= 12;
        if (hour == 0) hour = 12;
    }
    const char sep = timeSeparator_;
    if (seconds)
        Print(buffer, size, hourLeadingZero_ ? "%02d%c%02d%c%02d" : "%2d%c%02d%c%02d", hour, sep, minute, sep, second);
    else
        Print(buffer, size, hourLeadingZero_ ? "%02d%c%02d" : "%2d%c%02d", hour, sep, minute);
    if (twelveHour_) {
        const size_t used = std::strlen(buffer);
        Print(buffer + used, size - used, " %s", (afternoon ? afternoon_ : morning_).c_str());
    }
}

std::string LocaleDateTime::Date(const SYSTEMTIME& time) {
    char buffer[64];
    FormatDate(time, buffer, sizeof buffer);
    return buffer;
}

std::string LocaleDateTime::Time(const SYSTEMTIME& time, bool seconds) {
    char buffer[64];
    FormatTime(time, buffer, sizeof buffer, seconds);
    return buffer;
}
