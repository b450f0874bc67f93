// A printf format checked against the types of its arguments at compile time. The event
// messages of the string table are printf formats; EventMessage<Args...> accepts a StringId
// only when its text takes exactly those arguments, so a "%s" given an int (which would crash
// the thread that reports it) stops the build instead.
#pragma once

#include "platform/strings/string_ids.h"

#include <cstddef>
#include <type_traits>

namespace printf_check {

// What a conversion reads from the variable arguments, after the default promotions.
enum class Arg : unsigned char { kInt, kLong, kLongLong, kDouble, kString, kPointer, kOther };

template <class T>
consteval Arg KindOf() {
    using U = std::remove_cv_t<T>;
    if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>)
        return Arg::kString;
    else if constexpr (std::is_pointer_v<U>)
        return Arg::kPointer;
    else if constexpr (std::is_same_v<U, double> || std::is_same_v<U, float>)
        return Arg::kDouble;
    else if constexpr (std::is_integral_v<U> && sizeof(U) <= sizeof(int))
        return Arg::kInt;
    else if constexpr (std::is_same_v<U, long> || std::is_same_v<U, unsigned long>)
        return Arg::kLong;
    else if constexpr (std::is_same_v<U, long long> || std::is_same_v<U, unsigned long long>)
        return Arg::kLongLong;
    else
        return Arg::kOther;
}

// True when the conversions of `format` read exactly `args`, in order.
consteval bool Matches(const char* format, const Arg* args, std::size_t count) {
    std::size_t next = 0;
    const auto take = [&](Arg expected) { return next < count && args[next++] == expected; };
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        if (*++p == '%') continue;
        while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') ++p;
        if (*p == '*') {
            if (!take(Arg::kInt)) return false;
            ++p;
        }
        while (isDigit(*p)) ++p;
        if (*p == '.') {
            if (*++p == '*') {
                if (!take(Arg::kInt)) return false;
                ++p;
            }
            while (isDigit(*p)) ++p;
        }
        int longs = 0;
        for (; *p == 'l'; ++p) ++longs;
        while (*p == 'h') ++p;
        Arg expected = Arg::kOther;
        switch (*p) {
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
        case 'o':
        case 'c': expected = longs == 0 ? Arg::kInt : longs == 1 ? Arg::kLong : Arg::kLongLong; break;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A': expected = Arg::kDouble; break;
        case 's': expected = Arg::kString; break;
        case 'p': expected = Arg::kPointer; break;
        default: return false;  // a conversion this check does not know, or a cut-off '%'
        }
        if (!take(expected)) return false;
    }
    return next == count;
}

// Never defined: reached in a constant evaluation it stops the build, naming the fault.
void FormatDoesNotMatchItsArguments();

}  // namespace printf_check

// A string-table message whose format reads arguments of types Args.
template <class... Args>
struct EventMessage {
    unsigned id;

    consteval EventMessage(const StringId& message) : id(message.id) {
        constexpr printf_check::Arg kinds[] = {printf_check::KindOf<Args>()..., printf_check::Arg::kOther};
        if (!printf_check::Matches(message.text, kinds, sizeof...(Args)))
            printf_check::FormatDoesNotMatchItsArguments();
    }
};
