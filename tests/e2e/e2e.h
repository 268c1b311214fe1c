// The end-to-end driver's shared types: the steps of a case and one run of it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

const char DIALOG_TITLE[] = "Hex and Binary conversions";
const char LABEL_AT_START[] = "MS timing location";
// What the driver writes into the label while the Open chooser shows: a
// conversion then has to replace it with its own time.
const char LABEL_MARK[] = "(no time yet)";
const char OPEN_TITLE[] = "Open file ...";
const char SAVE_HEX_TITLE[] = "Save File As Hex ...";
const char SAVE_BIN_TITLE[] = "Save Converted File As ...";
const char FAILURE_TEXT[] = "Something went wrong";
const char FAILURE_CAPTION[] = "hmmmmm,";
const char OK_TEXT[] = "Conversion was successful  ";
const char BAD_CHAR_TEXT[] = "Invalid character  ";
const char UNPAIRED_TEXT[] = "Hex must be in '00 FF 5D DF' character paired format  ";
const int IDC_TIMING = 100;
const int IDC_BIN2HEX = 101;
const int IDC_HEX2BIN = 102;

// Wine is slow to start a program in a new prefix; the big-file cases
// convert and save hundreds of megabytes within one step.
const DWORD START_MS = 60000;
const DWORD STEP_MS = 60000;
const ULONGLONG MIB = 1ull << 20;
const ULONGLONG GIB = 1ull << 30;

// File contents, made and compared a piece at a time.
enum DATAKIND {
    DATA_BYTES,         // pb: cb bytes
    DATA_RANDOM,        // cb pseudo-random bytes, the same ones for the same size in every run
    DATA_RANDOM_HEX,    // the text bin2hex makes of DATA_RANDOM's cb bytes
    DATA_RANDOM_PAIRS,  // DATA_RANDOM's cb bytes as lowercase pairs on one line, nothing between them
    DATA_REPEAT,        // pb, a text, repeated up to cb bytes
    DATA_SPARSE,        // cb zero bytes, written as a hole
    DATA_PARSED,        // the bytes the model reads from pb, a file of the case
};

struct DATA {
    DATAKIND kind;
    const char* pb;
    ULONGLONG cb;
};

enum STEPOP {
    OP_WRITE,    // write szFile with data
    OP_HOLD,     // open szFile (made if missing) with share mode dwShare, keep it open; it must not change
    OP_RELEASE,  // close every file OP_HOLD opened
    OP_KEEP,     // szFile exists, and must be as it is now when the case ends
    OP_NEEDS,    // the case needs need; skipped without it
    OP_CLICK,    // click the dialog's button idButton
    OP_POST,     // post uMsg with wParam to the dialog
    OP_KEY,      // press key bVk on the control that has the focus
    OP_CHOOSE,   // chooser titled szText opens; type szFile and click OK (no szFile: Cancel)
    OP_CONFIRM,  // the chooser asks before replacing a file; click Yes
    OP_REFUSED,  // chooser titled szText refuses the name in a box of its own; OK, then Cancel
    OP_LIMIT,    // once the Open chooser is open, the program may map no more than it has
    OP_BOX,      // box szText captioned szCaption, only OK to click; click it (DATA_PARSED data: the model's)
    OP_LABEL,    // the timing label comes to read szText (NULL: a time in milliseconds)
    OP_FILE,     // szFile holds exactly data, cbFile bytes if given (the model's result: see DoFile)
    OP_NO_FILE,  // szFile does not exist
    OP_FILES,    // the case's folder (or the disk szFile names, "FULL:") holds exactly cFiles files
    OP_QUIET,    // for dwMs no window opens, the label keeps its text, the program runs on
    OP_MEMORY,   // the program's memory, as memory says
    OP_EXIT,     // the program ends with exit code dwExitCode
    OP_COUNT
};

enum MEMORYCHECK {
    MEM_BASELINE,  // remember the private memory
    MEM_GROWN,     // it stands cbMemory above the one remembered: the measure sees the program's blocks
    MEM_BACK,      // it is back within the leak tolerance of the one remembered
    MEM_PEAK,      // the peak working set is cbMemory at least: a file of that size was read whole
};

// What some cases need: two disks the test run mounts, a script that limits
// the program's address space, and the 64-bit build.
enum NEEDID { NEED_FULL_DISK, NEED_RO_DISK, NEED_LIMITER, NEED_WIN64, NEED_COUNT };

// A step fills the fields its op names; the others stay empty.
struct STEP {
    STEPOP op;
    const char* szText = NULL;     // a chooser's title, a box's text, the label's text
    const char* szCaption = NULL;  // a box's caption
    const char* szFile = NULL;     // a file of the case, as PathOf reads it
    DATA data = {DATA_BYTES, NULL, 0};
    ULONGLONG cbFile = 0;
    int idButton = 0;
    UINT uMsg = 0;
    WPARAM wParam = 0;
    BYTE bVk = 0;
    DWORD dwShare = 0;
    NEEDID need = NEED_COUNT;
    size_t cFiles = 0;
    DWORD dwMs = 0;
    MEMORYCHECK memory = MEM_BASELINE;
    ULONGLONG cbMemory = 0;
    DWORD dwExitCode = 0;
};
typedef std::vector<STEP> STEPS;

struct CASE {
    const char* szName;
    STEPS steps;
};
extern const std::vector<CASE> CASES;

struct NEED {
    const char* szPrefix;  // of the names of files on a disk, as in "FULL:name"; NULL for the others
    const char* szVariable;
    const char* szWhat;
    std::string sValue;  // from the variable: a disk as a Windows path, or the script
};
extern NEED g_rgNeed[NEED_COUNT];

struct KEPT {
    std::string sPath;
    ULONGLONG cb;
    FILETIME ftWrite;
    ULONGLONG ullHash;
};

struct RUN {
    PROCESS_INFORMATION pi;
    HWND hDlg;
    char szDir[MAX_PATH];  // the case's own folder, ending in a backslash
    char szLog[MAX_PATH];  // what the program and Wine print, shown only when the case fails
    HANDLE rghHeld[4];
    int cHeld;
    std::vector<KEPT> kept;            // the program's inputs, and the files held against it
    std::vector<std::string> touched;  // every path typed into a chooser
    SIZE_T cbBaseline;                 // the private memory MEM_BASELINE remembered
    BOOL fConverted;                   // the label has shown a time
    std::string sNotes;                // figures for the report, below the case's line
    char szSkip[256];                  // why the case cannot run here
    char szWhy[1024];                  // why the case failed
};

// Fail records why the case fails and returns FALSE.
__attribute__((format(gnu_printf, 2, 3))) BOOL Fail(RUN* pRun, const char* szFormat, ...);
__attribute__((format(gnu_printf, 2, 3))) void Note(RUN* pRun, const char* szFormat, ...);
BOOL ProgramEnded(const RUN* pRun);

std::string PathOf(const RUN* pRun, const char* szFile);
void ToWindowsPath(const char* szPath, char* szOut, size_t cchOut);
BOOL ReadUpTo(HANDLE hFile, std::string* ps, size_t cb);
BOOL RunModel(RUN* pRun, const DATA& text, int* pStatus, ULONGLONG* pcb);
BOOL KeepFile(RUN* pRun, const std::string& sPath, BOOL fMustExist);
BOOL CheckKeptAndClosed(RUN* pRun);
BOOL DeleteFiles(RUN* pRun, const std::string& sDir, ULONGLONG cbMin);
void ReleaseHeld(RUN* pRun);
BOOL DoWrite(RUN* pRun, const STEP& step);
BOOL DoHold(RUN* pRun, const STEP& step);
BOOL DoFile(RUN* pRun, const STEP& step);
BOOL DoNoFile(RUN* pRun, const STEP& step);
BOOL DoFiles(RUN* pRun, const STEP& step);

BOOL StartProgram(RUN* pRun, const char* szProgram);
std::string LabelText(const RUN* pRun);
BOOL Settle(RUN* pRun);
BOOL CheckPriority(RUN* pRun, const char* szWhen);
BOOL WaitForWindow(RUN* pRun, HWND hwndOwner, const char* szWhat, const char* szTitle, HWND* phwnd);
BOOL ShowsBox(RUN* pRun, const char* szText, const char* szCaption);
BOOL ClickButton(RUN* pRun, HWND hwndParent, int id);
BOOL DoKey(RUN* pRun, const STEP& step);
BOOL DoChoose(RUN* pRun, const STEP& step);
BOOL DoChooserBox(RUN* pRun, const STEP& step);
BOOL DoBox(RUN* pRun, const STEP& step);
BOOL DoLabel(RUN* pRun, const STEP& step);
BOOL DoQuiet(RUN* pRun, const STEP& step);
