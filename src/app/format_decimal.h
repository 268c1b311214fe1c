// Signed 32-bit values as plain decimal text, for the timing label and the
// byte-count captions. No platform header: it is tested natively too.
#pragma once

#include <cstdint>

// The longest text, "-2147483648", needs 12 characters with its terminator.
constexpr int CCH_DECIMAL = 12;

// Writes the decimal text of lValue, zero-terminated, to szDst (at least
// CCH_DECIMAL characters): no leading zeros, no grouping, '-' for negatives.
void FormatDecimal(int32_t lValue, char* szDst);
