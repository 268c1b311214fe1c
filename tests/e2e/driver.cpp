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
#include "../convert/hex_model.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
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

#define IDC_TIMING 100
#define IDC_BIN2HEX 101
#define IDC_HEX2BIN 102
#define IDC_MSGBOX_TEXT 0xFFFF     // the text of a message box
#define IDC_CHOOSER_NAME 1148      // the file-name combo box of the Explorer-style chooser
#define DIALOG_CLASS "#32770"

// Deadlines. Wine is slow to start a program in a new prefix.
const DWORD START_MS = 60000;
const DWORD STEP_MS = 20000;
const DWORD POLL_MS = 25;
const DWORD SETTLE_MS = 400;  // how long "nothing happens" is watched for at the end of a case

// ---------------------------------------------------------------------------
// The cases

// File contents: literal bytes, or pseudo-random bytes (cb of them, always
// the same for one cb), or the hex text bin2hex must make of those.
enum DATAKIND { DATA_BYTES, DATA_RANDOM, DATA_RANDOM_HEX };

struct DATA {
    DATAKIND kind;
    const char* pb;
    DWORD cb;
};

enum STEPOP {
    OP_WRITE,      // write szFile with data
    OP_HOLD,       // open szFile (made if missing) without sharing and keep it open
    OP_RELEASE,    // close every file OP_HOLD opened
    OP_CLICK,      // click the dialog's button n
    OP_COMMAND,    // post WM_COMMAND with wParam n to the dialog
    OP_KEY,        // press key n on the control that has the focus
    OP_CLOSE_BOX,  // the close box in the title bar
    OP_CHOOSE,     // chooser titled szText opens; type szFile and click OK (no szFile: Cancel)
    OP_CONFIRM,    // the chooser asks before replacing a file; click Yes
    OP_BOX,        // message box with szText under caption szCaption, one OK button; click OK
    OP_LABEL,      // the timing label reads szText (no szText: a time in milliseconds)
    OP_FILE,       // szFile holds exactly data (n > 0: the file has n bytes, and data begins it)
    OP_FILES,      // the case's folder holds exactly n files
    OP_QUIET,      // for n ms no window opens, the label keeps its text, the program runs on
    OP_EXIT,       // the program ends with exit code n
};

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

DATA Bytes(const char* pb, DWORD cb) { return DATA{DATA_BYTES, pb, cb}; }
DATA Text(const char* sz) { return Bytes(sz, static_cast<DWORD>(strlen(sz))); }
DATA Random(DWORD cb) { return DATA{DATA_RANDOM, NULL, cb}; }
DATA RandomHex(DWORD cb) { return DATA{DATA_RANDOM_HEX, NULL, cb}; }
const DATA NO_CONTENT = {DATA_BYTES, NULL, 0};

STEP Write(const char* szFile, DATA data) { return STEP{OP_WRITE, NULL, NULL, szFile, data, 0}; }
STEP Hold(const char* szFile) { return STEP{OP_HOLD, NULL, NULL, szFile, NO_CONTENT, 0}; }
STEP Release() { return STEP{OP_RELEASE, NULL, NULL, NULL, NO_CONTENT, 0}; }
STEP Click(int id) { return STEP{OP_CLICK, NULL, NULL, NULL, NO_CONTENT, static_cast<UINT_PTR>(id)}; }
STEP Command(WPARAM wParam) { return STEP{OP_COMMAND, NULL, NULL, NULL, NO_CONTENT, wParam}; }
STEP Key(BYTE bVk) { return STEP{OP_KEY, NULL, NULL, NULL, NO_CONTENT, bVk}; }
STEP CloseBox() { return STEP{OP_CLOSE_BOX, NULL, NULL, NULL, NO_CONTENT, 0}; }
STEP Choose(const char* szTitle, const char* szFile) { return STEP{OP_CHOOSE, szTitle, NULL, szFile, NO_CONTENT, 0}; }
STEP Cancel(const char* szTitle) { return Choose(szTitle, NULL); }
STEP Confirm() { return STEP{OP_CONFIRM, NULL, NULL, NULL, NO_CONTENT, 0}; }
STEP Box(const char* szText, const char* szCaption) { return STEP{OP_BOX, szText, szCaption, NULL, NO_CONTENT, 0}; }
STEP Failure() { return Box(FAILURE_TEXT, FAILURE_CAPTION); }
STEP Label(const char* szText) { return STEP{OP_LABEL, szText, NULL, NULL, NO_CONTENT, 0}; }
STEP Timed() { return Label(NULL); }
STEP File(const char* szFile, DATA data) { return STEP{OP_FILE, NULL, NULL, szFile, data, 0}; }
STEP FileOfSize(const char* szFile, DATA start, DWORD cb) { return STEP{OP_FILE, NULL, NULL, szFile, start, cb}; }
STEP Files(UINT_PTR n) { return STEP{OP_FILES, NULL, NULL, NULL, NO_CONTENT, n}; }
STEP Quiet(UINT_PTR ms) { return STEP{OP_QUIET, NULL, NULL, NULL, NO_CONTENT, ms}; }
STEP Exit(UINT_PTR uCode) { return STEP{OP_EXIT, NULL, NULL, NULL, NO_CONTENT, uCode}; }

const char SIXTEEN_BYTES[] = "\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10";
const char SIXTEEN_HEX[] = "00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F\r";
const char SEVENTEEN_HEX[] = "00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F\r\n10";

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
    {"Close ends the program with exit code 0", {Click(IDCANCEL), Exit(0)}},
    {"Esc ends the program with exit code 0", {Key(VK_ESCAPE), Exit(0)}},
    {"the close box ends the program with exit code 0", {CloseBox(), Exit(0)}},
};

// ---------------------------------------------------------------------------
// The run of one case

struct RUN {
    PROCESS_INFORMATION pi;
    char szLog[MAX_PATH];  // what the program and Wine print, kept out of the report unless the case fails
    HWND hDlg;
    char szDir[MAX_PATH];  // the case's own folder, ending in a backslash
    HANDLE rghHeld[4];
    int cHeld;
    char szWhy[1024];  // why the case failed
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

BOOL ProgramEnded(const RUN* pRun)
{
    return WaitForSingleObject(pRun->pi.hProcess, 0) == WAIT_OBJECT_0;
}

// The same pseudo-random bytes for the same count, in every run.
std::string RandomBytes(DWORD cb)
{
    std::string bytes(cb, '\0');
    DWORD dwState = 0x9E3779B9u ^ cb;
    for (DWORD i = 0; i < cb; ++i) {
        dwState ^= dwState << 13;
        dwState ^= dwState >> 17;
        dwState ^= dwState << 5;
        bytes[i] = static_cast<char>(dwState >> 24);
    }
    return bytes;
}

std::string MakeData(const DATA& data)
{
    switch (data.kind) {
    case DATA_BYTES:
        return std::string(data.pb, data.cb);
    case DATA_RANDOM:
        return RandomBytes(data.cb);
    case DATA_RANDOM_HEX: {
        const std::string bytes = RandomBytes(data.cb);
        return ModelFormat(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    }
    return std::string();
}

std::string PathOf(const RUN* pRun, const char* szFile)
{
    return std::string(pRun->szDir) + szFile;
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

// Reads a whole file; FALSE if it cannot be opened.
BOOL ReadWholeFile(const std::string& sPath, std::string* psContent)
{
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    psContent->clear();
    char rgbChunk[65536];
    DWORD cbRead = 0;
    while (ReadFile(hFile, rgbChunk, sizeof(rgbChunk), &cbRead, NULL) && cbRead != 0) {
        psContent->append(rgbChunk, cbRead);
    }
    CloseHandle(hFile);
    return TRUE;
}

BOOL WriteWholeFile(const std::string& sPath, const std::string& sContent)
{
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    DWORD cbWritten = 0;
    const BOOL fWritten = WriteFile(hFile, sContent.data(), static_cast<DWORD>(sContent.size()), &cbWritten, NULL);
    CloseHandle(hFile);
    return fWritten && cbWritten == sContent.size();
}

// Where two contents first differ, for the FAIL line.
std::string DescribeDifference(const std::string& sWant, const std::string& sGot)
{
    size_t i = 0;
    while (i < sWant.size() && i < sGot.size() && sWant[i] == sGot[i]) {
        ++i;
    }
    char szOut[160];
    if (i == sWant.size() || i == sGot.size()) {
        snprintf(szOut, sizeof(szOut), "%zu bytes, want %zu; the first %zu are as expected", sGot.size(), sWant.size(),
                 i);
    } else {
        snprintf(szOut, sizeof(szOut), "%zu bytes, want %zu; byte %zu is 0x%02X, want 0x%02X", sGot.size(),
                 sWant.size(), i, static_cast<unsigned char>(sGot[i]), static_cast<unsigned char>(sWant[i]));
    }
    return szOut;
}

std::string WindowText(HWND hwnd)
{
    char szText[512] = "";
    GetWindowTextA(hwnd, szText, sizeof(szText));
    return szText;
}

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
    const BOOL fStarted = CreateProcessA(szProgram, NULL, NULL, NULL, TRUE, 0, NULL, pRun->szDir, &si, &pRun->pi);
    CloseHandle(hLog);
    if (!fStarted) {
        return Fail(pRun, "cannot start %s (error %lu)", szProgram, GetLastError());
    }
    return WaitFor(pRun, START_MS, "the dialog", [&] {
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
}

std::string LabelText(const RUN* pRun)
{
    return WindowText(GetDlgItem(pRun->hDlg, IDC_TIMING));
}

// A time in milliseconds as the label shows it: a bare decimal number.
BOOL IsMilliseconds(const std::string& s)
{
    if (s.empty() || s.size() > 6 || (s[0] == '0' && s.size() > 1)) {
        return FALSE;
    }
    return s.find_first_not_of("0123456789") == std::string::npos;
}

// A chooser of the program: the right title, owned by the dialog, with the
// file-name box; types the name and clicks OK, or clicks Cancel.
BOOL DoChoose(RUN* pRun, const STEP& step)
{
    HWND hChooser = NULL;
    if (!WaitForOwnedDialog(pRun, pRun->hDlg, "file chooser", &hChooser)) {
        return FALSE;
    }
    if (WindowText(hChooser) != step.szText) {
        return Fail(pRun, "expected the chooser \"%s\", got %s", step.szText, DescribeWindow(hChooser).c_str());
    }
    if (step.szFile == NULL) {
        return ClickButton(pRun, hChooser, IDCANCEL) && WaitUntilGone(pRun, hChooser, "the chooser to close");
    }
    HWND hName = GetDlgItem(hChooser, IDC_CHOOSER_NAME);
    if (hName == NULL) {
        return Fail(pRun, "the chooser has no file-name box: %s", DescribeWindow(hChooser).c_str());
    }
    const std::string sPath = PathOf(pRun, step.szFile);
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
    if (!WaitForOwnedDialog(pRun, pRun->hDlg, "file chooser", &hChooser)) {
        return FALSE;
    }
    HWND hQuestion = NULL;
    if (!WaitForOwnedDialog(pRun, hChooser, "question whether to replace the file", &hQuestion)) {
        return FALSE;
    }
    return ClickButton(pRun, hQuestion, IDYES) && WaitUntilGone(pRun, hChooser, "the chooser to close");
}

// A message box of the program: owned by the dialog, the expected text and
// caption, one OK button and nothing else to click; clicks OK.
BOOL DoBox(RUN* pRun, const STEP& step)
{
    HWND hBox = NULL;
    if (!WaitForOwnedDialog(pRun, pRun->hDlg, "message box", &hBox)) {
        return FALSE;
    }
    const std::string sDescription = DescribeWindow(hBox);
    HWND hText = GetDlgItem(hBox, IDC_MSGBOX_TEXT);
    if (hText == NULL || WindowText(hText) != step.szText || WindowText(hBox) != step.szCaption) {
        return Fail(pRun, "expected a box \"%s\" captioned \"%s\", got %s", step.szText, step.szCaption,
                    sDescription.c_str());
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
    return TRUE;
}

// Waits until the program takes messages again, so that what it did since
// the last window closed (loading, converting, saving) is over.
BOOL Settle(RUN* pRun)
{
    DWORD_PTR dwResult = 0;
    if (!SendMessageTimeoutA(pRun->hDlg, WM_NULL, 0, 0, SMTO_NORMAL, STEP_MS, &dwResult)) {
        return Fail(pRun, "the program does not respond");
    }
    return TRUE;
}

BOOL DoFile(RUN* pRun, const STEP& step)
{
    if (!Settle(pRun)) {
        return FALSE;
    }
    std::string sGot;
    if (!ReadWholeFile(PathOf(pRun, step.szFile), &sGot)) {
        return Fail(pRun, "%s was not written (error %lu)", step.szFile, GetLastError());
    }
    const std::string sWant = MakeData(step.data);
    const size_t cbWant = step.n != 0 ? step.n : sWant.size();
    if (sGot.size() != cbWant || sGot.compare(0, sWant.size(), sWant) != 0) {
        return Fail(pRun, "%s: %s%s", step.szFile, DescribeDifference(sWant, sGot).c_str(),
                    cbWant != sWant.size() ? " (of the expected size, only the first bytes are known)" : "");
    }
    return TRUE;
}

// The names of the files in the case's folder; FALSE if it cannot be read.
BOOL ListFiles(RUN* pRun, std::vector<std::string>* pNames)
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(PathOf(pRun, "*").c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        return Fail(pRun, "cannot list the folder %s (error %lu)", pRun->szDir, GetLastError());
    }
    pNames->clear();
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            pNames->push_back(fd.cFileName);
        }
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return TRUE;
}

BOOL DoFiles(RUN* pRun, const STEP& step)
{
    std::vector<std::string> names;
    if (!Settle(pRun) || !ListFiles(pRun, &names)) {
        return FALSE;
    }
    if (names.size() != step.n) {
        std::string sNames;
        for (const std::string& sName : names) {
            sNames += " " + sName;
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

BOOL DoHold(RUN* pRun, const STEP& step)
{
    if (pRun->cHeld == ARRAYSIZE(pRun->rghHeld)) {
        return Fail(pRun, "too many files held");
    }
    HANDLE hFile = CreateFileA(PathOf(pRun, step.szFile).c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
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

BOOL RunStep(RUN* pRun, const STEP& step)
{
    switch (step.op) {
    case OP_WRITE:
        if (!WriteWholeFile(PathOf(pRun, step.szFile), MakeData(step.data))) {
            return Fail(pRun, "cannot write %s (error %lu)", step.szFile, GetLastError());
        }
        return TRUE;
    case OP_HOLD:
        return DoHold(pRun, step);
    case OP_RELEASE:
        ReleaseHeld(pRun);
        return TRUE;
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
    case OP_BOX:
        return DoBox(pRun, step);
    case OP_LABEL:
        return DoLabel(pRun, step);
    case OP_FILE:
        return DoFile(pRun, step);
    case OP_FILES:
        return DoFiles(pRun, step);
    case OP_QUIET:
        return DoQuiet(pRun, step);
    case OP_EXIT:
        return DoExit(pRun, step);
    }
    return Fail(pRun, "unknown step %d", static_cast<int>(step.op));
}

const char* const STEP_NAMES[] = {"Write", "Hold",   "Release", "Click", "Command", "Key",   "CloseBox", "Choose",
                                  "Confirm", "Box", "Label",   "File",  "Files",   "Quiet", "Exit"};

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
    std::vector<std::string> names;
    if (!ListFiles(pRun, &names)) {
        return FALSE;
    }
    for (const std::string& sName : names) {
        if (!DeleteFileA(PathOf(pRun, sName.c_str()).c_str())) {
            return Fail(pRun, "cannot remove %s left by an earlier run (error %lu)", sName.c_str(), GetLastError());
        }
    }
    return TRUE;
}

BOOL RunCase(RUN* pRun, const CASE& testCase, size_t iCase, const char* szProgram, const char* szWorkDir)
{
    if (!MakeCaseFolder(pRun, szWorkDir, iCase) || !StartProgram(pRun, szProgram)) {
        return FALSE;
    }
    if (LabelText(pRun) != LABEL_AT_START) {
        return Fail(pRun, "at start the label reads \"%s\"", LabelText(pRun).c_str());
    }
    std::vector<STEP> steps = testCase.steps;
    if (steps.back().op != OP_EXIT) {
        steps.insert(steps.end(), CLOSING_STEPS, CLOSING_STEPS + ARRAYSIZE(CLOSING_STEPS));
    }
    for (size_t i = 0; i < steps.size(); ++i) {
        if (!RunStep(pRun, steps[i])) {
            const std::string sWhy = pRun->szWhy;
            Fail(pRun, "step %zu (%s%s%s): %s", i + 1, STEP_NAMES[steps[i].op], steps[i].szText ? " " : "",
                 steps[i].szText ? steps[i].szText : "", sWhy.c_str());
            return FALSE;
        }
    }
    return TRUE;
}

// Whatever the case left: files held, and the program if it still runs.
void EndCase(RUN* pRun)
{
    ReleaseHeld(pRun);
    if (pRun->pi.hProcess == NULL) {
        return;
    }
    if (!ProgramEnded(pRun)) {
        TerminateProcess(pRun->pi.hProcess, 1);
        WaitForSingleObject(pRun->pi.hProcess, STEP_MS);
    }
    CloseHandle(pRun->pi.hThread);
    CloseHandle(pRun->pi.hProcess);
}

// What the program printed, if anything, below its FAIL line.
void PrintLog(const char* szLog)
{
    std::string sLog;
    if (!ReadWholeFile(szLog, &sLog) || sLog.empty()) {
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

    int cPassed = 0;
    int cFailed = 0;
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
            printf("PASS  %2zu  %s (%.1f s)\n", iCase + 1, testCase.szName, dSeconds);
        } else {
            ++cFailed;
            printf("FAIL  %2zu  %s (%.1f s)\n        %s\n", iCase + 1, testCase.szName, dSeconds, run.szWhy);
            PrintLog(run.szLog);
        }
        fflush(stdout);
    }
    printf("e2e: %d passed, %d failed\n", cPassed, cFailed);
    return cFailed == 0 && cPassed > 0 ? 0 : 1;
}
