// Texts for comparing parsers (and the bench's texts): layouts of pairs,
// named or drawn at random; short random texts in the loose grammar with
// faults sprinkled in; and long ones mixing everything it allows and forbids.
#pragma once

#include "hex_model.h"

#include <algorithm>
#include <random>
#include <span>
#include <string_view>

// Lines of cMinLine to cMaxLine pairs (0: one line), each after szLead and
// before one of szEols, in runs of cMinRun to cMaxRun pairs with one of
// szSeps between them (choices split at '|'; an empty one is none); before
// every fourth, szComment if any. Digits lowercase ('l'), uppercase ('u') or
// either, run by run ('r'). No szSeps: the formatter's own layout.
struct HexLayout {
    const char* szName;
    uint32_t cMinRun, cMaxRun, cMinLine, cMaxLine;
    const char *szSeps, *szEols, *szLead, *szComment;
    char chCase;
};

inline constexpr const char* HEX_LOOSE_SEPS = "| |-|\n|  | -|\r\n";
inline constexpr HexLayout HexLayouts[] = {
    {"formatter layout", 0, 0, 0, 0, nullptr, "", "", nullptr, 'u'},
    {"xxd -p", 30, 30, 30, 30, "", "\n", "", nullptr, 'l'},
    {"xxd -p -c32", 32, 32, 32, 32, "", "\n", "", nullptr, 'l'},  // 64 digits and LF, a unit past 64 characters
    {"od -An -v -tx1", 1, 1, 16, 16, " ", "\n", " ", nullptr, 'l'},
    {"bytes.hex(' ')", 1, 1, 0, 0, " ", "", "", nullptr, 'l'},
    {"bytes.hex()", 1, 1, 0, 0, "", "", "", nullptr, 'l'},  // one line of plain digits
    {"commented, with TABs and UTF-8", 1, 1, 16, 16, " ", "\r\n", "", "; block\twritten by hand, caf\xC3\xA9 \xE2\x82\xAC 100\n", 'l'},
    {"hexdump, 16 '%02x '", 1, 1, 16, 16, " ", " \n", "", nullptr, 'l'},
    {"od -w8", 1, 1, 8, 8, " ", "\n", " ", nullptr, 'l'},
    {"uppercase base16, CR LF", 38, 38, 38, 38, "", "\r\n", "", nullptr, 'u'},
    {"loose", 1, 40, 1, 80, HEX_LOOSE_SEPS, "\n|\r\n", "", nullptr, 'r'},
    {"loose, commented", 1, 40, 1, 80, HEX_LOOSE_SEPS, "\n|\r\n", "", ";\tby hand, caf\xC3\xA9\n", 'r'},
    {"groups of 2", 2, 2, 32, 32, " ", "\n", "", nullptr, 'l'},
    {"groups of 4", 4, 4, 32, 32, " ", "\n", "", nullptr, 'l'},
    {"pairs between three spaces", 1, 1, 8, 8, "   ", "\n", "", nullptr, 'l'},  // eight pairs over 32 characters
    {"a lone digit before each line", 1, 1, 20, 20, " ", "\n", "0 ", nullptr, 'l'},  // lines that repeat an odd run
};

// Groups of 2 to 8 pairs or runs of any length up to 40, on lines of fixed
// or varying length, between separators and line ends of many kinds.
inline HexLayout RandomLayout(std::mt19937& rng)
{
    static const char* const kSeps[] = {"", " ", "-", "\n", "  ", "\r\n", " - ", "| |\r\n", HEX_LOOSE_SEPS, "| "};
    static const char* const kEols[] = {"\n", "\r\n", " \n", "\n\n", "", "\r\n|\n| "};
    const auto k = static_cast<uint32_t>(2 + rng() % 7);
    const bool fGroups = rng() % 2 == 0;
    const auto cLine = static_cast<uint32_t>(fGroups ? k * (1 + rng() % 8) : 1 + rng() % 80);
    return {"drawn at random", fGroups ? k : 1, static_cast<uint32_t>(fGroups ? k : 1 + rng() % 40), cLine,
            static_cast<uint32_t>(cLine + (rng() % 3 == 0 ? rng() % 40 : 0)), kSeps[rng() % std::size(kSeps)],
            kEols[rng() % std::size(kEols)], rng() % 4 == 0 ? " " : "", rng() % 4 == 0 ? "; x\n" : nullptr, "lur"[rng() % 3]};
}

// The text of the bytes in a layout, its choices drawn by rng.
inline std::string LayoutText(const HexLayout& layout, std::span<const uint8_t> bytes, std::mt19937& rng)
{
    if (layout.szSeps == nullptr) return ModelFormat(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    const auto Between = [&](uint32_t lo, uint32_t hi) { return hi > lo ? lo + rng() % (hi - lo + 1) : lo; };
    const auto PickOne = [&](std::string_view choices) {
        const auto cChoices = 1 + static_cast<size_t>(std::count(choices.begin(), choices.end(), '|'));
        size_t at = 0;
        for (auto k = cChoices > 1 ? rng() % cChoices : 0; k > 0; --k) at = choices.find('|', at) + 1;
        return choices.substr(at, choices.find('|', at) - at);
    };
    std::string text;
    text.reserve(4 * bytes.size());
    for (size_t i = 0, line = 0; i < bytes.size(); ++line) {
        if (layout.szComment != nullptr && line % 4 == 0) text += layout.szComment;
        text += layout.szLead;
        const size_t end = layout.cMaxLine == 0 ? bytes.size() : std::min(bytes.size(), i + Between(layout.cMinLine, layout.cMaxLine));
        for (bool fFirst = true; i < end; fFirst = false) {
            if (!fFirst) text += PickOne(layout.szSeps);
            const char* digits = layout.chCase == 'u' || (layout.chCase == 'r' && rng() % 2 != 0) ? "0123456789ABCDEF" : "0123456789abcdef";
            for (const size_t run = std::min(end, i + Between(layout.cMinRun, layout.cMaxRun)); i < run; ++i) {
                text.append({digits[bytes[i] >> 4], digits[bytes[i] & 15]});
            }
        }
        text += PickOne(layout.szEols);
    }
    return text;
}

inline std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n)
{
    std::vector<uint8_t> bytes(n);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

inline char RandomDigit(std::mt19937& rng) { return "0123456789abcdefABCDEF"[rng() % 22]; }
inline char RandomSeparator(std::mt19937& rng) { return " \r\n-"[rng() % 4]; }

// Up to n characters of any code but the zero byte and chNot.
inline std::string RandomCodes(std::mt19937& rng, size_t n, char chNot = '\0')
{
    std::string codes;
    for (; n > 0; --n) {
        if (const char ch = static_cast<char>(rng() % 256); ch != '\0' && ch != chNot) codes += ch;
    }
    return codes;
}

inline std::string RandomText(std::mt19937& rng)
{
    std::string text;
    for (auto tokens = rng() % 64; tokens > 0; --tokens) {
        const auto roll = rng() % 100;
        if (roll < 55) {
            text += {RandomDigit(rng), RandomDigit(rng)};
        } else if (roll < 80) {
            text += RandomSeparator(rng);
        } else if (roll < 88) {
            text += ';' + RandomCodes(rng, rng() % 12);
            if (rng() % 4 != 0) text += '\n';
        } else {  // a lone digit, a TAB, any code, the zero byte
            text += roll < 93 ? RandomDigit(rng) : roll < 96 ? '\t' : roll < 98 ? static_cast<char>(rng() % 256) : '\0';
        }
    }
    return text;
}

// Up to about maxChars characters: pieces of texts in named layouts and in
// layouts drawn at random, plain runs of pairs (now and then of odd length),
// separator runs, comments (now and then running on into what follows), and
// a few characters overwritten by any code at all (the zero byte included).
inline std::string RandomLongText(std::mt19937& rng, size_t maxChars)
{
    std::string text;
    const size_t target = rng() % (maxChars + 1);
    while (text.size() < target) {
        const auto roll = rng() % 100;
        if (roll < 50) {
            const HexLayout layout = roll < 25 ? HexLayouts[rng() % std::size(HexLayouts)] : RandomLayout(rng);
            text += LayoutText(layout, RandomBytes(rng, 1 + rng() % 80), rng);
        } else if (roll < 65) {
            for (auto k = 2 * (1 + rng() % 50) - (rng() % 8 == 0 ? 1 : 0); k > 0; --k) text += RandomDigit(rng);
        } else if (roll < 80) {
            for (auto k = 1 + rng() % 70; k > 0; --k) text += RandomSeparator(rng);
        } else {
            text += ';' + RandomCodes(rng, rng() % 80, '\n');
            if (rng() % 8 != 0) text += '\n';
        }
    }
    if (!text.empty() && rng() % 3 == 0) {
        for (auto k = 1 + rng() % 3; k > 0; --k) text[rng() % text.size()] = static_cast<char>(rng() % 256);
    }
    return text;
}
