#include "simserver/match_pattern.h"

#include <vector>

namespace simserver {

namespace {

struct Token {
    enum Kind { Literal, AnyChar, Digit, Set, Star } kind = Literal;
    char16_t c = 0;
    bool negate = false;
    std::vector<std::pair<char16_t, char16_t>> ranges;

    bool Matches(char16_t ch) const {
        switch (kind) {
        case Literal: return ch == c;
        case AnyChar: return true;
        case Digit: return ch >= u'0' && ch <= u'9';
        case Set: {
            bool in = false;
            for (const auto& [lo, hi] : ranges) in = in || (ch >= lo && ch <= hi);
            return in != negate;
        }
        case Star: return false;
        }
        return false;
    }
};

// Parses "[...]" starting after the '['; returns the index after ']' or npos.
std::size_t ParseSet(std::u16string_view p, std::size_t i, Token& token) {
    token.kind = Token::Set;
    if (i < p.size() && p[i] == u'!') {
        token.negate = true;
        ++i;
    }
    while (i < p.size() && p[i] != u']') {
        const char16_t lo = p[i];
        // "x-y" is a range unless the '-' is the list's last character.
        const bool isRange = i + 2 < p.size() && p[i + 1] == u'-' && p[i + 2] != u']';
        if (isRange) {
            const char16_t hi = p[i + 2];
            if (hi < lo) return std::u16string_view::npos;
            token.ranges.emplace_back(lo, hi);
            i += 3;
        } else {
            token.ranges.emplace_back(lo, lo);
            ++i;
        }
    }
    if (i >= p.size()) return std::u16string_view::npos;
    return i + 1;
}

std::optional<std::vector<Token>> Compile(std::u16string_view p) {
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < p.size();) {
        Token t;
        switch (p[i]) {
        case u'?':
            t.kind = Token::AnyChar;
            ++i;
            break;
        case u'#':
            t.kind = Token::Digit;
            ++i;
            break;
        case u'*':
            t.kind = Token::Star;
            ++i;
            if (!tokens.empty() && tokens.back().kind == Token::Star) continue;
            break;
        case u'[':
            i = ParseSet(p, i + 1, t);
            if (i == std::u16string_view::npos) return std::nullopt;
            break;
        default: t.c = p[i++]; break;
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

}  // namespace

std::optional<bool> MatchPattern(std::u16string_view text, std::u16string_view pattern) {
    const auto tokens = Compile(pattern);
    if (!tokens) return std::nullopt;
    // Greedy matching with backtracking to the last '*': every other token matches exactly
    // one character, so one backtrack point is enough.
    std::size_t t = 0, k = 0;
    std::size_t starToken = std::u16string_view::npos, starText = 0;
    while (t < text.size()) {
        if (k < tokens->size() && (*tokens)[k].kind == Token::Star) {
            starToken = k++;
            starText = t;
        } else if (k < tokens->size() && (*tokens)[k].Matches(text[t])) {
            ++k;
            ++t;
        } else if (starToken != std::u16string_view::npos) {
            k = starToken + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (k < tokens->size() && (*tokens)[k].kind == Token::Star) ++k;
    return k == tokens->size();
}

}  // namespace simserver
