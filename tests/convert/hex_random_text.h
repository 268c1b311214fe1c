// Random texts for comparing parsers: short ones in the loose grammar with
// faults sprinkled in, and long ones that also hold the blocks the vector
// kernels decode whole, mixed with everything the grammar allows and forbids.
#pragma once

#include <cstdint>
#include <random>
#include <string>

inline std::string RandomText(std::mt19937& rng)
{
    static const char kDigits[] = "0123456789abcdefABCDEF";
    static const char kSeparators[] = " \r\n-";
    std::string text;
    const int tokens = static_cast<int>(rng() % 64);
    for (int t = 0; t < tokens; ++t) {
        const auto roll = rng() % 100;
        if (roll < 55) {
            text += kDigits[rng() % 22];
            text += kDigits[rng() % 22];
        } else if (roll < 80) {
            text += kSeparators[rng() % 4];
        } else if (roll < 88) {
            text += ';';
            for (auto k = rng() % 12; k > 0; --k) {
                const char ch = static_cast<char>(rng() % 256);
                if (ch != '\0') text += ch;
            }
            if (rng() % 4 != 0) text += '\n';
        } else if (roll < 93) {
            text += kDigits[rng() % 22];  // a lone digit
        } else if (roll < 96) {
            text += '\t';
        } else if (roll < 98) {
            text += static_cast<char>(rng() % 256);
        } else {
            text += '\0';
        }
    }
    return text;
}

inline char RandomDigit(std::mt19937& rng)
{
    static const char kDigits[] = "0123456789abcdefABCDEF";
    return kDigits[rng() % 22];
}

inline char RandomSeparator(std::mt19937& rng)
{
    static const char kSeparators[] = " \r\n-";
    return kSeparators[rng() % 4];
}

// Up to about maxChars characters: formatter lines, pairs each followed by a
// separator, plain runs of pairs and separator runs, with now and then a
// comment, a short run of loose tokens, and a few characters overwritten by
// any code at all (the zero byte included).
inline std::string RandomLongText(std::mt19937& rng, size_t maxChars)
{
    std::string text;
    const size_t target = rng() % (maxChars + 1);
    while (text.size() < target) {
        const auto roll = rng() % 100;
        if (roll < 35) {  // a formatter line, in either case
            for (int pair = 0; pair < 16; ++pair) {
                text += RandomDigit(rng);
                text += RandomDigit(rng);
                text += pair == 7 ? " - " : pair == 15 ? "\r\n" : " ";
            }
        } else if (roll < 50) {  // pairs each followed by one separator
            for (auto k = 1 + rng() % 40; k > 0; --k) {
                text += RandomDigit(rng);
                text += RandomDigit(rng);
                text += RandomSeparator(rng);
            }
        } else if (roll < 65) {  // a plain run, now and then of odd length
            auto k = 2 * (1 + rng() % 50) - (rng() % 8 == 0 ? 1 : 0);
            for (; k > 0; --k) text += RandomDigit(rng);
        } else if (roll < 80) {
            for (auto k = 1 + rng() % 70; k > 0; --k) text += RandomSeparator(rng);
        } else if (roll < 96) {
            text += ';';
            for (auto k = rng() % 80; k > 0; --k) {
                const char ch = static_cast<char>(rng() % 256);
                if (ch != '\0' && ch != '\n') text += ch;
            }
            text += '\n';
        } else if (roll < 99) {
            std::string loose = RandomText(rng);
            for (char& ch : loose) {
                if (ch == '\0' || ch == '\t' || static_cast<unsigned char>(ch) >= 0x80) ch = ' ';  // rare faults only below
            }
            text += loose;
        } else {
            text += RandomDigit(rng);  // a lone digit
            text += RandomSeparator(rng);
        }
    }
    if (!text.empty() && rng() % 3 == 0) {
        for (auto k = 1 + rng() % 3; k > 0; --k) text[rng() % text.size()] = static_cast<char>(rng() % 256);
    }
    return text;
}
