// End-to-end driver: starts hexbin.exe as a process of its own for every
// case and drives it as a user would, through its dialog, the real Open and
// Save As choosers and the message boxes; it reads what the program shows
// and checks the files it writes byte for byte.
//
//     driver.exe PROGRAM WORKDIR [NAME-FILTER]
//
// Paths may be Windows paths or absolute Unix paths (seen through Wine's Z:).
// Every case is a row of the CASES table: a name and the steps a user takes,
// each with what must follow. One loop runs them all. Unless a case ends
// the program itself, the loop checks at its end that no window is left
// open and that "Close" ends the program with exit code 0.
//
// Besides what each case expects, every case is held to what must hold
// whatever the user does:
// - every file the program was given to read, and every file held open
//   against it, is byte for byte what it was, with its size and last-write
//   time;
// - the program runs at the priority class it was started with until a
//   conversion has run, and at the normal class after one (checked whenever
//   one of its windows is open, and at the end);
// - every file named in a chooser can be opened without sharing at the end,
//   so the program left no handle to it open.
//
// Some cases need what the test run makes for them (see CMakeLists.txt):
// HEXBIN_E2E_FULLFS names a small empty disk, HEXBIN_E2E_ROFS a read-only
// one holding kept.bin, HEXBIN_E2E_LIMITER a script that limits the
// program's address space (run through Wine). Where one is missing, the
// cases that need it are skipped and say why.
#include "../convert/hex_model.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

// What the program is known by.
const char DIALOG_TITLE[] = "Hex and Binary conversions";
const char LABEL_AT_START[] = "MS timing location";
const char OPEN_TITLE[] = "Open file ...";
const char SAVE_HEX_TITLE[] = "Save File As Hex ...";
const char SAVE_BIN_TITLE[] = "Save Converted File As ...";
const char FAILURE_TEXT[] = "Something went wrong";
const char FAILURE_CAPTION[] = "hmmmmm,";
const char OK_TEXT[] = "Conversion was successful  ";
const char BAD_CHAR_TEXT[] = "Invalid character  ";
const char UNPAIRED_TEXT[] = "Hex must be in '00 FF 5D DF' character paired format  ";
const char* const OUTCOME_TEXT[] = {OK_TEXT, BAD_CHAR_TEXT, UNPAIRED_TEXT};  // by the model's status

#define IDC_TIMING 100
#define IDC_BIN2HEX 101
#define IDC_HEX2BIN 102
#define IDC_MSGBOX_TEXT 0xFFFF     // the text of a message box
#define IDC_CHOOSER_NAME 1148      // the file-name combo box of the Explorer-style chooser
#define IDC_CHOOSER_NAME_EDIT 1152  // its file-name box instead, where the program watches the chooser
#define DIALOG_CLASS "#32770"

// Deadlines. Wine is slow to start a program in a new prefix; the big-file
// cases convert and save hundreds of megabytes within one step.
const DWORD START_MS = 60000;
const DWORD STEP_MS = 60000;
const DWORD POLL_MS = 25;
const DWORD SETTLE_MS = 400;  // how long "nothing happens" is watched for at the end of a case

// The program is started at this class, so that "unchanged" and "back to
// normal" after a command can be told apart.
const DWORD START_CLASS = BELOW_NORMAL_PRIORITY_CLASS;

// How far the program's private memory may stand above where it stood after
// the first round of conversions, once a hundred more have run. Each round
// allocates and frees blocks of 4 to 16 MiB, so a block kept even once in
// twenty rounds shows up well beyond it; what stays below it is the
// platform's own caching behind the choosers and message boxes.
const SIZE_T CB_LEAK_TOLERANCE = 2u << 20;

const ULONGLONG KIB = 1024;
const ULONGLONG MIB = 1024 * KIB;
const ULONGLONG GIB = 1024 * MIB;

// Files this big are removed when their case ends, so a run leaves no
// gigabytes behind.
const ULONGLONG CB_REMOVE_AFTER_CASE = MIB;

// ---------------------------------------------------------------------------
// The cases

// File contents: literal bytes, pseudo-random bytes (always the same for
// one size), the hex text bin2hex must make of those, a text repeated, or
// the bytes the model reads from a file of the case. Big contents are made
// and compared a piece at a time.
enum DATAKIND {
    DATA_BYTES,         // pb: cb bytes
    DATA_RANDOM,        // cb pseudo-random bytes
    DATA_RANDOM_HEX,    // the hex text of DATA_RANDOM's cb bytes, as bin2hex writes it
    DATA_RANDOM_PAIRS,  // DATA_RANDOM's cb bytes as lowercase pairs on one line, nothing between them
    DATA_REPEAT,        // pb, a text, repeated up to cb bytes
    DATA_SPARSE,        // pb, a text, then zero bytes up to cb bytes, written as a hole
    DATA_PARSED,        // the bytes the model reads from pb, a file of the case
};

struct DATA {
    DATAKIND kind;
    const char* pb;
    ULONGLONG cb;
};

enum STEPOP {
    OP_WRITE,         // write szFile with data
    OP_HOLD,          // open szFile (made if missing) for reading and writing with share mode n; keep it open
    OP_RELEASE,       // close every file OP_HOLD opened
    OP_KEEP,          // szFile exists, and must be as it is now when the case ends
    OP_NEEDS,         // the case needs g_rgNeed[n]; skipped without it
    OP_CLICK,         // click the dialog's button n
    OP_COMMAND,       // post WM_COMMAND with wParam n to the dialog
    OP_KEY,           // press key n on the control that has the focus
    OP_CLOSE_BOX,     // the close box in the title bar
    OP_CHOOSE,        // chooser titled szText opens; type szFile and click OK (no szFile: Cancel)
    OP_CONFIRM,       // the chooser asks before replacing a file; click Yes
    OP_LIMIT,         // once the Open chooser is open, the program may map no more than it has
    OP_REFUSED,       // the chooser titled szText refuses the name with a box of its own; OK, then Cancel
    OP_BOX,           // message box with szText under caption szCaption, one OK button; click OK
    OP_MODEL_BOX,     // the box hex2bin must show for data (DATA_PARSED): the model's outcome and count
    OP_LABEL,         // the timing label reads szText (no szText: a time in milliseconds)
    OP_FILE,          // szFile holds exactly data (n > 0: the file has n bytes, and data begins it)
    OP_MODEL_SAVED,   // as OP_FILE; when data (DATA_PARSED) is empty, the failure box comes first
    OP_NO_FILE,       // szFile does not exist
    OP_FILES,         // the case's folder (or the disk szFile names, "FULL:") holds exactly n files
    OP_QUIET,         // for n ms no window opens, the label keeps its text, the program runs on
    OP_MEMORY,        // the program's private memory: n is one of MEMORYCHECK
    OP_EXIT,          // the program ends with exit code n
    OP_COUNT
};

enum MEMORYCHECK {
    MEM_BASELINE,  // remember it
    MEM_GROWN,     // it stands at least data.cb above the remembered one: the measure sees what the program holds
    MEM_BACK,      // it is back within CB_LEAK_TOLERANCE of the remembered one
    MEM_PEAK,      // its peak working set is data.cb at least: a file of that size was read whole
};

// What the test run makes for the cases that need it: two disks it mounts
// (a file name "FULL:name" or "RO:name" is a file on one of them), and a
// script that limits the program's address space.
enum NEEDID { NEED_FULL_DISK, NEED_RO_DISK, NEED_LIMITER };

struct NEED {
    const char* szPrefix;  // of the names of files on a disk; NULL for the script
    const char* szVariable;
    const char* szWhat;
    std::string sValue;  // from the variable, a disk as a Windows path; empty if it is not set
};

NEED g_rgNeed[] = {
    {"FULL:", "HEXBIN_E2E_FULLFS", "small disk to fill", ""},
    {"RO:", "HEXBIN_E2E_ROFS", "read-only disk", ""},
    {NULL, "HEXBIN_E2E_LIMITER", "script to limit the program's address space", ""},
};

// A mounted disk the test made is smaller than this; a folder on the
// machine's own disk, where the mount was refused, is not.
const ULONGLONG CB_SMALL_DISK = MIB;

struct STEP {
    STEPOP op;
    const char* szText;
    const char* szCaption;
    const char* szFile;
    DATA data;
    UINT_PTR n;
};

struct CASE {
    const char* szName;
    std::vector<STEP> steps;
};

DATA Bytes(const char* pb, ULONGLONG cb) { return DATA{DATA_BYTES, pb, cb}; }
DATA Text(const char* sz) { return Bytes(sz, strlen(sz)); }
DATA Random(ULONGLONG cb) { return DATA{DATA_RANDOM, NULL, cb}; }
DATA RandomHex(ULONGLONG cb) { return DATA{DATA_RANDOM_HEX, NULL, cb}; }
DATA RandomPairs(ULONGLONG cb) { return DATA{DATA_RANDOM_PAIRS, NULL, cb}; }
DATA Repeat(const char* sz, ULONGLONG cb) { return DATA{DATA_REPEAT, sz, cb}; }
DATA Sparse(const char* sz, ULONGLONG cb) { return DATA{DATA_SPARSE, sz, cb}; }
DATA Parsed(const char* szFile) { return DATA{DATA_PARSED, szFile, 0}; }
const DATA NO_CONTENT = {DATA_BYTES, NULL, 0};

STEP Write(const char* szFile, DATA data) { return STEP{OP_WRITE, NULL, NULL, szFile, data, 0}; }
STEP Hold(const char* szFile) { return STEP{OP_HOLD, NULL, NULL, szFile, NO_CONTENT, 0}; }
// Held for writing by a process that lets others read and write it too.
STEP HoldForWriting(const char* szFile)
{
    return STEP{OP_HOLD, NULL, NULL, szFile, NO_CONTENT, FILE_SHARE_READ | FILE_SHARE_WRITE};
}
STEP Release() { return STEP{OP_RELEASE, NULL, NULL, NULL, NO_CONTENT, 0}; }
STEP Keep(const char* szFile) { return STEP{OP_KEEP, NULL, NULL, szFile, NO_CONTENT, 0}; }
STEP Needs(NEEDID need) { return STEP{OP_NEEDS, NULL, NULL, NULL, NO_CONTENT, need}; }
STEP Click(int id) { return STEP{OP_CLICK, NULL, NULL, NULL, NO_CONTENT, static_cast<UINT_PTR>(id)}; }
STEP Command(WPARAM wParam) { return STEP{OP_COMMAND, NULL, NULL, NULL, NO_CONTENT, wParam}; }
STEP Key(BYTE bVk) { return STEP{OP_KEY, NULL, NULL, NULL, NO_CONTENT, bVk}; }
STEP CloseBox() { return STEP{OP_CLOSE_BOX, NULL, NULL, NULL, NO_CONTENT, 0}; }
STEP Choose(const char* szTitle, const char* szFile) { return STEP{OP_CHOOSE, szTitle, NULL, szFile, NO_CONTENT, 0}; }
STEP Cancel(const char* szTitle) { return Choose(szTitle, NULL); }
STEP Confirm() { return STEP{OP_CONFIRM, NULL, NULL, NULL, NO_CONTENT, 0}; }
STEP LimitAddressSpace() { return STEP{OP_LIMIT, NULL, NULL, NULL, NO_CONTENT, 0}; }
STEP Refused(const char* szTitle) { return STEP{OP_REFUSED, szTitle, NULL, NULL, NO_CONTENT, 0}; }
STEP Box(const char* szText, const char* szCaption) { return STEP{OP_BOX, szText, szCaption, NULL, NO_CONTENT, 0}; }
STEP Failure() { return Box(FAILURE_TEXT, FAILURE_CAPTION); }
STEP ModelBox(const char* szText) { return STEP{OP_MODEL_BOX, NULL, NULL, NULL, Parsed(szText), 0}; }
STEP Label(const char* szText) { return STEP{OP_LABEL, szText, NULL, NULL, NO_CONTENT, 0}; }
STEP Timed() { return Label(NULL); }
STEP File(const char* szFile, DATA data) { return STEP{OP_FILE, NULL, NULL, szFile, data, 0}; }
STEP FileOfSize(const char* szFile, DATA start, DWORD cb) { return STEP{OP_FILE, NULL, NULL, szFile, start, cb}; }
STEP ModelSaved(const char* szFile, const char* szText)
{
    return STEP{OP_MODEL_SAVED, NULL, NULL, szFile, Parsed(szText), 0};
}
STEP NoFile(const char* szFile) { return STEP{OP_NO_FILE, NULL, NULL, szFile, NO_CONTENT, 0}; }
STEP Files(UINT_PTR n) { return STEP{OP_FILES, NULL, NULL, NULL, NO_CONTENT, n}; }
STEP FilesOn(const char* szDisk, UINT_PTR n) { return STEP{OP_FILES, NULL, NULL, szDisk, NO_CONTENT, n}; }
STEP Quiet(UINT_PTR ms) { return STEP{OP_QUIET, NULL, NULL, NULL, NO_CONTENT, ms}; }
STEP Memory(MEMORYCHECK check) { return STEP{OP_MEMORY, NULL, NULL, NULL, NO_CONTENT, check}; }
STEP MemoryGrown(ULONGLONG cb) { return STEP{OP_MEMORY, NULL, NULL, NULL, Random(cb), MEM_GROWN}; }
STEP MemoryPeak(ULONGLONG cb) { return STEP{OP_MEMORY, NULL, NULL, NULL, Random(cb), MEM_PEAK}; }
STEP Exit(UINT_PTR uCode) { return STEP{OP_EXIT, NULL, NULL, NULL, NO_CONTENT, uCode}; }

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

std::vector<STEP> Steps(std::initializer_list<std::vector<STEP>> parts)
{
    std::vector<STEP> steps;
    for (const std::vector<STEP>& part : parts) {
        steps.insert(steps.end(), part.begin(), part.end());
    }
    return steps;
}

// hex2bin of a text, saved: the outcome, the count and the bytes saved are
// the ones the model reads from it.
std::vector<STEP> Hex2BinByModel(const char* szText, DATA text, const char* szOut)
{
    return {Write(szText, text), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, szText), Timed(), ModelBox(szText),
            Choose(SAVE_BIN_TITLE, szOut), ModelSaved(szOut, szText)};
}

// A hundred conversions of every outcome in one run of the program, with a
// failed save and a failed load in every round. The private memory is
// taken after the first round; in the second, while the output chooser is
// open, it must show the text the program holds then; at the end it must be
// back where it was.
const ULONGLONG CB_ROUND = 4 * MIB;
const int C_ROUNDS = 20;  // of five conversions each

std::vector<STEP> ManyConversions()
{
    std::vector<STEP> steps = {Write("r.bin", Random(CB_ROUND)), Write("gg.txt", Text("00 GG")),
                               Write("odd.txt", Text("00 FF 5")), Write("locked.txt", Text("0102")),
                               Write("held.hex", Text("kept"))};
    const char* szCount = Kept("%llu", CB_ROUND);
    for (int i = 0; i < C_ROUNDS; ++i) {
        const char* szHex = Kept("r%02d.hex", i);
        const char* szBack = Kept("r%02d.bin", i);
        const char* szOdd = Kept("odd%02d.bin", i);
        steps = Steps({steps, {Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "r.bin"), Timed()}});
        if (i == 1) {
            // The output block holds 12.75 MiB of text now. Wine counts the
            // pages written to, not the whole block of 16 MiB.
            steps.push_back(MemoryGrown(12 * MIB));
        }
        steps = Steps({steps,
                       {Choose(SAVE_HEX_TITLE, szHex), File(szHex, RandomHex(CB_ROUND)),
                        // back again
                        Click(IDC_HEX2BIN), Choose(OPEN_TITLE, szHex), Timed(), Box(OK_TEXT, szCount),
                        Choose(SAVE_BIN_TITLE, szBack), File(szBack, Random(CB_ROUND)),
                        // an invalid character, not saved
                        Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "gg.txt"), Timed(), Box(BAD_CHAR_TEXT, "1"),
                        Cancel(SAVE_BIN_TITLE),
                        // an unpaired digit, saved
                        Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "odd.txt"), Timed(), Box(UNPAIRED_TEXT, "3"),
                        Choose(SAVE_BIN_TITLE, szOdd), FileOfSize(szOdd, Bytes("\x00\xFF", 2), 3),
                        // a failed save
                        Hold("held.hex"), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "r.bin"), Timed(),
                        Choose(SAVE_HEX_TITLE, "held.hex"), Confirm(), Failure(), Release(),
                        // a failed load
                        HoldForWriting("locked.txt"), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "locked.txt"), Failure(),
                        Release()}});
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

// A line of the 1 GiB text: sixteen pairs in mixed case and a comment, 64
// bytes with its CR LF, so the text is a whole number of lines.
const char GIB_LINE[] = "0a 1B 2c 3D 4e 5F 60 71 - 82 93 a4 B5 c6 D7 e8 F9 ;a full line\r\n";
static_assert(sizeof(GIB_LINE) - 1 == 64, "a line of 64 bytes");

const std::vector<CASE> CASES = {
    {"bin2hex of an empty file: the empty text is saved, and reported as nothing written",
     {Write("empty.bin", Bytes("", 0)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "empty.bin"), Timed(),
      Choose(SAVE_HEX_TITLE, "empty.hex"), Failure(), File("empty.hex", Bytes("", 0))}},
    {"bin2hex of 16 bytes: one line ending in a lone CR",
     {Write("16.bin", Bytes(SIXTEEN_BYTES, 16)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "16.bin"), Timed(),
      Choose(SAVE_HEX_TITLE, "16.hex"), File("16.hex", Text(SIXTEEN_HEX))}},
    {"bin2hex of 17 bytes: a full line, CR LF, then the last pair",
     {Write("17.bin", Bytes(SIXTEEN_BYTES, 17)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "17.bin"), Timed(),
      Choose(SAVE_HEX_TITLE, "17.hex"), File("17.hex", Text(SEVENTEEN_HEX))}},
    {"bin2hex of 5000 random bytes",
     {Write("random.bin", Random(5000)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "random.bin"), Timed(),
      Choose(SAVE_HEX_TITLE, "random.hex"), File("random.hex", RandomHex(5000))}},
    {"hex2bin of 00 FF 5D DF: four bytes and success",
     {Write("four.txt", Text("00 FF 5D DF")), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "four.txt"), Timed(),
      Box(OK_TEXT, "4"), Choose(SAVE_BIN_TITLE, "four.bin"), File("four.bin", Bytes("\x00\xFF\x5D\xDF", 4))}},
    {"hex2bin of 00 GG: an invalid character after one byte, which can still be saved",
     {Write("gg.txt", Text("00 GG")), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "gg.txt"), Timed(),
      Box(BAD_CHAR_TEXT, "1"), Choose(SAVE_BIN_TITLE, "gg.bin"), File("gg.bin", Bytes("\x00", 1))}},
    {"hex2bin of 01, a zero byte, 02: the text stops at the zero byte and says so",
     {Write("zero.txt", Bytes("01\x00" "02", 5)), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "zero.txt"), Timed(),
      Box(BAD_CHAR_TEXT, "1"), Choose(SAVE_BIN_TITLE, "zero.bin"), File("zero.bin", Bytes("\x01", 1))}},
    {"hex2bin of a text ending in an unpaired digit: that byte is counted too",
     {Write("odd.txt", Text("00 FF 5")), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "odd.txt"), Timed(),
      Box(UNPAIRED_TEXT, "3"), Choose(SAVE_BIN_TITLE, "odd.bin"), FileOfSize("odd.bin", Bytes("\x00\xFF", 2), 3)}},
    {"hex2bin of comments, mixed case and pairs without separators",
     {Write("notes.txt", Text("; a header\r\n00 FF 5D DF\r\n0a0b-0C    ; mixed case, no spaces\r\n")),
      Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "notes.txt"), Timed(), Box(OK_TEXT, "7"),
      Choose(SAVE_BIN_TITLE, "notes.bin"), File("notes.bin", Bytes("\x00\xFF\x5D\xDF\x0A\x0B\x0C", 7))}},
    {"hex2bin of a TAB between pairs: an invalid character, the byte before it saved",
     {Write("tab.txt", Text("00\t01")), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "tab.txt"), Timed(),
      Box(BAD_CHAR_TEXT, "1"), Choose(SAVE_BIN_TITLE, "tab.bin"), File("tab.bin", Bytes("\x00", 1))}},
    {"hex2bin of an empty file: success with nothing, and the empty result reported as nothing written",
     {Write("empty.txt", Bytes("", 0)), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "empty.txt"), Timed(),
      Box(OK_TEXT, "0"), Choose(SAVE_BIN_TITLE, "empty.bin"), Failure(), File("empty.bin", Bytes("", 0))}},
    {"3000 random bytes through bin2hex and back through hex2bin, in one run of the program",
     {Write("orig.bin", Random(3000)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "orig.bin"), Timed(),
      Choose(SAVE_HEX_TITLE, "orig.hex"), File("orig.hex", RandomHex(3000)), Click(IDC_HEX2BIN),
      Choose(OPEN_TITLE, "orig.hex"), Timed(), Box(OK_TEXT, "3000"), Choose(SAVE_BIN_TITLE, "back.bin"),
      File("back.bin", Random(3000))}},
    {"bin2hex, input chooser cancelled: nothing changes",
     {Click(IDC_BIN2HEX), Cancel(OPEN_TITLE), Quiet(1000), Label(LABEL_AT_START), Files(0)}},
    {"hex2bin, input chooser cancelled: nothing changes",
     {Click(IDC_HEX2BIN), Cancel(OPEN_TITLE), Quiet(1000), Label(LABEL_AT_START), Files(0)}},
    {"bin2hex, output chooser cancelled: no file, the time is shown",
     {Write("in.bin", Random(100)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "in.bin"), Timed(),
      Cancel(SAVE_HEX_TITLE), Quiet(1000), Timed(), Files(1)}},
    {"hex2bin, output chooser cancelled: no file, the time and the outcome are shown",
     {Write("in.txt", Text("0A 0B")), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "in.txt"), Timed(),
      Box(OK_TEXT, "2"), Cancel(SAVE_BIN_TITLE), Quiet(1000), Timed(), Files(1)}},
    {"bin2hex onto a file another process holds open: confirm the overwrite, then failure",
     {Write("in.bin", Random(40)), Write("held.hex", Text("kept")), Hold("held.hex"), Click(IDC_BIN2HEX),
      Choose(OPEN_TITLE, "in.bin"), Timed(), Choose(SAVE_HEX_TITLE, "held.hex"), Confirm(), Failure(), Release(),
      File("held.hex", Text("kept"))}},
    {"hex2bin onto a file another process holds open: confirm the overwrite, then failure",
     {Write("in.txt", Text("C0FFEE")), Write("held.bin", Text("kept")), Hold("held.bin"), Click(IDC_HEX2BIN),
      Choose(OPEN_TITLE, "in.txt"), Timed(), Box(OK_TEXT, "3"), Choose(SAVE_BIN_TITLE, "held.bin"), Confirm(),
      Failure(), Release(), File("held.bin", Text("kept"))}},
    {"hex2bin onto a longer existing file: after the confirmation it holds exactly the new bytes",
     {Write("in.txt", Text("0102")), Write("long.bin", Random(100)), Click(IDC_HEX2BIN),
      Choose(OPEN_TITLE, "in.txt"), Timed(), Box(OK_TEXT, "2"), Choose(SAVE_BIN_TITLE, "long.bin"), Confirm(),
      File("long.bin", Bytes("\x01\x02", 2))}},
    {"hex2bin of a file another process holds open: failure, no conversion, no output chooser",
     {Write("in.txt", Text("0102")), Hold("in.txt"), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "in.txt"), Failure(),
      Quiet(1000), Label(LABEL_AT_START), Release(), Files(1)}},
    {"WM_COMMAND with IDOK changes nothing",
     {Command(IDOK), Quiet(1500), Label(LABEL_AT_START), Files(0)}},
    {"WM_COMMAND for bin2hex with a nonzero notification code changes nothing",
     {Command(MAKEWPARAM(IDC_BIN2HEX, 1)), Quiet(1500), Label(LABEL_AT_START), Files(0)}},
    {"commands posted while a conversion runs start nothing, a close waits for its end: one chooser at a time",
     {Write("in.bin", Random(20)), Click(IDC_BIN2HEX), Command(IDC_HEX2BIN), Command(IDCANCEL), Command(IDC_BIN2HEX),
      Choose(OPEN_TITLE, "in.bin"), Timed(), Command(IDC_HEX2BIN), CloseBox(), Choose(SAVE_HEX_TITLE, "in.hex"),
      Exit(0), File("in.hex", RandomHex(20)), Files(2)}},

    // Faults
    {"bin2hex of a file another process writes, sharing it: failure, no conversion, no output chooser",
     {Write("in.bin", Random(64)), HoldForWriting("in.bin"), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "in.bin"),
      Failure(), Quiet(1000), Label(LABEL_AT_START), Release(), Files(1)}},
    {"bin2hex onto a file of a read-only disk: confirm the overwrite, then failure, the file as it was",
     {Needs(NEED_RO_DISK), Keep("RO:kept.bin"), Write("in.bin", Random(40)), Click(IDC_BIN2HEX),
      Choose(OPEN_TITLE, "in.bin"), Timed(), Choose(SAVE_HEX_TITLE, "RO:kept.bin"), Confirm(), Failure()}},
    {"hex2bin onto a new file of a read-only disk: failure, no file",
     {Needs(NEED_RO_DISK), Write("in.txt", Text("0102")), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "in.txt"), Timed(),
      Box(OK_TEXT, "2"), Choose(SAVE_BIN_TITLE, "RO:new.bin"), Failure(), NoFile("RO:new.bin")}},
    {"hex2bin into a folder that does not exist: no file",
     {Write("in.txt", Text("0102")), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "in.txt"), Timed(), Box(OK_TEXT, "2"),
      Choose(SAVE_BIN_TITLE, "no such folder\\out.bin"), Failure(), Files(1)}},
    {"bin2hex onto a disk too full for the text: failure, and no part of it left behind",
     {Needs(NEED_FULL_DISK), Write("small.txt", Text("C0FFEE")), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "small.txt"),
      Timed(), Box(OK_TEXT, "3"), Choose(SAVE_BIN_TITLE, "FULL:small.bin"), File("FULL:small.bin", Text("\xC0\xFF\xEE")),
      Write("in.bin", Random(20000)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "in.bin"), Timed(),
      Choose(SAVE_HEX_TITLE, "FULL:in.hex"), Failure(), NoFile("FULL:in.hex"), File("FULL:small.bin", Text("\xC0\xFF\xEE"))}},
    {"bin2hex over a file of a disk with room for it, not for the text: failure, the file as it was, nothing beside",
     {Needs(NEED_FULL_DISK), Write("FULL:old.hex", Random(16000)), Write("in.bin", Random(20000)), Click(IDC_BIN2HEX),
      Choose(OPEN_TITLE, "in.bin"), Timed(), Choose(SAVE_HEX_TITLE, "FULL:old.hex"), Confirm(), Failure(),
      File("FULL:old.hex", Random(16000)), FilesOn("FULL:", 1)}},

    // Huge input
    {"a file of 4 GiB and 10 bytes: refused by both commands, nothing converted; then a conversion works",
     {Write("huge.bin", Sparse("", 4 * GIB + 10)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "huge.bin"), Failure(),
      Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "huge.bin"), Failure(), Quiet(500), Label(LABEL_AT_START),
      Write("in.bin", Random(100)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "in.bin"), Timed(),
      Choose(SAVE_HEX_TITLE, "in.hex"), File("in.hex", RandomHex(100))}},
    {"1 GiB of hex text: bin2hex refuses it before converting, hex2bin converts all of it",
     {Write("gib.txt", Repeat(GIB_LINE, GIB)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "gib.txt"), Failure(),
      Quiet(500), Label(LABEL_AT_START), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "gib.txt"), Timed(),
      ModelBox("gib.txt"), Choose(SAVE_BIN_TITLE, "gib.bin"), ModelSaved("gib.bin", "gib.txt")}},
    {"held to the address space it has, as a 32-bit program is: an output block that does not fit is refused, "
     "nothing converted; then a conversion works",
     {Needs(NEED_LIMITER), Write("half.bin", Sparse("", 512 * MIB)), Write("big.txt", Repeat(GIB_LINE, 1280 * MIB)),
      Click(IDC_BIN2HEX), LimitAddressSpace(), Choose(OPEN_TITLE, "half.bin"), Failure(), MemoryPeak(512 * MIB),
      Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "big.txt"), Failure(), MemoryPeak(1280 * MIB), Quiet(500),
      Label(LABEL_AT_START), Write("in.txt", Text("0102")), Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "in.txt"), Timed(),
      Box(OK_TEXT, "2"), Choose(SAVE_BIN_TITLE, "in.bin"), File("in.bin", Bytes("\x01\x02", 2))}},

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
    {"names with spaces",
     {Write("my input  file.bin", Random(50)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "my input  file.bin"), Timed(),
      Choose(SAVE_HEX_TITLE, "my output file .hex"), File("my output file .hex", RandomHex(50))}},
    {"paths of 259 characters, the longest there is",
     {Write("in{259}.bin", Random(50)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "in{259}.bin"), Timed(),
      Choose(SAVE_HEX_TITLE, "out{259}.hex"), File("out{259}.hex", RandomHex(50))}},
    {"an output path of 260 characters: the chooser refuses it, no file",
     {Write("in.bin", Random(50)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "in.bin"), Timed(),
      Choose(SAVE_HEX_TITLE, "out{260}.hex"), Refused(SAVE_HEX_TITLE), Quiet(500), Files(1)}},
    {"an output path of 400 characters: the chooser refuses it, no file",
     {Write("in.bin", Random(50)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "in.bin"), Timed(),
      Choose(SAVE_HEX_TITLE, "out{400}.hex"), Refused(SAVE_HEX_TITLE), Quiet(500), Files(1)}},
    {"a bare output name of 258 characters, too long for any folder: the chooser refuses it, no file",
     {Write("in.bin", Random(50)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "in.bin"), Timed(),
      Choose(SAVE_HEX_TITLE, "REL:out{258}.hex"), Refused(SAVE_HEX_TITLE), Quiet(500), Files(1)}},
    {"an input path of 400 characters: the chooser refuses it, nothing changes",
     {Click(IDC_HEX2BIN), Choose(OPEN_TITLE, "in{400}.txt"), Refused(OPEN_TITLE), Quiet(500),
      Label(LABEL_AT_START), Files(0)}},

    // Big files, and no leak
    {"256 MiB of random bytes through bin2hex and back through hex2bin",
     {Write("big.bin", Random(256 * MIB)), Click(IDC_BIN2HEX), Choose(OPEN_TITLE, "big.bin"), Timed(),
      Choose(SAVE_HEX_TITLE, "big.hex"), File("big.hex", RandomHex(256 * MIB)), Click(IDC_HEX2BIN),
      Choose(OPEN_TITLE, "big.hex"), Timed(), Box(OK_TEXT, "268435456"), Choose(SAVE_BIN_TITLE, "back.bin"),
      File("back.bin", Random(256 * MIB))}},
    {"a hundred conversions of every outcome: the private memory back where it was, no file left open",
     ManyConversions()},

    {"Close ends the program with exit code 0", {Click(IDCANCEL), Exit(0)}},
    {"Esc ends the program with exit code 0", {Key(VK_ESCAPE), Exit(0)}},
    {"the close box ends the program with exit code 0", {CloseBox(), Exit(0)}},
};

// ---------------------------------------------------------------------------
// The run of one case

// A file that must be as it was when the case ends.
struct KEPT {
    std::string sPath;
    ULONGLONG cb;
    FILETIME ftWrite;
    ULONGLONG ullHash;
};

struct RUN {
    PROCESS_INFORMATION pi;
    char szLog[MAX_PATH];  // what the program and Wine print, kept out of the report unless the case fails
    HWND hDlg;
    char szDir[MAX_PATH];  // the case's own folder, ending in a backslash
    HANDLE rghHeld[4];
    int cHeld;
    std::vector<KEPT> kept;            // the program's inputs, and the files held against it
    std::vector<std::string> touched;  // every path typed into a chooser
    SIZE_T cbBaseline;                 // the private memory OP_MEMORY remembered
    std::string sNotes;                // figures for the report, below the case's line
    char szSkip[256];                  // why the case cannot run here
    char szWhy[1024];                  // why the case failed
};

// Records why the case fails, for the FAIL line; returns FALSE for the caller to return.
__attribute__((format(gnu_printf, 2, 3))) BOOL Fail(RUN* pRun, const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    vsnprintf(pRun->szWhy, sizeof(pRun->szWhy), szFormat, args);
    va_end(args);
    return FALSE;
}

__attribute__((format(gnu_printf, 2, 3))) void Note(RUN* pRun, const char* szFormat, ...)
{
    char szLine[256];
    va_list args;
    va_start(args, szFormat);
    vsnprintf(szLine, sizeof(szLine), szFormat, args);
    va_end(args);
    pRun->sNotes += std::string("        ") + szLine + "\n";
}

BOOL ProgramEnded(const RUN* pRun)
{
    return WaitForSingleObject(pRun->pi.hProcess, 0) == WAIT_OBJECT_0;
}

double Mebibytes(ULONGLONG cb)
{
    return static_cast<double>(cb) / static_cast<double>(MIB);
}

// Where a file of a case is: in the case's folder, or on a disk the test
// run mounted ("FULL:name", "RO:name"); "REL:name" is the bare name, as typed
// into a chooser for its own folder. A "{N}" in the name is filled with x's
// so that the whole path is N characters long.
std::string PathOf(const RUN* pRun, const char* szFile)
{
    const char REL[] = "REL:";
    std::string sPath = strncmp(szFile, REL, strlen(REL)) == 0 ? szFile + strlen(REL) : pRun->szDir + std::string(szFile);
    for (const NEED& need : g_rgNeed) {
        const size_t cchPrefix = need.szPrefix != NULL ? strlen(need.szPrefix) : 0;
        if (cchPrefix != 0 && strncmp(szFile, need.szPrefix, cchPrefix) == 0) {
            sPath = need.sValue + "\\" + (szFile + cchPrefix);
        }
    }
    const size_t iOpen = sPath.find('{');
    const size_t iClose = sPath.find('}');
    if (iOpen != std::string::npos && iClose != std::string::npos) {
        const size_t cchWant = strtoul(sPath.c_str() + iOpen + 1, NULL, 10);
        sPath.erase(iOpen, iClose - iOpen + 1);
        if (cchWant > sPath.size()) {
            sPath.insert(iOpen, cchWant - sPath.size(), 'x');
        }
    }
    return sPath;
}

// A Windows path: absolute Unix paths are seen through Wine's drive Z:.
void ToWindowsPath(const char* szPath, char* szOut, size_t cchOut)
{
    snprintf(szOut, cchOut, "%s%s", szPath[0] == '/' ? "Z:" : "", szPath);
    for (char* p = szOut; *p != '\0'; ++p) {
        if (*p == '/') {
            *p = '\\';
        }
    }
}

// ---------------------------------------------------------------------------
// Contents, a piece at a time

const DWORD CB_PIECE = 1u << 20;  // a whole number of hex lines (16 bytes) and of GIB_LINE
static_assert(CB_PIECE % 16 == 0 && CB_PIECE % (sizeof(GIB_LINE) - 1) == 0, "pieces end at line ends");

struct STREAM {
    DATA data;
    ULONGLONG cbDone;     // of the source given so far: random bytes, text, zero bytes
    DWORD dwState;        // the random generator's: the same bytes for the same size, in every run
    HANDLE hText;         // DATA_PARSED: the text the model reads
    std::string sCarry;   // DATA_PARSED: what was read after the last LF
    BOOL fEnded;          // DATA_PARSED: the model has stopped
    BOOL fFailed;         // the text could not be read; the run says why
    int status;           // DATA_PARSED: the outcome the program must report
    ULONGLONG cbOut;      // DATA_PARSED: the bytes the model has made
};

BOOL OpenStream(RUN* pRun, const DATA& data, STREAM* pStream)
{
    *pStream = STREAM{};
    pStream->data = data;
    pStream->dwState = 0x9E3779B9u ^ static_cast<DWORD>(data.cb);
    pStream->hText = INVALID_HANDLE_VALUE;
    if (data.kind != DATA_PARSED) {
        return TRUE;
    }
    pStream->hText = CreateFileA(PathOf(pRun, data.pb).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                 OPEN_EXISTING, 0, NULL);
    if (pStream->hText == INVALID_HANDLE_VALUE) {
        return Fail(pRun, "cannot read %s for the model (error %lu)", data.pb, GetLastError());
    }
    return TRUE;
}

void CloseStream(STREAM* pStream)
{
    if (pStream->hText != INVALID_HANDLE_VALUE) {
        CloseHandle(pStream->hText);
        pStream->hText = INVALID_HANDLE_VALUE;
    }
}

std::string NextRandom(STREAM* pStream)
{
    const ULONGLONG cb = std::min<ULONGLONG>(CB_PIECE, pStream->data.cb - pStream->cbDone);
    std::string bytes(static_cast<size_t>(cb), '\0');
    DWORD dwState = pStream->dwState;
    for (char& ch : bytes) {
        dwState ^= dwState << 13;
        dwState ^= dwState >> 17;
        dwState ^= dwState << 5;
        ch = static_cast<char>(dwState >> 24);
    }
    pStream->dwState = dwState;
    pStream->cbDone += cb;
    return bytes;
}

// The model reads the text a piece at a time, each piece ending right after
// an LF. There the parser stands between two tokens, in a comment or not
// (an LF ends a comment and is a separator outside one), so each piece reads
// alone just as it reads within the whole text.
BOOL NextParsed(RUN* pRun, STREAM* pStream, std::string* psPiece)
{
    if (pStream->fEnded) {
        return FALSE;
    }
    std::string sText;
    BOOL fLast = FALSE;
    std::string sRead(CB_PIECE, '\0');
    for (;;) {
        DWORD cbRead = 0;
        if (!ReadFile(pStream->hText, &sRead[0], CB_PIECE, &cbRead, NULL)) {
            pStream->fFailed = TRUE;
            return Fail(pRun, "cannot read %s for the model (error %lu)", pStream->data.pb, GetLastError());
        }
        pStream->sCarry.append(sRead, 0, cbRead);
        if (cbRead == 0) {
            sText.swap(pStream->sCarry);
            fLast = TRUE;
            break;
        }
        const size_t iLf = pStream->sCarry.rfind('\n');
        if (iLf != std::string::npos) {
            sText = pStream->sCarry.substr(0, iLf + 1);
            pStream->sCarry.erase(0, iLf + 1);
            break;
        }
    }
    const ModelParse parse = ModelParseText(sText);
    const BOOL fZero = sText.find('\0') != std::string::npos;
    pStream->cbOut += parse.bytes.size();
    if (parse.status != 0 || fZero || fLast) {
        pStream->fEnded = TRUE;
        // A zero byte in the data cuts the text short: the program says so
        // as an invalid character.
        pStream->status = parse.status == 0 && fZero ? 1 : parse.status;
    }
    psPiece->assign(parse.bytes.begin(), parse.bytes.end());
    return TRUE;
}

// The next piece of the content; FALSE at its end (or when a text cannot
// be read: then fFailed is set).
BOOL NextPiece(RUN* pRun, STREAM* pStream, std::string* psPiece)
{
    const DATA& data = pStream->data;
    if (data.kind == DATA_PARSED) {
        return NextParsed(pRun, pStream, psPiece);
    }
    if (pStream->cbDone == data.cb) {
        return FALSE;
    }
    switch (data.kind) {
    case DATA_BYTES:
        psPiece->assign(data.pb, static_cast<size_t>(data.cb));
        pStream->cbDone = data.cb;
        return TRUE;
    case DATA_RANDOM:
        *psPiece = NextRandom(pStream);
        return TRUE;
    case DATA_RANDOM_HEX: {
        const std::string bytes = NextRandom(pStream);
        *psPiece = ModelFormat(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        if (pStream->cbDone < data.cb) {
            *psPiece += '\n';  // the piece ended a line with its CR; the text goes on
        }
        return TRUE;
    }
    case DATA_RANDOM_PAIRS: {
        static const char DIGITS[] = "0123456789abcdef";
        const std::string bytes = NextRandom(pStream);
        psPiece->clear();
        for (char ch : bytes) {
            const unsigned char b = static_cast<unsigned char>(ch);
            *psPiece += DIGITS[b >> 4];
            *psPiece += DIGITS[b & 15];
        }
        return TRUE;
    }
    case DATA_REPEAT: {
        const size_t cchText = strlen(data.pb);
        const size_t cb = static_cast<size_t>(std::min<ULONGLONG>(CB_PIECE, data.cb - pStream->cbDone));
        psPiece->clear();
        while (psPiece->size() < cb) {
            const size_t iFrom = static_cast<size_t>((pStream->cbDone + psPiece->size()) % cchText);
            psPiece->append(data.pb + iFrom, std::min(cchText - iFrom, cb - psPiece->size()));
        }
        pStream->cbDone += cb;
        return TRUE;
    }
    case DATA_SPARSE:
        if (pStream->cbDone == 0 && data.pb[0] != '\0') {
            psPiece->assign(data.pb);
        } else {
            psPiece->assign(static_cast<size_t>(std::min<ULONGLONG>(CB_PIECE, data.cb - pStream->cbDone)), '\0');
        }
        pStream->cbDone += psPiece->size();
        return TRUE;
    case DATA_PARSED:
        break;
    }
    return FALSE;
}

// Reads up to cb bytes into *ps, fewer only at the end of the file.
BOOL ReadUpTo(HANDLE hFile, std::string* ps, size_t cb)
{
    ps->resize(cb);
    size_t cbHave = 0;
    while (cbHave < cb) {
        DWORD cbRead = 0;
        if (!ReadFile(hFile, &(*ps)[cbHave], static_cast<DWORD>(cb - cbHave), &cbRead, NULL)) {
            return FALSE;
        }
        if (cbRead == 0) {
            break;
        }
        cbHave += cbRead;
    }
    ps->resize(cbHave);
    return TRUE;
}

BOOL WriteData(RUN* pRun, const char* szFile, const DATA& data)
{
    HANDLE hFile = CreateFileA(PathOf(pRun, szFile).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        return Fail(pRun, "cannot write %s (error %lu)", szFile, GetLastError());
    }
    STREAM stream;
    BOOL fWritten = OpenStream(pRun, data, &stream);
    std::string sPiece;
    while (fWritten && NextPiece(pRun, &stream, &sPiece)) {
        if (data.kind == DATA_SPARSE && sPiece.find_first_not_of('\0') == std::string::npos) {
            break;  // the rest is zero bytes: a hole
        }
        DWORD cbWritten = 0;
        fWritten = WriteFile(hFile, sPiece.data(), static_cast<DWORD>(sPiece.size()), &cbWritten, NULL) &&
                   cbWritten == sPiece.size();
    }
    CloseStream(&stream);
    if (fWritten && data.kind == DATA_SPARSE) {
        LARGE_INTEGER liSize;
        liSize.QuadPart = static_cast<LONGLONG>(data.cb);
        fWritten = SetFilePointerEx(hFile, liSize, NULL, FILE_BEGIN) && SetEndOfFile(hFile);
    }
    const DWORD dwError = GetLastError();
    CloseHandle(hFile);
    return fWritten || stream.fFailed ? fWritten : Fail(pRun, "cannot write %s (error %lu)", szFile, dwError);
}

// The file holds exactly what the data gives (cbSize > 0: the file has
// cbSize bytes, and the data begins it).
BOOL CheckFile(RUN* pRun, const char* szFile, const DATA& data, ULONGLONG cbSize)
{
    HANDLE hFile = CreateFileA(PathOf(pRun, szFile).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0,
                               NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        return Fail(pRun, "%s was not written (error %lu)", szFile, GetLastError());
    }
    STREAM stream;
    BOOL fSame = OpenStream(pRun, data, &stream);
    ULONGLONG cbWant = 0;
    std::string sWant;
    std::string sGot;
    while (fSame && NextPiece(pRun, &stream, &sWant)) {
        if (!ReadUpTo(hFile, &sGot, sWant.size())) {
            fSame = Fail(pRun, "cannot read %s (error %lu)", szFile, GetLastError());
            break;
        }
        const auto mismatch = std::mismatch(sGot.begin(), sGot.end(), sWant.begin());
        if (mismatch.first != sGot.end()) {
            fSame = Fail(pRun, "%s: byte %llu is 0x%02X, want 0x%02X", szFile,
                         cbWant + static_cast<ULONGLONG>(mismatch.first - sGot.begin()),
                         static_cast<unsigned char>(*mismatch.first), static_cast<unsigned char>(*mismatch.second));
        }
        cbWant += sWant.size();
    }
    CloseStream(&stream);
    LARGE_INTEGER liSize;
    const BOOL fSized = GetFileSizeEx(hFile, &liSize);
    CloseHandle(hFile);
    if (!fSame || stream.fFailed) {
        return FALSE;
    }
    const ULONGLONG cbFile = fSized ? static_cast<ULONGLONG>(liSize.QuadPart) : 0;
    if (cbFile != (cbSize != 0 ? cbSize : cbWant)) {
        return Fail(pRun, "%s: %llu bytes, want %llu; the first %llu are as expected%s", szFile, cbFile,
                    cbSize != 0 ? cbSize : cbWant, std::min(cbFile, cbWant),
                    cbSize != 0 ? " (of the expected size, only the first bytes are known)" : "");
    }
    return TRUE;
}

// What the model says hex2bin makes of a text: its outcome and count.
BOOL RunModel(RUN* pRun, const DATA& text, int* pStatus, ULONGLONG* pcb)
{
    STREAM stream;
    if (!OpenStream(pRun, text, &stream)) {
        return FALSE;
    }
    std::string sPiece;
    while (NextPiece(pRun, &stream, &sPiece)) {
    }
    CloseStream(&stream);
    *pStatus = stream.status;
    *pcb = stream.cbOut;
    return !stream.fFailed;
}

// ---------------------------------------------------------------------------
// What must hold in every case

// A hash of the file's content, with its size and last-write time.
BOOL TakeSnapshot(const std::string& sPath, KEPT* pKept)
{
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    BY_HANDLE_FILE_INFORMATION info;
    BOOL fTaken = GetFileInformationByHandle(hFile, &info);
    pKept->sPath = sPath;
    pKept->cb = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    pKept->ftWrite = info.ftLastWriteTime;
    ULONGLONG ullHash = 0xCBF29CE484222325ull;
    std::string sPiece;
    while (fTaken && (fTaken = ReadUpTo(hFile, &sPiece, CB_PIECE)) && !sPiece.empty()) {
        // Eight bytes at a time: a gigabyte must not take long.
        size_t i = 0;
        for (; i + 8 <= sPiece.size(); i += 8) {
            ULONGLONG ullWord;
            memcpy(&ullWord, sPiece.data() + i, 8);
            ullHash = (ullHash ^ ullWord) * 0x100000001B3ull;
            ullHash ^= ullHash >> 29;
        }
        for (; i < sPiece.size(); ++i) {
            ullHash = (ullHash ^ static_cast<unsigned char>(sPiece[i])) * 0x100000001B3ull;
        }
    }
    pKept->ullHash = ullHash;
    CloseHandle(hFile);
    return fTaken;
}

// Remembers the file as it is now, to be checked when the case ends; a file
// that does not exist has nothing to keep, unless it must.
BOOL KeepFile(RUN* pRun, const std::string& sPath, BOOL fMustExist)
{
    for (const KEPT& kept : pRun->kept) {
        if (kept.sPath == sPath) {
            return TRUE;
        }
    }
    KEPT kept;
    if (!TakeSnapshot(sPath, &kept)) {
        return fMustExist ? Fail(pRun, "cannot read %s (error %lu)", sPath.c_str(), GetLastError()) : TRUE;
    }
    pRun->kept.push_back(kept);
    return TRUE;
}

BOOL CheckKept(RUN* pRun)
{
    for (const KEPT& kept : pRun->kept) {
        KEPT now;
        if (!TakeSnapshot(kept.sPath, &now)) {
            return Fail(pRun, "%s can no longer be read (error %lu)", kept.sPath.c_str(), GetLastError());
        }
        if (now.cb != kept.cb || now.ullHash != kept.ullHash) {
            return Fail(pRun, "%s changed: %llu bytes before, %llu now%s", kept.sPath.c_str(), kept.cb, now.cb,
                        now.cb == kept.cb ? ", and other content" : "");
        }
        if (CompareFileTime(&now.ftWrite, &kept.ftWrite) != 0) {
            return Fail(pRun, "%s has a new last-write time", kept.sPath.c_str());
        }
    }
    return TRUE;
}

// Every file named in a chooser that exists can be opened without sharing:
// the program holds no handle to it.
BOOL CheckNoneOpen(RUN* pRun)
{
    for (const std::string& sPath : pRun->touched) {
        if (GetFileAttributesA(sPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (hFile == INVALID_HANDLE_VALUE) {
            return Fail(pRun, "%s cannot be opened without sharing (error %lu): a handle to it is still open",
                        sPath.c_str(), GetLastError());
        }
        CloseHandle(hFile);
    }
    return TRUE;
}

std::string WindowText(HWND hwnd)
{
    char szText[512] = "";
    GetWindowTextA(hwnd, szText, sizeof(szText));
    return szText;
}

std::string LabelText(const RUN* pRun)
{
    return WindowText(GetDlgItem(pRun->hDlg, IDC_TIMING));
}

// Until a conversion has run (the label still reads as at start), the
// program runs at the class it was started with; after one, at the normal
// class, whatever happened after it.
BOOL CheckPriority(RUN* pRun, const char* szWhen)
{
    const BOOL fConverted = LabelText(pRun) != LABEL_AT_START;
    const DWORD dwWant = fConverted ? NORMAL_PRIORITY_CLASS : START_CLASS;
    const DWORD dwGot = GetPriorityClass(pRun->pi.hProcess);
    if (dwGot != dwWant) {
        return Fail(pRun, "%s the program runs at priority class 0x%lX, want 0x%lX (%s)", szWhen, dwGot, dwWant,
                    fConverted ? "normal, after a conversion" : "as started, since nothing was converted");
    }
    return TRUE;
}

// The program's private memory: its commit charge. Windows reports it in
// both fields; Wine leaves PrivateUsage at 0, and reports as PagefileUsage
// the private pages that have been written to. With fPeak, the peak working
// set instead.
SIZE_T MemoryOf(const RUN* pRun, BOOL fPeak)
{
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    if (!GetProcessMemoryInfo(pRun->pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc))) {
        return 0;
    }
    if (fPeak) {
        return pmc.PeakWorkingSetSize;
    }
    return pmc.PrivateUsage != 0 ? pmc.PrivateUsage : pmc.PagefileUsage;
}

// ---------------------------------------------------------------------------
// The windows

BOOL HasClass(HWND hwnd, const char* szClass)
{
    char szName[64] = "";
    GetClassNameA(hwnd, szName, sizeof(szName));
    return strcmp(szName, szClass) == 0;
}

// What the program shows at the moment: its visible top-level windows.
struct WINDOWS {
    DWORD dwPid;
    HWND rghwnd[16];
    int chwnd;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lParam)
{
    WINDOWS* pWindows = reinterpret_cast<WINDOWS*>(lParam);
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hwnd, &dwPid);
    if (dwPid == pWindows->dwPid && IsWindowVisible(hwnd) && pWindows->chwnd < 16) {
        pWindows->rghwnd[pWindows->chwnd++] = hwnd;
    }
    return TRUE;
}

void CollectWindows(const RUN* pRun, WINDOWS* pWindows)
{
    pWindows->dwPid = pRun->pi.dwProcessId;
    pWindows->chwnd = 0;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(pWindows));
}

// A window and its controls, for a FAIL line that says what was there instead.
std::string DescribeWindow(HWND hwnd)
{
    char szItem[600];
    char szClass[64] = "";
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    snprintf(szItem, sizeof(szItem), "[%s \"%s\"", szClass, WindowText(hwnd).c_str());
    std::string s = szItem;
    for (HWND hChild = GetWindow(hwnd, GW_CHILD); hChild != NULL; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        if (IsWindowVisible(hChild) && GetWindowTextLengthA(hChild) > 0) {
            snprintf(szItem, sizeof(szItem), " %d:\"%s\"", GetDlgCtrlID(hChild), WindowText(hChild).c_str());
            s += szItem;
        }
    }
    return s + "]";
}

// The first visible dialog-class window owned by hwndOwner, other than
// hwndSkip; NULL if none is there yet.
HWND FindOwnedDialog(const RUN* pRun, HWND hwndOwner, HWND hwndSkip)
{
    WINDOWS windows;
    CollectWindows(pRun, &windows);
    for (int i = 0; i < windows.chwnd; ++i) {
        HWND hwnd = windows.rghwnd[i];
        if (hwnd != hwndSkip && GetWindow(hwnd, GW_OWNER) == hwndOwner && HasClass(hwnd, DIALOG_CLASS)) {
            return hwnd;
        }
    }
    return NULL;
}

// Every wait of the driver: polls fDone() until it holds. At the deadline,
// or as soon as the program has ended, fails with what it waited for; a
// caller may then say more with a Fail of its own.
template <typename FN>
BOOL WaitFor(RUN* pRun, DWORD dwTimeoutMs, const char* szWhat, FN fDone)
{
    const ULONGLONG ullDeadline = GetTickCount64() + dwTimeoutMs;
    while (!fDone()) {
        if (ProgramEnded(pRun)) {
            return Fail(pRun, "the program ended while waiting for %s", szWhat);
        }
        if (GetTickCount64() > ullDeadline) {
            return Fail(pRun, "no %s within %lu ms", szWhat, dwTimeoutMs);
        }
        Sleep(POLL_MS);
    }
    return TRUE;
}

BOOL WaitForOwnedDialog(RUN* pRun, HWND hwndOwner, const char* szWhat, HWND* phwnd)
{
    if (!WaitFor(pRun, STEP_MS, szWhat, [&] { return (*phwnd = FindOwnedDialog(pRun, hwndOwner, NULL)) != NULL; })) {
        const std::string sWhy = pRun->szWhy;
        return Fail(pRun, "%s; the program shows %s", sWhy.c_str(), DescribeWindow(pRun->hDlg).c_str());
    }
    return TRUE;
}

BOOL WaitUntilGone(RUN* pRun, HWND hwnd, const char* szWhat)
{
    return WaitFor(pRun, STEP_MS, szWhat, [&] { return !IsWindow(hwnd); });
}

// Posted, never sent: a click that opens a modal dialog would not return.
BOOL ClickButton(RUN* pRun, HWND hwndParent, int id)
{
    HWND hButton = GetDlgItem(hwndParent, id);
    if (hButton == NULL || !IsWindowVisible(hButton)) {
        return Fail(pRun, "no button %d in %s", id, DescribeWindow(hwndParent).c_str());
    }
    PostMessageA(hButton, BM_CLICK, 0, 0);
    return TRUE;
}

BOOL StartProgram(RUN* pRun, const char* szProgram)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, TRUE};
    HANDLE hLog = CreateFileA(pRun->szLog, GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, NULL);
    if (hLog == INVALID_HANDLE_VALUE) {
        return Fail(pRun, "cannot make %s (error %lu)", pRun->szLog, GetLastError());
    }
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hLog;
    si.hStdError = hLog;
    const BOOL fStarted =
        CreateProcessA(szProgram, NULL, NULL, NULL, TRUE, START_CLASS, NULL, pRun->szDir, &si, &pRun->pi);
    CloseHandle(hLog);
    if (!fStarted) {
        return Fail(pRun, "cannot start %s (error %lu)", szProgram, GetLastError());
    }
    const BOOL fShown = WaitFor(pRun, START_MS, "the dialog", [&] {
        WINDOWS windows;
        CollectWindows(pRun, &windows);
        for (int i = 0; i < windows.chwnd; ++i) {
            if (WindowText(windows.rghwnd[i]) == DIALOG_TITLE) {
                pRun->hDlg = windows.rghwnd[i];
                return TRUE;
            }
        }
        return FALSE;
    });
    if (!fShown) {
        return FALSE;
    }
    // Wine starts every process at the normal class, whatever CreateProcess
    // is asked; a class set from outside holds and reads back.
    SetPriorityClass(pRun->pi.hProcess, START_CLASS);
    const DWORD dwClass = GetPriorityClass(pRun->pi.hProcess);
    if (dwClass != START_CLASS) {
        return Fail(pRun, "the program cannot be run at priority class 0x%lX: it reads 0x%lX", START_CLASS, dwClass);
    }
    return TRUE;
}

// A time in milliseconds as the label shows it: a bare decimal number.
BOOL IsMilliseconds(const std::string& s)
{
    if (s.empty() || s.size() > 6 || (s[0] == '0' && s.size() > 1)) {
        return FALSE;
    }
    return s.find_first_not_of("0123456789") == std::string::npos;
}

// A window of the program owned by hwndOwner, with the title given (any if
// NULL); while it is open, the program must run at the right class.
BOOL WaitForWindow(RUN* pRun, HWND hwndOwner, const char* szWhat, const char* szTitle, HWND* phwnd)
{
    if (!WaitForOwnedDialog(pRun, hwndOwner, szWhat, phwnd)) {
        return FALSE;
    }
    if (szTitle != NULL && WindowText(*phwnd) != szTitle) {
        return Fail(pRun, "expected the %s \"%s\", got %s", szWhat, szTitle, DescribeWindow(*phwnd).c_str());
    }
    if (!IsWindowVisible(pRun->hDlg)) {
        return Fail(pRun, "the dialog is hidden while its %s is open", szWhat);
    }
    return CheckPriority(pRun, "while a window of it is open,");
}

// A chooser of the program: the right title, owned by the dialog, with the
// file-name box; types the name and clicks OK, or clicks Cancel. The file
// an Open chooser is given must come through the case unchanged.
BOOL DoChoose(RUN* pRun, const STEP& step)
{
    HWND hChooser = NULL;
    if (!WaitForWindow(pRun, pRun->hDlg, "file chooser", step.szText, &hChooser)) {
        return FALSE;
    }
    if (step.szFile == NULL) {
        return ClickButton(pRun, hChooser, IDCANCEL) && WaitUntilGone(pRun, hChooser, "the chooser to close");
    }
    HWND hName = GetDlgItem(hChooser, IDC_CHOOSER_NAME);
    if (hName == NULL) {
        hName = GetDlgItem(hChooser, IDC_CHOOSER_NAME_EDIT);
    }
    if (hName == NULL) {
        return Fail(pRun, "the chooser has no file-name box: %s", DescribeWindow(hChooser).c_str());
    }
    const std::string sPath = PathOf(pRun, step.szFile);
    pRun->touched.push_back(sPath);
    if (strcmp(step.szText, OPEN_TITLE) == 0 && !KeepFile(pRun, sPath, FALSE)) {
        return FALSE;
    }
    DWORD_PTR dwResult = 0;
    if (!SendMessageTimeoutA(hName, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(sPath.c_str()), SMTO_NORMAL, STEP_MS,
                             &dwResult)) {
        return Fail(pRun, "could not type the file name into \"%s\"", step.szText);
    }
    if (!ClickButton(pRun, hChooser, IDOK)) {
        return FALSE;
    }
    // The chooser closes, or asks a question first (a file to replace).
    return WaitFor(pRun, STEP_MS, "the chooser to close", [&] {
        return !IsWindow(hChooser) || FindOwnedDialog(pRun, hChooser, NULL) != NULL;
    });
}

// Before replacing a file the chooser asks, in a box of its own; answers Yes.
BOOL DoConfirm(RUN* pRun)
{
    HWND hChooser = NULL;
    HWND hQuestion = NULL;
    if (!WaitForWindow(pRun, pRun->hDlg, "file chooser", NULL, &hChooser) ||
        !WaitForWindow(pRun, hChooser, "question whether to replace the file", NULL, &hQuestion)) {
        return FALSE;
    }
    return ClickButton(pRun, hQuestion, IDYES) && WaitUntilGone(pRun, hChooser, "the chooser to close");
}

// The chooser will not take the name: it says so in a box of its own and
// stays open. Answers the box, then cancels the chooser.
BOOL DoRefused(RUN* pRun, const STEP& step)
{
    HWND hChooser = NULL;
    HWND hBox = NULL;
    if (!WaitForWindow(pRun, pRun->hDlg, "file chooser", step.szText, &hChooser) ||
        !WaitForWindow(pRun, hChooser, "box refusing the name", NULL, &hBox)) {
        return FALSE;
    }
    Note(pRun, "the chooser refused the name: %s", DescribeWindow(hBox).c_str());
    return ClickButton(pRun, hBox, IDOK) && WaitUntilGone(pRun, hBox, "the box to close") &&
           ClickButton(pRun, hChooser, IDCANCEL) && WaitUntilGone(pRun, hChooser, "the chooser to close");
}

// A message box of the program: owned by the dialog, the expected text and
// caption, one OK button and nothing else to click; clicks OK.
BOOL ShowsBox(RUN* pRun, const char* szText, const char* szCaption)
{
    HWND hBox = NULL;
    if (!WaitForWindow(pRun, pRun->hDlg, "message box", NULL, &hBox)) {
        return FALSE;
    }
    const std::string sDescription = DescribeWindow(hBox);
    HWND hText = GetDlgItem(hBox, IDC_MSGBOX_TEXT);
    if (hText == NULL || WindowText(hText) != szText || WindowText(hBox) != szCaption) {
        return Fail(pRun, "expected a box \"%s\" captioned \"%s\", got %s", szText, szCaption, sDescription.c_str());
    }
    static const int OTHER_BUTTONS[] = {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO};
    for (int id : OTHER_BUTTONS) {
        HWND hButton = GetDlgItem(hBox, id);
        if (hButton != NULL && IsWindowVisible(hButton)) {
            return Fail(pRun, "the box has more buttons than OK: %s", sDescription.c_str());
        }
    }
    return ClickButton(pRun, hBox, IDOK) && WaitUntilGone(pRun, hBox, "the message box to close");
}

// The box hex2bin shows for a text: the model's outcome, its count as the caption.
BOOL DoModelBox(RUN* pRun, const STEP& step)
{
    int status = 0;
    ULONGLONG cb = 0;
    if (!RunModel(pRun, step.data, &status, &cb)) {
        return FALSE;
    }
    Note(pRun, "the model reads %llu bytes from %s: \"%s\"", cb, step.data.pb, OUTCOME_TEXT[status]);
    return ShowsBox(pRun, OUTCOME_TEXT[status], std::to_string(cb).c_str());
}

// The label comes to read what is expected: the conversion runs on after
// the input chooser closes.
BOOL DoLabel(RUN* pRun, const STEP& step)
{
    if (!WaitFor(pRun, STEP_MS, "the label's new text", [&] {
            const std::string sLabel = LabelText(pRun);
            return step.szText == NULL ? IsMilliseconds(sLabel) : sLabel == step.szText;
        })) {
        return Fail(pRun, "the label reads \"%s\", expected %s%s%s", LabelText(pRun).c_str(), step.szText ? "\"" : "",
                    step.szText ? step.szText : "a time in milliseconds", step.szText ? "\"" : "");
    }
    if (step.szText == NULL && atoi(LabelText(pRun).c_str()) >= 100) {
        Note(pRun, "the conversion took %s ms", LabelText(pRun).c_str());
    }
    return TRUE;
}

// Waits until the program takes messages again, or has ended, so that what
// it did since the last window closed (loading, converting, saving) is over.
BOOL Settle(RUN* pRun)
{
    if (ProgramEnded(pRun)) {
        return TRUE;
    }
    DWORD_PTR dwResult = 0;
    if (!SendMessageTimeoutA(pRun->hDlg, WM_NULL, 0, 0, SMTO_NORMAL, STEP_MS, &dwResult)) {
        return Fail(pRun, "the program does not respond");
    }
    return TRUE;
}

BOOL DoFile(RUN* pRun, const STEP& step)
{
    return Settle(pRun) && CheckFile(pRun, step.szFile, step.data, step.n);
}

// The saved result of hex2bin is the model's; an empty one is reported as
// nothing written, after the empty file is made.
BOOL DoModelSaved(RUN* pRun, const STEP& step)
{
    int status = 0;
    ULONGLONG cb = 0;
    if (!RunModel(pRun, step.data, &status, &cb)) {
        return FALSE;
    }
    if (cb == 0 && !ShowsBox(pRun, FAILURE_TEXT, FAILURE_CAPTION)) {
        return FALSE;
    }
    return DoFile(pRun, step);
}

BOOL DoNoFile(RUN* pRun, const STEP& step)
{
    if (!Settle(pRun)) {
        return FALSE;
    }
    if (GetFileAttributesA(PathOf(pRun, step.szFile).c_str()) != INVALID_FILE_ATTRIBUTES) {
        return Fail(pRun, "%s was written", step.szFile);
    }
    return TRUE;
}

// The names of the files in a folder (its path ends in a backslash); FALSE
// if it cannot be read.
BOOL ListFiles(RUN* pRun, const std::string& sDir, std::vector<WIN32_FIND_DATAA>* pFiles)
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((sDir + "*").c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        return Fail(pRun, "cannot list the folder %s (error %lu)", sDir.c_str(), GetLastError());
    }
    pFiles->clear();
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            pFiles->push_back(fd);
        }
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return TRUE;
}

// Removes what an earlier case or run left in a folder.
BOOL EmptyFolder(RUN* pRun, const std::string& sDir)
{
    std::vector<WIN32_FIND_DATAA> files;
    if (!ListFiles(pRun, sDir, &files)) {
        return FALSE;
    }
    for (const WIN32_FIND_DATAA& fd : files) {
        if (!DeleteFileA((sDir + fd.cFileName).c_str())) {
            return Fail(pRun, "cannot remove %s left by an earlier run (error %lu)", fd.cFileName, GetLastError());
        }
    }
    return TRUE;
}

BOOL DoFiles(RUN* pRun, const STEP& step)
{
    std::vector<WIN32_FIND_DATAA> files;
    if (!Settle(pRun) || !ListFiles(pRun, step.szFile != NULL ? PathOf(pRun, step.szFile) : pRun->szDir, &files)) {
        return FALSE;
    }
    if (files.size() != step.n) {
        std::string sNames;
        for (const WIN32_FIND_DATAA& fd : files) {
            sNames += std::string(" ") + fd.cFileName;
        }
        return Fail(pRun, "the folder holds%s, expected %zu file(s)", sNames.c_str(), static_cast<size_t>(step.n));
    }
    return TRUE;
}

// Nothing happens for a while: no window opens, the label keeps its text
// and the program keeps running with its dialog enabled.
BOOL DoQuiet(RUN* pRun, const STEP& step)
{
    const std::string sLabel = LabelText(pRun);
    const ULONGLONG ullEnd = GetTickCount64() + step.n;
    do {
        WINDOWS windows;
        CollectWindows(pRun, &windows);
        for (int i = 0; i < windows.chwnd; ++i) {
            if (windows.rghwnd[i] != pRun->hDlg) {
                return Fail(pRun, "a window opened: %s", DescribeWindow(windows.rghwnd[i]).c_str());
            }
        }
        if (ProgramEnded(pRun)) {
            return Fail(pRun, "the program ended");
        }
        if (!IsWindowEnabled(pRun->hDlg)) {
            return Fail(pRun, "the dialog is disabled: a window is opening over it");
        }
        if (LabelText(pRun) != sLabel) {
            return Fail(pRun, "the label changed from \"%s\" to \"%s\"", sLabel.c_str(), LabelText(pRun).c_str());
        }
        Sleep(POLL_MS);
    } while (GetTickCount64() < ullEnd);
    return TRUE;
}

BOOL DoMemory(RUN* pRun, const STEP& step)
{
    if (!Settle(pRun)) {
        return FALSE;
    }
    const SIZE_T cb = MemoryOf(pRun, step.n == MEM_PEAK);
    if (cb == 0) {
        return Fail(pRun, "cannot read the program's memory (error %lu)", GetLastError());
    }
    switch (step.n) {
    case MEM_PEAK:
        Note(pRun, "peak working set: %.0f MiB", Mebibytes(cb));
        if (cb < step.data.cb) {
            return Fail(pRun, "the peak working set is %.0f MiB: a file of %.0f MiB was not read whole",
                        Mebibytes(cb), Mebibytes(step.data.cb));
        }
        return TRUE;
    case MEM_BASELINE:
        pRun->cbBaseline = cb;
        Note(pRun, "private memory after the first round: %.2f MiB", Mebibytes(cb));
        return TRUE;
    case MEM_GROWN:
        Note(pRun, "private memory while %.0f MiB more are held: %.2f MiB", Mebibytes(step.data.cb), Mebibytes(cb));
        if (cb < pRun->cbBaseline + step.data.cb) {
            return Fail(pRun, "the private memory reads %.2f MiB while %.0f MiB more are held: it does not "
                        "show the program's blocks", Mebibytes(cb), Mebibytes(step.data.cb));
        }
        return TRUE;
    case MEM_BACK:
        Note(pRun, "private memory at the end: %.2f MiB (%+.2f MiB; %.0f MiB allowed)", Mebibytes(cb),
             (static_cast<double>(cb) - static_cast<double>(pRun->cbBaseline)) / static_cast<double>(MIB),
             Mebibytes(CB_LEAK_TOLERANCE));
        if (cb > pRun->cbBaseline + CB_LEAK_TOLERANCE) {
            return Fail(pRun, "the private memory grew from %.2f MiB to %.2f MiB", Mebibytes(pRun->cbBaseline),
                        Mebibytes(cb));
        }
        return TRUE;
    }
    return Fail(pRun, "unknown memory check %zu", static_cast<size_t>(step.n));
}

BOOL DoExit(RUN* pRun, const STEP& step)
{
    if (WaitForSingleObject(pRun->pi.hProcess, STEP_MS) != WAIT_OBJECT_0) {
        return Fail(pRun, "the program did not end within %lu ms", STEP_MS);
    }
    DWORD dwCode = 0;
    GetExitCodeProcess(pRun->pi.hProcess, &dwCode);
    if (dwCode != step.n) {
        return Fail(pRun, "the program ended with exit code %lu, expected %zu", dwCode, static_cast<size_t>(step.n));
    }
    return TRUE;
}

// A key press as the dialog's keyboard interface sees it, on the control
// that has the focus.
BOOL DoKey(RUN* pRun, const STEP& step)
{
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof(gti);
    HWND hTarget = pRun->hDlg;
    if (GetGUIThreadInfo(pRun->pi.dwThreadId, &gti) && gti.hwndFocus != NULL) {
        hTarget = gti.hwndFocus;
    }
    const WPARAM vk = step.n;
    const UINT uScan = MapVirtualKeyA(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
    PostMessageA(hTarget, WM_KEYDOWN, vk, static_cast<LPARAM>(1 | (uScan << 16)));
    PostMessageA(hTarget, WM_KEYUP, vk, static_cast<LPARAM>(1 | (uScan << 16) | 0xC0000000u));
    return TRUE;
}

// A file another process holds open, with the share mode of the step; it
// must be as it was when the case ends.
BOOL DoHold(RUN* pRun, const STEP& step)
{
    if (pRun->cHeld == ARRAYSIZE(pRun->rghHeld)) {
        return Fail(pRun, "too many files held");
    }
    const std::string sPath = PathOf(pRun, step.szFile);
    if (!KeepFile(pRun, sPath, FALSE)) {
        return FALSE;
    }
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_READ | GENERIC_WRITE, static_cast<DWORD>(step.n), NULL,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        return Fail(pRun, "cannot hold %s open (error %lu)", step.szFile, GetLastError());
    }
    pRun->rghHeld[pRun->cHeld++] = hFile;
    return TRUE;
}

void ReleaseHeld(RUN* pRun)
{
    while (pRun->cHeld > 0) {
        CloseHandle(pRun->rghHeld[--pRun->cHeld]);
    }
}

// Wine's way to run a program of the host, waiting for it: 0 if it ended
// with status 0. Not there on Windows.
typedef LONG(CDECL* PFNSPAWNVP)(char* const rgszArgv[], int fWait);

PFNSPAWNVP HostSpawn()
{
    HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
    FARPROC pfn = hNtdll != NULL ? GetProcAddress(hNtdll, "__wine_unix_spawnvp") : NULL;
    // Through void (*)(): a FARPROC is cast to the function's own type.
    return reinterpret_cast<PFNSPAWNVP>(reinterpret_cast<void (*)()>(pfn));
}

// What the case needs is there: the variable names a folder on a small
// disk, or a script Wine can run. Otherwise the case is skipped, and says why.
BOOL DoNeeds(RUN* pRun, const STEP& step)
{
    const NEED& need = g_rgNeed[step.n];
    ULARGE_INTEGER cbTotal = {};
    if (need.sValue.empty()) {
        snprintf(pRun->szSkip, sizeof(pRun->szSkip), "%s is not set: no %s here", need.szVariable, need.szWhat);
    } else if (need.szPrefix == NULL) {
        if (HostSpawn() == NULL) {
            snprintf(pRun->szSkip, sizeof(pRun->szSkip), "not under Wine: no way to run %s", need.sValue.c_str());
        }
    } else if (!GetDiskFreeSpaceExA((need.sValue + "\\").c_str(), NULL, &cbTotal, NULL) ||
               cbTotal.QuadPart >= CB_SMALL_DISK) {
        snprintf(pRun->szSkip, sizeof(pRun->szSkip), "%s is not the %s the test mounts (was mounting refused?)",
                 need.sValue.c_str(), need.szWhat);
    }
    if (pRun->szSkip[0] != '\0') {
        return FALSE;
    }
    // A case that fills the small disk finds it empty, whatever ran before.
    return step.n != NEED_FULL_DISK || EmptyFolder(pRun, PathOf(pRun, "FULL:"));
}

// The program may map no more address space than it has mapped once its
// Open chooser is open (so all the chooser needs is mapped already): the
// script sets that as its limit.
BOOL DoLimit(RUN* pRun)
{
    HWND hChooser = NULL;
    if (!WaitForWindow(pRun, pRun->hDlg, "file chooser", OPEN_TITLE, &hChooser)) {
        return FALSE;
    }
    std::string sScript = g_rgNeed[NEED_LIMITER].sValue;
    char* const rgszArgv[] = {&sScript[0], NULL};
    const LONG status = HostSpawn()(rgszArgv, TRUE);
    if (status != 0) {
        return Fail(pRun, "%s did not limit the program's address space (status 0x%lX)", sScript.c_str(),
                    static_cast<unsigned long>(status));
    }
    return TRUE;
}

BOOL RunStep(RUN* pRun, const STEP& step)
{
    switch (step.op) {
    case OP_WRITE:
        return WriteData(pRun, step.szFile, step.data);
    case OP_HOLD:
        return DoHold(pRun, step);
    case OP_RELEASE:
        ReleaseHeld(pRun);
        return TRUE;
    case OP_KEEP:
        return KeepFile(pRun, PathOf(pRun, step.szFile), TRUE);
    case OP_NEEDS:
        return DoNeeds(pRun, step);
    case OP_CLICK:
        return ClickButton(pRun, pRun->hDlg, static_cast<int>(step.n));
    case OP_COMMAND:
        PostMessageA(pRun->hDlg, WM_COMMAND, step.n, 0);
        return TRUE;
    case OP_KEY:
        return DoKey(pRun, step);
    case OP_CLOSE_BOX:
        PostMessageA(pRun->hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        return TRUE;
    case OP_CHOOSE:
        return DoChoose(pRun, step);
    case OP_CONFIRM:
        return DoConfirm(pRun);
    case OP_LIMIT:
        return DoLimit(pRun);
    case OP_REFUSED:
        return DoRefused(pRun, step);
    case OP_BOX:
        return ShowsBox(pRun, step.szText, step.szCaption);
    case OP_MODEL_BOX:
        return DoModelBox(pRun, step);
    case OP_LABEL:
        return DoLabel(pRun, step);
    case OP_FILE:
        return DoFile(pRun, step);
    case OP_MODEL_SAVED:
        return DoModelSaved(pRun, step);
    case OP_NO_FILE:
        return DoNoFile(pRun, step);
    case OP_FILES:
        return DoFiles(pRun, step);
    case OP_QUIET:
        return DoQuiet(pRun, step);
    case OP_MEMORY:
        return DoMemory(pRun, step);
    case OP_EXIT:
        return DoExit(pRun, step);
    case OP_COUNT:
        break;
    }
    return Fail(pRun, "unknown step %d", static_cast<int>(step.op));
}

const char* const STEP_NAMES[] = {"Write",  "Hold",      "Release", "Keep",       "Needs",    "Click",
                                  "Command", "Key",      "CloseBox", "Choose",    "Confirm",  "Limit",   "Refused",
                                  "Box",    "ModelBox",  "Label",   "File",       "ModelSaved", "NoFile",
                                  "Files",  "Quiet",     "Memory",  "Exit"};
static_assert(ARRAYSIZE(STEP_NAMES) == OP_COUNT, "a name for every step");

// The steps every case ends with, unless it ended the program itself: no
// window left open, and "Close" ends the program with exit code 0.
const STEP CLOSING_STEPS[] = {Quiet(SETTLE_MS), Click(IDCANCEL), Exit(0)};

// A new folder for the case; what an earlier run left there goes first.
BOOL MakeCaseFolder(RUN* pRun, const char* szWorkDir, size_t iCase)
{
    snprintf(pRun->szDir, sizeof(pRun->szDir), "%s\\case%02zu\\", szWorkDir, iCase + 1);
    snprintf(pRun->szLog, sizeof(pRun->szLog), "%s\\case%02zu.log", szWorkDir, iCase + 1);
    CreateDirectoryA(szWorkDir, NULL);
    CreateDirectoryA(pRun->szDir, NULL);
    return EmptyFolder(pRun, pRun->szDir);
}

// What must hold at the end of every case: the files kept are as they were,
// no file named in a chooser is still open, and, while the program runs,
// its priority class is right.
BOOL CheckInvariants(RUN* pRun)
{
    ReleaseHeld(pRun);
    if (!ProgramEnded(pRun) && (!Settle(pRun) || !CheckPriority(pRun, "at the end of the case"))) {
        return FALSE;
    }
    return CheckKept(pRun) && CheckNoneOpen(pRun);
}

BOOL RunCase(RUN* pRun, const CASE& testCase, size_t iCase, const char* szProgram, const char* szWorkDir)
{
    if (!MakeCaseFolder(pRun, szWorkDir, iCase)) {
        return FALSE;
    }
    std::vector<STEP> steps = testCase.steps;
    // What the case needs comes first, before the program starts.
    while (!steps.empty() && steps.front().op == OP_NEEDS) {
        if (!DoNeeds(pRun, steps.front())) {
            return FALSE;
        }
        steps.erase(steps.begin());
    }
    if (!StartProgram(pRun, szProgram)) {
        return FALSE;
    }
    if (LabelText(pRun) != LABEL_AT_START) {
        return Fail(pRun, "at start the label reads \"%s\"", LabelText(pRun).c_str());
    }
    const BOOL fEndsProgram =
        std::any_of(steps.begin(), steps.end(), [](const STEP& step) { return step.op == OP_EXIT; });
    for (size_t i = 0; i < steps.size(); ++i) {
        if (!RunStep(pRun, steps[i])) {
            const std::string sWhy = pRun->szWhy;
            Fail(pRun, "step %zu (%s%s%s): %s", i + 1, STEP_NAMES[steps[i].op], steps[i].szText ? " " : "",
                 steps[i].szText ? steps[i].szText : "", sWhy.c_str());
            return FALSE;
        }
    }
    if (!CheckInvariants(pRun)) {
        const std::string sWhy = pRun->szWhy;
        return Fail(pRun, "after the last step: %s", sWhy.c_str());
    }
    for (size_t i = 0; !fEndsProgram && i < ARRAYSIZE(CLOSING_STEPS); ++i) {
        if (!RunStep(pRun, CLOSING_STEPS[i])) {
            const std::string sWhy = pRun->szWhy;
            return Fail(pRun, "closing (%s): %s", STEP_NAMES[CLOSING_STEPS[i].op], sWhy.c_str());
        }
    }
    return TRUE;
}

// Whatever the case left: files held, the program if it still runs, and
// big files.
void EndCase(RUN* pRun)
{
    ReleaseHeld(pRun);
    if (pRun->pi.hProcess != NULL) {
        if (!ProgramEnded(pRun)) {
            TerminateProcess(pRun->pi.hProcess, 1);
            WaitForSingleObject(pRun->pi.hProcess, STEP_MS);
        }
        CloseHandle(pRun->pi.hThread);
        CloseHandle(pRun->pi.hProcess);
    }
    std::vector<WIN32_FIND_DATAA> files;
    if (pRun->szDir[0] == '\0' || !ListFiles(pRun, pRun->szDir, &files)) {
        return;
    }
    for (const WIN32_FIND_DATAA& fd : files) {
        if ((static_cast<ULONGLONG>(fd.nFileSizeHigh) << 32 | fd.nFileSizeLow) >= CB_REMOVE_AFTER_CASE) {
            DeleteFileA((std::string(pRun->szDir) + fd.cFileName).c_str());
        }
    }
}

BOOL ReadLog(const char* szLog, std::string* psLog)
{
    HANDLE hFile = CreateFileA(szLog, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    const BOOL fRead = ReadUpTo(hFile, psLog, 64 * 1024);
    CloseHandle(hFile);
    return fRead;
}

// What the program printed, if anything, below its FAIL line.
void PrintLog(const char* szLog)
{
    std::string sLog;
    if (!ReadLog(szLog, &sLog) || sLog.empty()) {
        return;
    }
    printf("        the program printed (%s):\n%s", szLog, sLog.c_str());
    if (sLog.back() != '\n') {
        printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: driver PROGRAM WORKDIR [NAME-FILTER]\n");
        return 2;
    }
    char szProgram[MAX_PATH];
    char szWorkDir[MAX_PATH];
    ToWindowsPath(argv[1], szProgram, sizeof(szProgram));
    ToWindowsPath(argv[2], szWorkDir, sizeof(szWorkDir));
    const char* szFilter = argc > 3 ? argv[3] : "";
    for (NEED& need : g_rgNeed) {
        char szUnix[MAX_PATH];
        char szWindows[MAX_PATH];
        const DWORD cch = GetEnvironmentVariableA(need.szVariable, szUnix, sizeof(szUnix));
        if (cch != 0 && cch < sizeof(szUnix)) {
            ToWindowsPath(szUnix, szWindows, sizeof(szWindows));
            need.sValue = need.szPrefix != NULL ? szWindows : szUnix;
        }
    }

    int cPassed = 0;
    int cFailed = 0;
    int cSkipped = 0;
    for (size_t iCase = 0; iCase < CASES.size(); ++iCase) {
        const CASE& testCase = CASES[iCase];
        if (strstr(testCase.szName, szFilter) == NULL) {
            continue;
        }
        RUN run = {};
        const ULONGLONG ullStart = GetTickCount64();
        const BOOL fPassed = RunCase(&run, testCase, iCase, szProgram, szWorkDir);
        EndCase(&run);
        const double dSeconds = static_cast<double>(GetTickCount64() - ullStart) / 1000.0;
        if (fPassed) {
            ++cPassed;
            printf("PASS  %2zu  %s (%.1f s)\n%s", iCase + 1, testCase.szName, dSeconds, run.sNotes.c_str());
        } else if (run.szSkip[0] != '\0') {
            ++cSkipped;
            printf("SKIP  %2zu  %s\n        %s\n", iCase + 1, testCase.szName, run.szSkip);
        } else {
            ++cFailed;
            printf("FAIL  %2zu  %s (%.1f s)\n        %s\n%s", iCase + 1, testCase.szName, dSeconds, run.szWhy,
                   run.sNotes.c_str());
            PrintLog(run.szLog);
        }
        fflush(stdout);
    }
    printf("e2e: %d passed, %d failed, %d skipped\n", cPassed, cFailed, cSkipped);
    return cFailed == 0 && cPassed > 0 ? 0 : 1;
}
