// The inputs of the benchmarks: the same random bytes for every workload,
// read from a file so that other tools (and the Windows build's timing
// program) work on the very same bytes; the texts in the tests' layouts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum Workload {
    WORK_FORMAT,           // BytesToHexText on random bytes
    WORK_PARSE_LAYOUT,     // HexTextToBytes on the formatter's own text
    WORK_PARSE_XXD,        // on what xxd -p writes: 30 lowercase pairs a line, LF
    WORK_PARSE_OD,         // on what od -An -v -tx1 writes: 16 pairs a line, each after a space
    WORK_PARSE_PYTHON,     // on what Python's bytes.hex(' ') writes: one line
    WORK_PARSE_COMMENTED,  // pairs with ';' comment lines that hold TABs and UTF-8
    WORK_PARSE_LOOSE,      // runs of 1 to 40 pairs in either case between random separators, lines of any length
    WORK_PARSE_LOOSE_COMMENTED,  // the loose text with a ';' comment line before every fourth line
    WORK_PARSE_GROUPS2,    // groups of 2 pairs between spaces, 32 pairs a line, LF
    WORK_PARSE_GROUPS4,    // groups of 4 pairs between spaces, 32 pairs a line, LF
    WORK_PARSE_EARLY,      // the formatter's text with a bad character halfway
    WORK_COUNT,
};

const char* WorkloadName(Workload work);

// Loads the random bytes (at least as many as the largest size).
bool LoadRandomBytes(const std::string& path);
const uint8_t* RandomBytes();
size_t RandomByteCount();

// The input of a workload for the first cbData random bytes: the bytes
// themselves, or a zero-terminated text. Built on first use and kept.
struct WorkInput {
    std::vector<uint8_t> buffer;  // bytes, or text with its terminator
    size_t cbIn;                  // bytes the conversion reads (for a text, up to where it stops)
    size_t cbOut;                 // bytes of output the conversion produces
    size_t cbCapacity;            // the output block the program would allocate
};

const WorkInput& GetWorkInput(Workload work, size_t cbData);

// Runs the conversion of `work` once from in into pOut, with the selected
// kernel; returns the bytes it wrote.
size_t RunConversion(Workload work, const WorkInput& in, uint8_t* pOut);
