// Texts for comparing parsers: what other tools write of the same bytes,
// short random ones in the loose grammar with faults sprinkled in, and long
// ones mixing everything the grammar allows and forbids.
#pragma once

#include "hex_model.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

enum TextForm {
    FORM_LAYOUT,
    FORM_XXD,
    FORM_OD,
    FORM_PYTHON,
    FORM_COMMENTED,
    FORM_HEXDUMP,
    FORM_OD_NARROW,
    FORM_BASE16_CRLF,
    FORM_COUNT
};

inline const char* const TextFormNames[FORM_COUNT] = {
    "formatter layout", "xxd -p",        "od -An -v -tx1",     "bytes.hex(' ')", "commented, with TABs and UTF-8",
    "hexdump, 16 '%02x '", "od -w8", "uppercase base16, CR LF"};

// The text a tool writes of bytes: our own layout; xxd -p (30 bytes a line,
// lowercase, LF); od -An -v -tx1 (16 bytes a line, each after a space);
// Python's bytes.hex(' ') (one line); a text with a ';' comment line
// holding a TAB and UTF-8 before every fourth line of 16 pairs; hexdump's
// 16 pairs a line, each before a space; od's 8 a line; and uppercase
// base16 of 38 bytes a line, ended by CR LF.
inline std::string ToolText(int form, const std::vector<uint8_t>& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    static const char kUpper[] = "0123456789ABCDEF";
    if (form == FORM_LAYOUT) return ModelFormat(bytes);
    const size_t cbLine = form == FORM_XXD ? 30 : form == FORM_OD_NARROW ? 8 : form == FORM_BASE16_CRLF ? 38 : 16;
    const char* digits = form == FORM_BASE16_CRLF ? kUpper : kDigits;
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (form == FORM_COMMENTED && i % 64 == 0) text += "; block\t" + std::to_string(i) + " caf\xC3\xA9 \xE2\x82\xAC\n";
        if (form == FORM_OD || form == FORM_OD_NARROW || (form == FORM_PYTHON && i != 0)) text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
        if (form == FORM_HEXDUMP) text += ' ';
        const bool fLineEnd = i % cbLine == cbLine - 1 || i + 1 == bytes.size();
        if (form == FORM_COMMENTED) text += fLineEnd && i % cbLine == cbLine - 1 ? "\r\n" : " ";
        if (form != FORM_PYTHON && form != FORM_COMMENTED && fLineEnd) text += form == FORM_BASE16_CRLF ? "\r\n" : "\n";
    }
    return text;
}

inline std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n)
{
    std::vector<uint8_t> bytes(n);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
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

inline std::string RandomText(std::mt19937& rng)
{
    std::string text;
    const int tokens = static_cast<int>(rng() % 64);
    for (int t = 0; t < tokens; ++t) {
        const auto roll = rng() % 100;
        if (roll < 55) {
            text += RandomDigit(rng);
            text += RandomDigit(rng);
        } else if (roll < 80) {
            text += RandomSeparator(rng);
        } else if (roll < 88) {
            text += ';';
            for (auto k = rng() % 12; k > 0; --k) {
                const char ch = static_cast<char>(rng() % 256);
                if (ch != '\0') text += ch;
            }
            if (rng() % 4 != 0) text += '\n';
        } else if (roll < 93) {
            text += RandomDigit(rng);  // a lone digit
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

// Up to about maxChars characters: pieces of tools' texts, plain runs of
// pairs and separator runs, with now and then a comment, a short run of
// loose tokens, and a few characters overwritten by any code at all (the
// zero byte included).
inline std::string RandomLongText(std::mt19937& rng, size_t maxChars)
{
    std::string text;
    const size_t target = rng() % (maxChars + 1);
    while (text.size() < target) {
        const auto roll = rng() % 100;
        if (roll < 50) {  // a piece of a tool's text
            const int form = static_cast<int>(rng() % FORM_COUNT);
            text += ToolText(form, RandomBytes(rng, 1 + rng() % 40));
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
