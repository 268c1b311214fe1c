// End-to-end driver: runs hexbin.exe through every case of CASES (cases.cpp)
// as a user would, through its dialog, the real choosers and message boxes.
//
//     driver.exe PROGRAM WORKDIR [NAME-FILTER]
//     driver.exe PROGRAM WORKDIR --probe bin2hex|hex2bin FILE
//
// Paths may be Windows paths or absolute Unix paths (seen through Wine's Z:).
// PROGRAM is the 32-bit or the 64-bit build; some cases' outcomes depend on
// which. Every case is held to what must hold whatever the user does: the
// files kept come through byte for byte with their size and last-write
// time, the priority class is right whenever a window of the program is
// open, no file named in a chooser is left open, and unless the case ends
// the program itself, "Close" ends it with exit code 0.
//
// Cases that need a full or read-only disk (HEXBIN_E2E_FULLFS,
// HEXBIN_E2E_ROFS) or the address-space limiter (HEXBIN_E2E_LIMITER) are
// skipped, saying why, where the test run did not make them.
#include "e2e.h"

#include <psapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

NEED g_rgNeed[NEED_COUNT] = {
    {"FULL:", "HEXBIN_E2E_FULLFS", "small disk to fill", ""},
    {"RO:", "HEXBIN_E2E_ROFS", "read-only disk", ""},
    {NULL, "HEXBIN_E2E_LIMITER", "script to limit the program's address space", ""},
    {NULL, NULL, "the 64-bit build: the 32-bit one is held to its own address space already", ""},
};

namespace {

BOOL g_fProgram32;  // the program is the 32-bit build

const DWORD SETTLE_MS = 400;  // how long "nothing happens" is watched for at the end of a case

// A mounted disk the test made is smaller than this; a folder on the
// machine's own disk, where the mount was refused, is not.
const ULONGLONG CB_SMALL_DISK = MIB;

// How far the program's private memory may stand above where it stood after
// the first round of conversions, once a hundred more have run. Each round
// allocates and frees blocks of 4 to 16 MiB, so a block kept even once in
// twenty rounds shows up well beyond it; what stays below it is the
// platform's own caching behind the choosers and message boxes.
const SIZE_T CB_LEAK_TOLERANCE = 2u << 20;

double Mebibytes(ULONGLONG cb) { return static_cast<double>(cb) / static_cast<double>(MIB); }

// The program's private memory: its commit charge. Windows reports it in
// both fields; Wine leaves PrivateUsage at 0, and reports as PagefileUsage
// the private pages that have been written to.
BOOL DoMemory(RUN* pRun, const STEP& step)
{
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    if (!GetProcessMemoryInfo(pRun->pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc))) {
        return Fail(pRun, "cannot read the program's memory (error %lu)", GetLastError());
    }
    const SIZE_T cb = step.memory == MEM_PEAK ? pmc.PeakWorkingSetSize
                                              : (pmc.PrivateUsage != 0 ? pmc.PrivateUsage : pmc.PagefileUsage);
    const double dMib = Mebibytes(cb);
    const double dWant = Mebibytes(step.cbMemory);
    const double dBaseline = Mebibytes(pRun->cbBaseline);
    switch (step.memory) {
    case MEM_BASELINE:
        pRun->cbBaseline = cb;
        Note(pRun, "private memory after the first round: %.2f MiB", dMib);
        return TRUE;
    case MEM_GROWN:
        Note(pRun, "private memory while %.0f MiB more are held: %.2f MiB", dWant, dMib);
        return cb >= pRun->cbBaseline + step.cbMemory ||
               Fail(pRun, "the private memory reads %.2f MiB while %.0f MiB more are held: it does not show the "
                    "program's blocks", dMib, dWant);
    case MEM_BACK:
        Note(pRun, "private memory at the end: %.2f MiB (%+.2f MiB; %.0f MiB allowed)", dMib, dMib - dBaseline,
             Mebibytes(CB_LEAK_TOLERANCE));
        return cb <= pRun->cbBaseline + CB_LEAK_TOLERANCE ||
               Fail(pRun, "the private memory grew from %.2f MiB to %.2f MiB", dBaseline, dMib);
    case MEM_PEAK:
        Note(pRun, "peak working set: %.0f MiB", dMib);
        return cb >= step.cbMemory ||
               Fail(pRun, "the peak working set is %.0f MiB: a file of %.0f MiB was not read whole", dMib, dWant);
    }
    return Fail(pRun, "unknown memory check %d", static_cast<int>(step.memory));
}

BOOL DoExit(RUN* pRun, const STEP& step)
{
    DWORD dwCode = 0;
    if (WaitForSingleObject(pRun->pi.hProcess, STEP_MS) != WAIT_OBJECT_0) return Fail(pRun, "the program runs on");
    GetExitCodeProcess(pRun->pi.hProcess, &dwCode);
    return dwCode == step.dwExitCode || Fail(pRun, "the program ended with exit code %lu", dwCode);
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

// What the case needs is there: the 64-bit build, a variable naming a
// folder on a small disk, or a script Wine can run. Otherwise the case is
// skipped, and says why.
BOOL DoNeeds(RUN* pRun, const STEP& step)
{
    const NEED& need = g_rgNeed[step.need];
    ULARGE_INTEGER cbTotal = {};
    char* szSkip = pRun->szSkip;
    if (need.szVariable == NULL && g_fProgram32) {
        snprintf(szSkip, sizeof(pRun->szSkip), "only for %s", need.szWhat);
    } else if (need.szVariable != NULL && need.sValue.empty()) {
        snprintf(szSkip, sizeof(pRun->szSkip), "%s is not set: no %s here", need.szVariable, need.szWhat);
    } else if (need.szVariable != NULL && need.szPrefix == NULL && HostSpawn() == NULL) {
        snprintf(szSkip, sizeof(pRun->szSkip), "not under Wine: no way to run %s", need.sValue.c_str());
    } else if (need.szPrefix != NULL && (!GetDiskFreeSpaceExA((need.sValue + "\\").c_str(), NULL, &cbTotal, NULL) ||
                                         cbTotal.QuadPart >= CB_SMALL_DISK)) {
        snprintf(szSkip, sizeof(pRun->szSkip), "%s is not the %s the test mounts (was mounting refused?)",
                 need.sValue.c_str(), need.szWhat);
    }
    // A case that fills the small disk finds it empty, whatever ran before.
    return szSkip[0] == '\0' && (step.need != NEED_FULL_DISK || DeleteFiles(pRun, PathOf(pRun, "FULL:"), 0));
}

// The program may map no more address space than it has mapped once its
// Open chooser is open (so all the chooser needs is mapped already): the
// script sets that as its limit.
BOOL DoLimit(RUN* pRun, const STEP&)
{
    HWND hChooser = NULL;
    std::string sScript = g_rgNeed[NEED_LIMITER].sValue;
    char* const rgszArgv[] = {&sScript[0], NULL};
    if (!WaitForWindow(pRun, pRun->hDlg, "file chooser", OPEN_TITLE, &hChooser)) return FALSE;
    const LONG status = HostSpawn()(rgszArgv, TRUE);
    return status == 0 || Fail(pRun, "%s did not limit the program's address space (status 0x%lX)", sScript.c_str(),
                               static_cast<unsigned long>(status));
}

struct STEPDEF {
    STEPOP op;
    const char* szName;
    BOOL fSettle;  // first wait until what the program did since the last window closed is over
    BOOL (*pfnRun)(RUN* pRun, const STEP& step);
};

constexpr STEPDEF STEP_DEFS[] = {
    {OP_WRITE, "Write", FALSE, DoWrite},
    {OP_HOLD, "Hold", FALSE, DoHold},
    {OP_RELEASE, "Release", FALSE, [](RUN* pRun, const STEP&) -> BOOL { ReleaseHeld(pRun); return TRUE; }},
    {OP_KEEP, "Keep", FALSE,
     [](RUN* pRun, const STEP& step) { return KeepFile(pRun, PathOf(pRun, step.szFile), TRUE); }},
    {OP_NEEDS, "Needs", FALSE, DoNeeds},
    {OP_CLICK, "Click", FALSE,
     [](RUN* pRun, const STEP& step) { return ClickButton(pRun, pRun->hDlg, step.idButton); }},
    {OP_POST, "Post", FALSE,
     [](RUN* pRun, const STEP& step) { return PostMessageA(pRun->hDlg, step.uMsg, step.wParam, 0); }},
    {OP_KEY, "Key", FALSE, DoKey},
    {OP_CHOOSE, "Choose", FALSE, DoChoose},
    {OP_CONFIRM, "Confirm", FALSE, DoChooserBox},
    {OP_REFUSED, "Refused", FALSE, DoChooserBox},
    {OP_LIMIT, "Limit", FALSE, DoLimit},
    {OP_BOX, "Box", FALSE, DoBox},
    {OP_LABEL, "Label", FALSE, DoLabel},
    {OP_FILE, "File", TRUE, DoFile},
    {OP_NO_FILE, "NoFile", TRUE, DoNoFile},
    {OP_FILES, "Files", TRUE, DoFiles},
    {OP_QUIET, "Quiet", FALSE, DoQuiet},
    {OP_MEMORY, "Memory", TRUE, DoMemory},
    {OP_EXIT, "Exit", FALSE, DoExit},
};

constexpr BOOL InOrder(int i) { return i == OP_COUNT || (STEP_DEFS[i].op == i && InOrder(i + 1)); }
static_assert(ARRAYSIZE(STEP_DEFS) == OP_COUNT && InOrder(0), "a row of STEP_DEFS for every step, in order");

BOOL RunStep(RUN* pRun, const STEP& step, const char* szWhere)
{
    const STEPDEF& def = STEP_DEFS[step.op];
    if ((def.fSettle && !Settle(pRun)) || !def.pfnRun(pRun, step)) {
        const std::string sWhy = pRun->szWhy;
        return Fail(pRun, "%s (%s%s%s): %s", szWhere, def.szName, step.szText ? " " : "",
                    step.szText ? step.szText : "", sWhy.c_str());
    }
    return TRUE;
}

// The steps every case ends with, unless it ended the program itself: no
// window left open, and "Close" ends the program with exit code 0.
const STEP CLOSING_STEPS[] = {{.op = OP_QUIET, .dwMs = SETTLE_MS}, {.op = OP_CLICK, .idButton = IDCANCEL},
                              {.op = OP_EXIT, .dwExitCode = 0}};

BOOL RunCase(RUN* pRun, const STEPS& steps, size_t iCase, const char* szProgram, const char* szWorkDir)
{
    // A new folder for the case, empty of what an earlier run left there.
    snprintf(pRun->szDir, sizeof(pRun->szDir), "%s\\case%02zu\\", szWorkDir, iCase + 1);
    snprintf(pRun->szLog, sizeof(pRun->szLog), "%s\\case%02zu.log", szWorkDir, iCase + 1);
    CreateDirectoryA(szWorkDir, NULL);
    CreateDirectoryA(pRun->szDir, NULL);
    if (!DeleteFiles(pRun, pRun->szDir, 0)) return FALSE;
    // What the case needs comes first, before the program starts.
    size_t iStep = 0;
    for (; iStep < steps.size() && steps[iStep].op == OP_NEEDS; ++iStep) {
        if (!DoNeeds(pRun, steps[iStep])) return FALSE;
    }
    if (!StartProgram(pRun, szProgram)) return FALSE;
    if (LabelText(pRun) != LABEL_AT_START) return Fail(pRun, "the label reads %s at start", LabelText(pRun).c_str());
    for (; iStep < steps.size(); ++iStep) {
        if (!RunStep(pRun, steps[iStep], ("step " + std::to_string(iStep + 1)).c_str())) return FALSE;
    }
    // What must hold at the end of every case, and while the program runs,
    // its priority class.
    ReleaseHeld(pRun);
    if ((!ProgramEnded(pRun) && (!Settle(pRun) || !CheckPriority(pRun, "at the end of the case"))) ||
        !CheckKeptAndClosed(pRun)) {
        const std::string sWhy = pRun->szWhy;
        return Fail(pRun, "after the last step: %s", sWhy.c_str());
    }
    const BOOL fEnded = std::any_of(steps.begin(), steps.end(), [](const STEP& step) { return step.op == OP_EXIT; });
    for (size_t i = 0; !fEnded && i < ARRAYSIZE(CLOSING_STEPS); ++i) {
        if (!RunStep(pRun, CLOSING_STEPS[i], "closing")) return FALSE;
    }
    return TRUE;
}

// Whatever the case left: files held, the program if it still runs, and
// big files, so that a run leaves no gigabytes behind.
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
    DeleteFiles(pRun, pRun->szDir, MIB);
}

// What the program printed, if anything, below its FAIL line.
void PrintLog(const char* szLog)
{
    std::string sLog;
    HANDLE hFile = CreateFileA(szLog, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) return;
    const BOOL fRead = ReadUpTo(hFile, &sLog, 64 * 1024);
    CloseHandle(hFile);
    if (fRead && !sLog.empty()) {
        printf("        the program printed (%s):\n%s%s", szLog, sLog.c_str(), sLog.back() != '\n' ? "\n" : "");
    }
}

// --probe bin2hex|hex2bin FILE: one conversion of FILE, which says whether
// it converted (0) or was refused (1), for a script that seeks the limits.
// What comes first after the Open chooser tells: the failure box, or what
// follows a conversion (the Save chooser, or hex2bin's outcome).
int Probe(const char* szProgram, const char* szWorkDir, const char* szCommand, const char* szFile)
{
    RUN run = {};
    char szIn[MAX_PATH];
    ToWindowsPath(szFile, szIn, sizeof(szIn));
    const std::string sIn = std::string("REL:") + szIn;
    snprintf(run.szDir, sizeof(run.szDir), "%s\\", szWorkDir);
    snprintf(run.szLog, sizeof(run.szLog), "%s\\probe.log", szWorkDir);
    CreateDirectoryA(szWorkDir, NULL);
    const STEP steps[] = {{.op = OP_CLICK, .idButton = strcmp(szCommand, "hex2bin") == 0 ? IDC_HEX2BIN : IDC_BIN2HEX},
                          {.op = OP_CHOOSE, .szText = OPEN_TITLE, .szFile = sIn.c_str()}};
    BOOL fRan = StartProgram(&run, szProgram);
    for (const STEP& step : steps) fRan = fRan && RunStep(&run, step, "probe");
    HWND hwnd = NULL;
    char szTitle[64] = "";
    fRan = fRan && WaitForWindow(&run, run.hDlg, "window after the load", NULL, &hwnd) &&
           DoMemory(&run, {.op = OP_MEMORY, .memory = MEM_PEAK}) && GetWindowTextA(hwnd, szTitle, sizeof(szTitle));
    const BOOL fRefused = strcmp(szTitle, FAILURE_CAPTION) == 0;
    printf("%s %s %s\n%s", !fRan ? "FAILED" : fRefused ? "REFUSED" : "CONVERTED", szCommand, szFile, run.sNotes.c_str());
    if (!fRan) printf("        %s\n", run.szWhy);
    EndCase(&run);
    return !fRan ? 2 : fRefused ? 1 : 0;
}

}  // namespace

BOOL Fail(RUN* pRun, const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    vsnprintf(pRun->szWhy, sizeof(pRun->szWhy), szFormat, args);
    va_end(args);
    return FALSE;
}

// A figure for the report, on a line of its own below the case's.
void Note(RUN* pRun, const char* szFormat, ...)
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

int main(int argc, char** argv)
{
    if (argc < 3 || (argc > 3 && strcmp(argv[3], "--probe") == 0 && argc != 6)) {
        fprintf(stderr, "usage: driver PROGRAM WORKDIR [NAME-FILTER | --probe bin2hex|hex2bin FILE]\n");
        return 2;
    }
    char szProgram[MAX_PATH];
    char szWorkDir[MAX_PATH];
    ToWindowsPath(argv[1], szProgram, sizeof(szProgram));
    ToWindowsPath(argv[2], szWorkDir, sizeof(szWorkDir));
    const char* szFilter = argc > 3 ? argv[3] : "";
    DWORD dwType = 0;
    if (!GetBinaryTypeA(szProgram, &dwType) || (dwType != SCS_32BIT_BINARY && dwType != SCS_64BIT_BINARY)) {
        fprintf(stderr, "driver: %s is not a 32-bit or 64-bit Windows program (error %lu)\n", szProgram,
                GetLastError());
        return 2;
    }
    g_fProgram32 = dwType == SCS_32BIT_BINARY;
    if (argc == 6) return Probe(szProgram, szWorkDir, argv[4], argv[5]);
    printf("e2e: the %s build, %s\n", g_fProgram32 ? "32-bit" : "64-bit", szProgram);
    for (NEED& need : g_rgNeed) {
        char szUnix[MAX_PATH];
        char szWindows[MAX_PATH];
        const DWORD cch = need.szVariable ? GetEnvironmentVariableA(need.szVariable, szUnix, sizeof(szUnix)) : 0;
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
        if (strstr(testCase.szName, szFilter) == NULL) continue;
        RUN run = {};
        const ULONGLONG ullStart = GetTickCount64();
        const BOOL fPassed = RunCase(&run, testCase.steps, iCase, szProgram, szWorkDir);
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
