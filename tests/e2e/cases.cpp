// The cases: each a name and the steps a user takes, with what must follow.
#include "e2e.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>

namespace {

DATA Bytes(const char* pb, ULONGLONG cb) { return DATA{DATA_BYTES, pb, cb}; }
DATA Text(const char* sz) { return Bytes(sz, strlen(sz)); }
DATA Random(ULONGLONG cb) { return DATA{DATA_RANDOM, NULL, cb}; }
DATA RandomHex(ULONGLONG cb) { return DATA{DATA_RANDOM_HEX, NULL, cb}; }
DATA RandomPairs(ULONGLONG cb) { return DATA{DATA_RANDOM_PAIRS, NULL, cb}; }
DATA Repeat(const char* sz, ULONGLONG cb) { return DATA{DATA_REPEAT, sz, cb}; }
DATA Sparse(ULONGLONG cb) { return DATA{DATA_SPARSE, NULL, cb}; }
DATA Parsed(const char* szFile) { return DATA{DATA_PARSED, szFile, 0}; }

STEP Write(const char* szFile, DATA data) { return {.op = OP_WRITE, .szFile = szFile, .data = data}; }
STEP Hold(const char* szFile) { return {.op = OP_HOLD, .szFile = szFile}; }
// Held for writing by a process that lets others read and write it too.
STEP HoldForWriting(const char* szFile)
{
    return {.op = OP_HOLD, .szFile = szFile, .dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE};
}
STEP Release() { return {.op = OP_RELEASE}; }
STEP Keep(const char* szFile) { return {.op = OP_KEEP, .szFile = szFile}; }
STEP Needs(NEEDID need) { return {.op = OP_NEEDS, .need = need}; }
STEP Click(int idButton) { return {.op = OP_CLICK, .idButton = idButton}; }
STEP Command(WPARAM wParam) { return {.op = OP_POST, .uMsg = WM_COMMAND, .wParam = wParam}; }
STEP CloseBox() { return {.op = OP_POST, .uMsg = WM_SYSCOMMAND, .wParam = SC_CLOSE}; }
STEP Key(BYTE bVk) { return {.op = OP_KEY, .bVk = bVk}; }
STEP Choose(const char* szTitle, const char* szFile) { return {.op = OP_CHOOSE, .szText = szTitle, .szFile = szFile}; }
STEP Cancel(const char* szTitle) { return Choose(szTitle, NULL); }
STEP Confirm() { return {.op = OP_CONFIRM}; }
STEP Refused(const char* szTitle) { return {.op = OP_REFUSED, .szText = szTitle}; }
STEP LimitAddressSpace() { return {.op = OP_LIMIT}; }
STEP Box(const char* szText, const char* szCaption) { return {.op = OP_BOX, .szText = szText, .szCaption = szCaption}; }
STEP Failure() { return Box(FAILURE_TEXT, FAILURE_CAPTION); }
STEP ModelBox(const char* szText) { return {.op = OP_BOX, .data = Parsed(szText)}; }
STEP Label(const char* szText) { return {.op = OP_LABEL, .szText = szText}; }
STEP Timed() { return Label(NULL); }
STEP File(const char* szFile, DATA data) { return {.op = OP_FILE, .szFile = szFile, .data = data}; }
STEP FileOfSize(const char* szFile, DATA start, ULONGLONG cbFile)
{
    return {.op = OP_FILE, .szFile = szFile, .data = start, .cbFile = cbFile};
}
STEP ModelSaved(const char* szFile, const char* szText) { return File(szFile, Parsed(szText)); }
STEP NoFile(const char* szFile) { return {.op = OP_NO_FILE, .szFile = szFile}; }
STEP Files(size_t cFiles) { return {.op = OP_FILES, .cFiles = cFiles}; }
STEP FilesOn(const char* szDisk, size_t cFiles) { return {.op = OP_FILES, .szFile = szDisk, .cFiles = cFiles}; }
STEP Quiet(DWORD dwMs) { return {.op = OP_QUIET, .dwMs = dwMs}; }
STEP Memory(MEMORYCHECK memory, ULONGLONG cb = 0) { return {.op = OP_MEMORY, .memory = memory, .cbMemory = cb}; }
STEP Exit(DWORD dwExitCode) { return {.op = OP_EXIT, .dwExitCode = dwExitCode}; }

// A text made once and kept for the whole run: names and captions of the
// cases the table makes in loops.
__attribute__((format(gnu_printf, 1, 2))) const char* Kept(const char* szFormat, ...)
{
    static std::deque<std::string> texts;
    char sz[64];
    va_list args;
    va_start(args, szFormat);
    vsnprintf(sz, sizeof(sz), szFormat, args);
    va_end(args);
    texts.push_back(sz);
    return texts.back().c_str();
}

STEPS Steps(std::initializer_list<STEPS> parts)
{
    STEPS steps;
    for (const STEPS& part : parts) {
        steps.insert(steps.end(), part.begin(), part.end());
    }
    return steps;
}

// bin2hex of szIn, the text saved as szOut (NULL: the Save chooser cancelled).
STEPS Bin2Hex(const char* szIn, const char* szOut)
{
    return {Click(IDC_BIN2HEX), Choose(OPEN_TITLE, szIn), Timed(), Choose(SAVE_HEX_TITLE, szOut)};
}

// hex2bin of szIn: the box, and the bytes saved as szOut (NULL: cancelled).
STEPS Hex2Bin(const char* szIn, STEP box, const char* szOut)
{
    return {Click(IDC_HEX2BIN), Choose(OPEN_TITLE, szIn), Timed(), box, Choose(SAVE_BIN_TITLE, szOut)};
}

// A file written, converted and saved; then the steps after.
STEPS Bin2HexOf(const char* szIn, DATA in, const char* szOut, const STEPS& after)
{
    return Steps({{Write(szIn, in)}, Bin2Hex(szIn, szOut), after});
}

STEPS Hex2BinOf(const char* szIn, DATA in, STEP box, const char* szOut, const STEPS& after)
{
    return Steps({{Write(szIn, in)}, Hex2Bin(szIn, box, szOut), after});
}

// cb random bytes through bin2hex.
STEPS Bin2HexRandom(const char* szIn, ULONGLONG cb, const char* szOut)
{
    return Bin2HexOf(szIn, Random(cb), szOut, {File(szOut, RandomHex(cb))});
}

// cb random bytes through bin2hex and back through hex2bin, in one run of the program.
STEPS RoundTrip(ULONGLONG cb)
{
    return Steps({Bin2HexRandom("orig.bin", cb, "orig.hex"),
                  Hex2Bin("orig.hex", Box(OK_TEXT, Kept("%llu", cb)), "back.bin"), {File("back.bin", Random(cb))}});
}

// hex2bin of a text, saved: the outcome, the count and the bytes saved are
// the ones the model reads from it.
STEPS Hex2BinByModel(const char* szText, DATA text, const char* szOut)
{
    return Hex2BinOf(szText, text, ModelBox(szText), szOut, {ModelSaved(szOut, szText)});
}

// A command refuses its input with the failure box: nothing converted.
STEPS Refuses(int idCommand, const char* szIn)
{
    return {Click(idCommand), Choose(OPEN_TITLE, szIn), Failure()};
}

// Nothing more happens, and nothing was converted: the label still reads
// the driver's mark, or, where no Open chooser showed, its text at start.
STEPS Unchanged(DWORD dwMs, const char* szLabel = LABEL_MARK)
{
    return {Quiet(dwMs), Label(szLabel)};
}

// A hundred conversions of every outcome in one run of the program, with a
// failed save and a failed load in every round. The private memory is
// taken after the first round; in the second, while the output chooser is
// open, it must show the text the program holds then; at the end it must be
// back where it was.
const ULONGLONG CB_ROUND = 4 * MIB;
const int C_ROUNDS = 20;  // of five conversions each

STEPS ManyConversions()
{
    STEPS steps = {Write("r.bin", Random(CB_ROUND)), Write("gg.txt", Text("00 GG")), Write("odd.txt", Text("00 FF 5")),
                   Write("locked.txt", Text("0102")), Write("held.hex", Text("kept"))};
    const char* szCount = Kept("%llu", CB_ROUND);
    for (int i = 0; i < C_ROUNDS; ++i) {
        const char* szHex = Kept("r%02d.hex", i);
        const char* szBack = Kept("r%02d.bin", i);
        const char* szOdd = Kept("odd%02d.bin", i);
        STEPS toHex = Bin2Hex("r.bin", szHex);
        if (i == 1) {
            // The output block holds 12.75 MiB of text now. Wine counts the
            // pages written to, not the whole block of 16 MiB.
            toHex.insert(toHex.end() - 1, Memory(MEM_GROWN, 12 * MIB));
        }
        steps = Steps({steps, toHex, {File(szHex, RandomHex(CB_ROUND))},
                       Hex2Bin(szHex, Box(OK_TEXT, szCount), szBack), {File(szBack, Random(CB_ROUND))},
                       Hex2Bin("gg.txt", Box(BAD_CHAR_TEXT, "1"), NULL),  // not saved
                       Hex2Bin("odd.txt", Box(UNPAIRED_TEXT, "3"), szOdd), {FileOfSize(szOdd, Bytes("\x00\xFF", 2), 3)},
                       {Hold("held.hex")}, Bin2Hex("r.bin", "held.hex"), {Confirm(), Failure(), Release()},
                       {HoldForWriting("locked.txt")}, Refuses(IDC_HEX2BIN, "locked.txt"), {Release()}});
        if (i == 0) {
            steps.push_back(Memory(MEM_BASELINE));
        }
    }
    steps.push_back(Memory(MEM_BACK));
    return steps;
}

const char SIXTEEN_BYTES[] = "\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10";
const char SIXTEEN_HEX[] = "00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F\r";
const char SEVENTEEN_HEX[] = "00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F\r\n10";

// Every byte value, 0 to 255, in order.
const std::string EVERY_BYTE = [] {
    std::string s(256, '\0');
    for (int i = 0; i < 256; ++i) {
        s[static_cast<size_t>(i)] = static_cast<char>(i);
    }
    return s;
}();

// A line of the big texts: sixteen pairs in mixed case and a comment, 64
// bytes with its CR LF, so that a text of whole mebibytes is whole lines.
const char GIB_LINE[] = "0a 1B 2c 3D 4e 5F 60 71 - 82 93 a4 B5 c6 D7 e8 F9 ;a full line\r\n";
static_assert(sizeof(GIB_LINE) - 1 == 64, "a line of 64 bytes");

// A line of the text bin2hex makes of zero bytes.
const char ZERO_LINE[] = "00 00 00 00 00 00 00 00 - 00 00 00 00 00 00 00 00\r\n";

// A folder and a name of 100 Cyrillic letters each: a path of 200 Cyrillic
// characters. (A name of them all would pass Linux's 255 bytes a name.)
std::string Cyrillic(const char* szLetter, const char* szEnd)
{
    std::string s;
    for (int i = 0; i < 100; ++i) s += szLetter;
    return s + szEnd;
}
const std::string CYRILLIC_FOLDER = Cyrillic("ж", "\\");
const std::string CYRILLIC_IN = CYRILLIC_FOLDER + Cyrillic("я", ".bin");
const std::string CYRILLIC_OUT = CYRILLIC_FOLDER + Cyrillic("ю", ".hex");

// A name the chooser will not take: it refuses it, and no file is made.
STEPS NameRefused(const char* szOut)
{
    return Bin2HexOf("in.bin", Random(50), szOut, {Refused(SAVE_HEX_TITLE), Quiet(500), Files(1)});
}

}  // namespace

const std::vector<CASE> CASES = {
    {"bin2hex of an empty file: the empty text is saved, and reported as nothing written",
     Bin2HexOf("empty.bin", Bytes("", 0), "empty.hex", {Failure(), File("empty.hex", Bytes("", 0))})},
    {"bin2hex of 16 bytes: one line ending in a lone CR",
     Bin2HexOf("16.bin", Bytes(SIXTEEN_BYTES, 16), "16.hex", {File("16.hex", Text(SIXTEEN_HEX))})},
    {"bin2hex of 17 bytes: a full line, CR LF, then the last pair",
     Bin2HexOf("17.bin", Bytes(SIXTEEN_BYTES, 17), "17.hex", {File("17.hex", Text(SEVENTEEN_HEX))})},
    {"bin2hex of 5000 random bytes", Bin2HexRandom("random.bin", 5000, "random.hex")},
    {"hex2bin of 00 FF 5D DF: four bytes and success",
     Hex2BinOf("four.txt", Text("00 FF 5D DF"), Box(OK_TEXT, "4"), "four.bin",
               {File("four.bin", Bytes("\x00\xFF\x5D\xDF", 4))})},
    {"hex2bin of 00 GG: an invalid character after one byte, which can still be saved",
     Hex2BinOf("gg.txt", Text("00 GG"), Box(BAD_CHAR_TEXT, "1"), "gg.bin", {File("gg.bin", Bytes("\x00", 1))})},
    {"hex2bin of 01, a zero byte, 02: the text stops at the zero byte and says so",
     Hex2BinOf("zero.txt", Bytes("01\x00" "02", 5), Box(BAD_CHAR_TEXT, "1"), "zero.bin",
               {File("zero.bin", Bytes("\x01", 1))})},
    {"hex2bin of a text ending in an unpaired digit: that byte is counted too",
     Hex2BinOf("odd.txt", Text("00 FF 5"), Box(UNPAIRED_TEXT, "3"), "odd.bin",
               {FileOfSize("odd.bin", Bytes("\x00\xFF", 2), 3)})},
    {"hex2bin of comments, mixed case and pairs without separators",
     Hex2BinOf("notes.txt", Text("; a header\r\n00 FF 5D DF\r\n0a0b-0C    ; mixed case, no spaces\r\n"),
               Box(OK_TEXT, "7"), "notes.bin", {File("notes.bin", Bytes("\x00\xFF\x5D\xDF\x0A\x0B\x0C", 7))})},
    {"hex2bin of a TAB between pairs: an invalid character, the byte before it saved",
     Hex2BinOf("tab.txt", Text("00\t01"), Box(BAD_CHAR_TEXT, "1"), "tab.bin", {File("tab.bin", Bytes("\x00", 1))})},
    {"hex2bin of an empty file: success with nothing, and the empty result reported as nothing written",
     Hex2BinOf("empty.txt", Bytes("", 0), Box(OK_TEXT, "0"), "empty.bin",
               {Failure(), File("empty.bin", Bytes("", 0))})},
    {"3000 random bytes through bin2hex and back through hex2bin, in one run of the program", RoundTrip(3000)},
    {"bin2hex, input chooser cancelled: nothing changes",
     Steps({{Click(IDC_BIN2HEX), Cancel(OPEN_TITLE)}, Unchanged(1000), {Files(0)}})},
    {"hex2bin, input chooser cancelled: nothing changes",
     Steps({{Click(IDC_HEX2BIN), Cancel(OPEN_TITLE)}, Unchanged(1000), {Files(0)}})},
    {"bin2hex, output chooser cancelled: no file, the time is shown",
     Bin2HexOf("in.bin", Random(100), NULL, {Quiet(1000), Timed(), Files(1)})},
    {"hex2bin, output chooser cancelled: no file, the time and the outcome are shown",
     Hex2BinOf("in.txt", Text("0A 0B"), Box(OK_TEXT, "2"), NULL, {Quiet(1000), Timed(), Files(1)})},
    {"bin2hex onto a file another process holds open: confirm the overwrite, then failure",
     Steps({{Write("held.hex", Text("kept")), Hold("held.hex")},
            Bin2HexOf("in.bin", Random(40), "held.hex",
                      {Confirm(), Failure(), Release(), File("held.hex", Text("kept"))})})},
    {"hex2bin onto a file another process holds open: confirm the overwrite, then failure",
     Steps({{Write("held.bin", Text("kept")), Hold("held.bin")},
            Hex2BinOf("in.txt", Text("C0FFEE"), Box(OK_TEXT, "3"), "held.bin",
                      {Confirm(), Failure(), Release(), File("held.bin", Text("kept"))})})},
    {"hex2bin onto a longer existing file: after the confirmation it holds exactly the new bytes",
     Steps({{Write("long.bin", Random(100))},
            Hex2BinOf("in.txt", Text("0102"), Box(OK_TEXT, "2"), "long.bin",
                      {Confirm(), File("long.bin", Bytes("\x01\x02", 2))})})},
    {"hex2bin of a file another process holds open: failure, no conversion, no output chooser",
     Steps({{Write("in.txt", Text("0102")), Hold("in.txt")}, Refuses(IDC_HEX2BIN, "in.txt"), Unchanged(1000),
            {Release(), Files(1)}})},
    {"WM_COMMAND with IDOK changes nothing", Steps({{Command(IDOK)}, Unchanged(1500, LABEL_AT_START), {Files(0)}})},
    {"WM_COMMAND for bin2hex with a nonzero notification code changes nothing",
     Steps({{Command(MAKEWPARAM(IDC_BIN2HEX, 1))}, Unchanged(1500, LABEL_AT_START), {Files(0)}})},
    {"commands posted while a conversion runs start nothing, a close waits for its end: one chooser at a time",
     {Write("in.bin", Random(20)), Click(IDC_BIN2HEX), Command(IDC_HEX2BIN), Command(IDCANCEL), Command(IDC_BIN2HEX),
      Choose(OPEN_TITLE, "in.bin"), Timed(), Command(IDC_HEX2BIN), CloseBox(), Choose(SAVE_HEX_TITLE, "in.hex"),
      Exit(0), File("in.hex", RandomHex(20)), Files(2)}},

    // Faults
    {"bin2hex of a file another process writes, sharing it: failure, no conversion, no output chooser",
     Steps({{Write("in.bin", Random(64)), HoldForWriting("in.bin")}, Refuses(IDC_BIN2HEX, "in.bin"), Unchanged(1000),
            {Release(), Files(1)}})},
    {"bin2hex onto a file of a read-only disk: confirm the overwrite, then failure, the file as it was",
     Steps({{Needs(NEED_RO_DISK), Keep("RO:kept.bin")},
            Bin2HexOf("in.bin", Random(40), "RO:kept.bin", {Confirm(), Failure()})})},
    {"hex2bin onto a new file of a read-only disk: failure, no file",
     Steps({{Needs(NEED_RO_DISK)},
            Hex2BinOf("in.txt", Text("0102"), Box(OK_TEXT, "2"), "RO:new.bin", {Failure(), NoFile("RO:new.bin")})})},
    {"hex2bin into a folder that does not exist: no file",
     Hex2BinOf("in.txt", Text("0102"), Box(OK_TEXT, "2"), "no such folder\\out.bin", {Failure(), Files(1)})},
    {"bin2hex onto a disk too full for the text: failure, and no part of it left behind",
     Steps({{Needs(NEED_FULL_DISK)},
            Hex2BinOf("small.txt", Text("C0FFEE"), Box(OK_TEXT, "3"), "FULL:small.bin",
                      {File("FULL:small.bin", Text("\xC0\xFF\xEE"))}),
            Bin2HexOf("in.bin", Random(20000), "FULL:in.hex",
                      {Failure(), NoFile("FULL:in.hex"), File("FULL:small.bin", Text("\xC0\xFF\xEE"))})})},
    {"bin2hex over a file of a disk with room for it, not for the text: failure, the file as it was, nothing beside",
     Steps({{Needs(NEED_FULL_DISK), Write("FULL:old.hex", Random(16000))},
            Bin2HexOf("in.bin", Random(20000), "FULL:old.hex",
                      {Confirm(), Failure(), File("FULL:old.hex", Random(16000)), FilesOn("FULL:", 1)})})},

    // Huge input
    {"a file of 4 GiB and 10 bytes: refused by both commands, nothing converted; then a conversion works",
     Steps({{Write("huge.bin", Sparse(4 * GIB + 10))}, Refuses(IDC_BIN2HEX, "huge.bin"),
            Refuses(IDC_HEX2BIN, "huge.bin"), Unchanged(500), Bin2HexRandom("in.bin", 100, "in.hex")})},
    {"1 GiB of hex text: bin2hex refuses it before converting, its text would not fit a 32-bit count; "
     "hex2bin converts all of it",
     Steps({{Write("gib.txt", Repeat(GIB_LINE, GIB))}, Refuses(IDC_BIN2HEX, "gib.txt"), Unchanged(500),
            Hex2Bin("gib.txt", ModelBox("gib.txt"), "gib.bin"), {ModelSaved("gib.bin", "gib.txt")}})},
    {"bin2hex of 320 MiB: blocks of 320 MiB and 1.25 GiB at once; lines of 51 characters, the last without its LF",
     Bin2HexOf("zeros.bin", Sparse(320 * MIB), "zeros.hex",
               {File("zeros.hex", Repeat(ZERO_LINE, 320 * MIB / 16 * 51 - 1))})},
    {"held to the address space it has, as a 32-bit program is: an output block that does not fit is refused, "
     "nothing converted; then a conversion works",
     Steps({{Needs(NEED_WIN64), Needs(NEED_LIMITER), Write("half.bin", Sparse(512 * MIB)),
             Write("big.txt", Repeat(GIB_LINE, 1280 * MIB)), Click(IDC_BIN2HEX), LimitAddressSpace(),
             Choose(OPEN_TITLE, "half.bin"), Failure(), Memory(MEM_PEAK, 512 * MIB)},
            Refuses(IDC_HEX2BIN, "big.txt"), {Memory(MEM_PEAK, 1280 * MIB)}, Unchanged(500),
            Hex2BinOf("in.txt", Text("0102"), Box(OK_TEXT, "2"), "in.bin", {File("in.bin", Bytes("\x01\x02", 2))})})},

    // Hostile text
    {"hex2bin of a megabyte of random bytes", Hex2BinByModel("random.txt", Random(MIB), "random.bin")},
    {"hex2bin of every byte value, 0 to 255", Hex2BinByModel("every.txt", Bytes(EVERY_BYTE.data(), 256), "every.bin")},
    {"hex2bin of a single digit", Hex2BinByModel("digit.txt", Text("7"), "digit.bin")},
    {"hex2bin of separators and comments only",
     Hex2BinByModel("blank.txt", Text(" \r\n- ;one\n;two ; 00 11\r\n\n---  ;"), "blank.bin")},
    {"hex2bin of a comment running to the end of the file, with no LF",
     Hex2BinByModel("tail.txt", Text("0A 0B\r\n0C ; the end, 0D 0E, and no line end"), "tail.bin")},
    {"hex2bin of a line of two megabytes", Hex2BinByModel("line.txt", RandomPairs(MIB), "line.bin")},

    // Names
    {"names with spaces", Bin2HexRandom("my input  file.bin", 50, "my output file .hex")},
    {"paths of 259 characters, the longest there is", Bin2HexRandom("in{259}.bin", 50, "out{259}.hex")},
    {"names in Cyrillic, CJK and Greek, and paths of 200 Cyrillic characters (400 bytes in UTF-8)",
     Steps({Bin2HexRandom("данные 数据.bin", 300, "δεδομένα.hex"),
            Hex2Bin("δεδομένα.hex", Box(OK_TEXT, "300"), "назад 戻る.bin"), {File("назад 戻る.bin", Random(300))},
            Bin2HexRandom(CYRILLIC_IN.c_str(), 40, CYRILLIC_OUT.c_str())})},
    {"an output path of 260 characters: the chooser refuses it, no file", NameRefused("out{260}.hex")},
    {"an output path of 400 characters: the chooser refuses it, no file", NameRefused("out{400}.hex")},
    {"a bare output name of 258 characters, too long for any folder: the chooser refuses it, no file",
     NameRefused("REL:out{258}.hex")},
    {"an input path of 400 characters: the chooser refuses it, nothing changes",
     Steps({{Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "in{400}.txt"), Refused(OPEN_TITLE)}, Unchanged(500), {Files(0)}})},

    // Big files, and no leak
    {"256 MiB of random bytes through bin2hex and back through hex2bin", RoundTrip(256 * MIB)},
    {"a hundred conversions of every outcome: the private memory back where it was, no file left open",
     ManyConversions()},

    {"Close ends the program with exit code 0", {Click(IDCANCEL), Exit(0)}},
    {"Esc ends the program with exit code 0", {Key(VK_ESCAPE), Exit(0)}},
    {"the close box ends the program with exit code 0", {CloseBox(), Exit(0)}},
};
