// The part of the vector parsers that is the same for every instruction set.
#pragma once

#include "convert/hex_parse.h"

#include <cstdint>

// Decodes the recognised shapes and separator runs (hex_parse_shapes.h)
// from p onwards while a whole window lies before pLimit, advancing pOut by
// the bytes written. Returns where it stopped: at a token start where it
// recognises nothing, or less than a window before pLimit.
using HexBlockRunFn = const char* (*)(const char* p, const char* pLimit, uint8_t*& pOut);

// HexTextToBytes with pfnRun for the vector work: runs it over the text
// known to lie before the terminator, hands whatever it does not recognise
// to the table-driven parser, and finishes the last window with the
// reference routine.
HexTextResult HexTextToBytesVector(const char* szText, uint8_t* pOut, HexBlockRunFn pfnRun);
