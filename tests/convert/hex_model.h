// Deliberately plain models of the two conversions, written from the rules
// alone (no tables, no pointer tricks), for tests and fuzzers to compare with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ModelParse {
    std::vector<uint8_t> bytes;
    int status;  // 0 ok, 1 bad character, 2 unpaired digit
};

inline std::string ModelFormat(const std::vector<uint8_t>& bytes)
{
    static const char* const kDigits = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        text += {kDigits[bytes[i] / 16], kDigits[bytes[i] % 16]};
        const size_t column = i % 16;
        const bool last = i + 1 == bytes.size();
        text += column == 7 ? (last ? " -" : " - ") : column == 15 ? (last ? "\r" : "\r\n") : (last ? "" : " ");
    }
    return text;
}

inline int ModelDigit(unsigned char ch)
{
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// text is the characters before the terminator; the model reads it as if a
// zero byte followed, so an embedded zero ends it just as in the real text.
inline ModelParse ModelParseText(const std::string& text)
{
    ModelParse result{{}, 0};
    size_t i = 0;
    auto at = [&](size_t k) -> unsigned char {
        return k < text.size() ? static_cast<unsigned char>(text[k]) : 0;
    };
    while (true) {
        const unsigned char c = at(i);
        if (c == 0) return result;
        if (c == ' ' || c == '\r' || c == '\n' || c == '-') {
            ++i;
        } else if (c == ';') {
            ++i;
            while (at(i) != 0 && at(i) != '\n') ++i;
            if (at(i) == 0) return result;
            ++i;
        } else if (ModelDigit(c) >= 0) {
            const int low = ModelDigit(at(i + 1));
            if (low < 0) {
                // An unpaired digit still yields a byte: its value in the high half.
                result.bytes.push_back(static_cast<uint8_t>(ModelDigit(c) * 16));
                result.status = 2;
                return result;
            }
            result.bytes.push_back(static_cast<uint8_t>(ModelDigit(c) * 16 + low));
            i += 2;
        } else {
            result.status = 1;
            return result;
        }
    }
}
