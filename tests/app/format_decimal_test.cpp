#include "app/format_decimal.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

TEST(FormatDecimal, Values)
{
    const struct {
        int32_t lValue;
        const char* szText;
    } kCases[] = {
        {0, "0"},
        {7, "7"},
        {10, "10"},
        {250, "250"},
        {1000000, "1000000"},
        {-1, "-1"},
        {-250, "-250"},
        {INT32_MAX, "2147483647"},
        {INT32_MIN, "-2147483648"},
    };
    for (const auto& c : kCases) {
        char sz[CCH_DECIMAL + 4];
        std::memset(sz, 'x', sizeof sz);
        FormatDecimal(c.lValue, sz);
        EXPECT_STREQ(sz, c.szText);
        // Nothing written past the terminator.
        EXPECT_EQ(sz[std::strlen(sz) + 1], 'x') << c.lValue;
    }
}

TEST(FormatDecimal, AgreesWithLibraryAcrossTheRange)
{
    for (int64_t v = INT32_MIN; v <= INT32_MAX; v += 999983) {
        char sz[CCH_DECIMAL];
        FormatDecimal(static_cast<int32_t>(v), sz);
        ASSERT_EQ(std::string(sz), std::to_string(v));
    }
}

}  // namespace
