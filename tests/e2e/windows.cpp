// The program as a user sees it: its dialog, the choosers and the message
// boxes, and the process behind them.
#include "e2e.h"

#include <cstdio>
#include <cstring>

namespace {

const DWORD POLL_MS = 25;
const char DIALOG_CLASS[] = "#32770";
const int IDC_MSGBOX_TEXT = 0xFFFF;

// The program is started at this class, so that "unchanged" and "back to
// normal" after a command can be told apart.
const DWORD START_CLASS = BELOW_NORMAL_PRIORITY_CLASS;

std::string WindowText(HWND hwnd)
{
    char szText[512] = "";
    GetWindowTextA(hwnd, szText, sizeof(szText));
    return szText;
}

std::string ClassOf(HWND hwnd)
{
    char szClass[64] = "";
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    return szClass;
}

// What the program shows at the moment: its visible top-level windows.
std::vector<HWND> WindowsOf(const RUN* pRun)
{
    std::vector<HWND> hwnds;
    for (HWND hwnd = GetTopWindow(NULL); hwnd != NULL; hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
        DWORD dwPid = 0;
        GetWindowThreadProcessId(hwnd, &dwPid);
        if (dwPid == pRun->pi.dwProcessId && IsWindowVisible(hwnd)) hwnds.push_back(hwnd);
    }
    return hwnds;
}

// A window and its controls, for a FAIL line that says what was there instead.
std::string DescribeWindow(HWND hwnd)
{
    char szItem[600];
    snprintf(szItem, sizeof(szItem), "[%s \"%s\"", ClassOf(hwnd).c_str(), WindowText(hwnd).c_str());
    std::string s = szItem;
    for (HWND hChild = GetWindow(hwnd, GW_CHILD); hChild != NULL; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        if (IsWindowVisible(hChild) && GetWindowTextLengthA(hChild) > 0) {
            snprintf(szItem, sizeof(szItem), " %d:\"%s\"", GetDlgCtrlID(hChild), WindowText(hChild).c_str());
            s += szItem;
        }
    }
    return s + "]";
}

// The first visible dialog-class window owned by hwndOwner; NULL if none is there yet.
HWND FindOwnedDialog(const RUN* pRun, HWND hwndOwner)
{
    for (HWND hwnd : WindowsOf(pRun)) {
        if (GetWindow(hwnd, GW_OWNER) == hwndOwner && ClassOf(hwnd) == DIALOG_CLASS) return hwnd;
    }
    return NULL;
}

// Every wait of the driver: polls fDone() until it holds. At the deadline,
// or as soon as the program has ended, fails with what it waited for.
template <typename FN>
BOOL WaitFor(RUN* pRun, DWORD dwTimeoutMs, const char* szWhat, FN fDone)
{
    const ULONGLONG ullDeadline = GetTickCount64() + dwTimeoutMs;
    while (!fDone()) {
        if (ProgramEnded(pRun)) return Fail(pRun, "the program ended while waiting for %s", szWhat);
        if (GetTickCount64() > ullDeadline) return Fail(pRun, "no %s within %lu ms", szWhat, dwTimeoutMs);
        Sleep(POLL_MS);
    }
    return TRUE;
}

// Clicks button id of hwnd, then waits until hwndGone has closed.
BOOL ClickUntilGone(RUN* pRun, HWND hwnd, int id, HWND hwndGone)
{
    char szWhat[600];
    snprintf(szWhat, sizeof(szWhat), "\"%s\" to close", WindowText(hwndGone).c_str());
    return ClickButton(pRun, hwnd, id) && WaitFor(pRun, STEP_MS, szWhat, [&] { return !IsWindow(hwndGone); });
}

// The chooser's file-name box, found by what it is: a ComboBoxEx under the
// 64-bit Wine, an Edit under the 32-bit one, each with an id of its own.
HWND FindNameBox(HWND hChooser)
{
    for (const char* szClass : {"ComboBoxEx32", "Edit"}) {
        for (HWND hChild = GetWindow(hChooser, GW_CHILD); hChild != NULL; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
            if (IsWindowVisible(hChild) && ClassOf(hChild) == szClass) return hChild;
        }
    }
    return NULL;
}

// A time in milliseconds as the label shows it: a bare decimal number.
BOOL IsMilliseconds(const std::string& s)
{
    return !s.empty() && s.size() <= 6 && (s[0] != '0' || s.size() == 1) &&
           s.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

// Posted, never sent: a click that opens a modal dialog would not return.
BOOL ClickButton(RUN* pRun, HWND hwndParent, int id)
{
    HWND hButton = GetDlgItem(hwndParent, id);
    if (hButton == NULL || !IsWindowVisible(hButton)) {
        return Fail(pRun, "no button %d in %s", id, DescribeWindow(hwndParent).c_str());
    }
    return PostMessageA(hButton, BM_CLICK, 0, 0);
}

BOOL StartProgram(RUN* pRun, const char* szProgram)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, TRUE};
    HANDLE hLog = CreateFileA(pRun->szLog, GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, NULL);
    if (hLog == INVALID_HANDLE_VALUE) return Fail(pRun, "cannot make %s (error %lu)", pRun->szLog, GetLastError());
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hLog;
    si.hStdError = hLog;
    const BOOL fStarted =
        CreateProcessA(szProgram, NULL, NULL, NULL, TRUE, START_CLASS, NULL, pRun->szDir, &si, &pRun->pi);
    CloseHandle(hLog);
    if (!fStarted) return Fail(pRun, "cannot start %s (error %lu)", szProgram, GetLastError());
    const BOOL fShown = WaitFor(pRun, START_MS, "the dialog", [&] {
        for (HWND hwnd : WindowsOf(pRun)) {
            if (WindowText(hwnd) == DIALOG_TITLE) pRun->hDlg = hwnd;
        }
        return pRun->hDlg != NULL;
    });
    // Wine starts every process at the normal class, whatever CreateProcess
    // is asked; a class set from outside holds and reads back.
    SetPriorityClass(pRun->pi.hProcess, START_CLASS);
    const DWORD dwClass = GetPriorityClass(pRun->pi.hProcess);
    return fShown && (dwClass == START_CLASS ||
                      Fail(pRun, "the program cannot be run at priority class 0x%lX: it reads 0x%lX", START_CLASS,
                           dwClass));
}

std::string LabelText(const RUN* pRun)
{
    return WindowText(GetDlgItem(pRun->hDlg, IDC_TIMING));
}

// Waits until the program takes messages again, so that what it did since
// the last window closed (loading, converting, saving) is over.
BOOL Settle(RUN* pRun)
{
    DWORD_PTR dwResult = 0;
    return ProgramEnded(pRun) || SendMessageTimeoutA(pRun->hDlg, WM_NULL, 0, 0, SMTO_NORMAL, STEP_MS, &dwResult) ||
           Fail(pRun, "the program does not respond");
}

// Until a conversion has run (the label has shown no time yet), the
// program runs at the class it was started with; after one, at the normal
// class, whatever happened after it.
BOOL CheckPriority(RUN* pRun, const char* szWhen)
{
    const BOOL fConverted = pRun->fConverted = pRun->fConverted || IsMilliseconds(LabelText(pRun));
    const DWORD dwWant = fConverted ? NORMAL_PRIORITY_CLASS : START_CLASS;
    const DWORD dwGot = GetPriorityClass(pRun->pi.hProcess);
    return dwGot == dwWant ||
           Fail(pRun, "%s the program runs at priority class 0x%lX, want 0x%lX (%s)", szWhen, dwGot, dwWant,
                fConverted ? "normal, after a conversion" : "as started, since nothing was converted");
}

// A window of the program owned by hwndOwner, with the title given (any if
// NULL); while it is open, the program must run at the right class.
BOOL WaitForWindow(RUN* pRun, HWND hwndOwner, const char* szWhat, const char* szTitle, HWND* phwnd)
{
    if (!WaitFor(pRun, STEP_MS, szWhat, [&] { return (*phwnd = FindOwnedDialog(pRun, hwndOwner)) != NULL; })) {
        const std::string sWhy = pRun->szWhy;
        return Fail(pRun, "%s; the program shows %s", sWhy.c_str(), DescribeWindow(pRun->hDlg).c_str());
    }
    if (szTitle != NULL && WindowText(*phwnd) != szTitle) {
        return Fail(pRun, "expected the %s \"%s\", got %s", szWhat, szTitle, DescribeWindow(*phwnd).c_str());
    }
    if (!IsWindowVisible(pRun->hDlg)) return Fail(pRun, "the dialog is hidden while its %s is open", szWhat);
    return CheckPriority(pRun, "while a window of it is open,");
}

// A message box of the program: owned by the dialog, the expected text and
// caption, one OK button and nothing else to click; clicks OK.
BOOL ShowsBox(RUN* pRun, const char* szText, const char* szCaption)
{
    HWND hBox = NULL;
    if (!WaitForWindow(pRun, pRun->hDlg, "message box", NULL, &hBox)) return FALSE;
    const std::string sDescription = DescribeWindow(hBox);
    HWND hText = GetDlgItem(hBox, IDC_MSGBOX_TEXT);
    if (hText == NULL || WindowText(hText) != szText || WindowText(hBox) != szCaption) {
        return Fail(pRun, "expected a box \"%s\" captioned \"%s\", got %s", szText, szCaption, sDescription.c_str());
    }
    for (int id : {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
        HWND hButton = GetDlgItem(hBox, id);
        if (hButton != NULL && IsWindowVisible(hButton)) return Fail(pRun, "more than OK: %s", sDescription.c_str());
    }
    return ClickUntilGone(pRun, hBox, IDOK, hBox);
}

// A key press as the dialog's keyboard interface sees it, on the control
// that has the focus. Right after the dialog shows, Wine may not have
// given the focus to one of its controls yet.
BOOL DoKey(RUN* pRun, const STEP& step)
{
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof(gti);
    if (!WaitFor(pRun, STEP_MS, "the dialog to have the focus", [&] {
            return GetGUIThreadInfo(pRun->pi.dwThreadId, &gti) &&
                   (gti.hwndFocus == pRun->hDlg || IsChild(pRun->hDlg, gti.hwndFocus));
        })) {
        return FALSE;
    }
    const LPARAM lParam = static_cast<LPARAM>(1 | (MapVirtualKeyA(step.bVk, MAPVK_VK_TO_VSC) << 16));
    if (!PostMessageA(gti.hwndFocus, WM_KEYDOWN, step.bVk, lParam)) {
        return Fail(pRun, "cannot press key 0x%02X on %s (error %lu)", step.bVk, DescribeWindow(gti.hwndFocus).c_str(),
                    GetLastError());
    }
    // The key down may already have ended the dialog (Esc does), and with it
    // the window the key up was for: the step's outcome checks what it did.
    PostMessageA(gti.hwndFocus, WM_KEYUP, step.bVk, lParam | static_cast<LPARAM>(0xC0000000u));
    return TRUE;
}

// A chooser of the program: the right title, owned by the dialog, with the
// file-name box; types the name and clicks OK, or clicks Cancel.
BOOL DoChoose(RUN* pRun, const STEP& step)
{
    HWND hChooser = NULL;
    if (!WaitForWindow(pRun, pRun->hDlg, "file chooser", step.szText, &hChooser)) return FALSE;
    // Sent with a timeout: the program's thread takes messages while the chooser shows.
    DWORD_PTR dwResult = 0;
    if (strcmp(step.szText, OPEN_TITLE) == 0 &&
        !SendMessageTimeoutA(GetDlgItem(pRun->hDlg, IDC_TIMING), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(LABEL_MARK),
                             SMTO_NORMAL, STEP_MS, &dwResult)) {
        return Fail(pRun, "could not mark the label (error %lu)", GetLastError());
    }
    if (step.szFile == NULL) return ClickUntilGone(pRun, hChooser, IDCANCEL, hChooser);
    HWND hName = FindNameBox(hChooser);
    if (hName == NULL) return Fail(pRun, "the chooser has no file-name box: %s", DescribeWindow(hChooser).c_str());
    const std::string sPath = PathOf(pRun, step.szFile);
    pRun->touched.push_back(sPath);
    // The file an Open chooser is given must come through the case unchanged.
    if (strcmp(step.szText, OPEN_TITLE) == 0 && !KeepFile(pRun, sPath, FALSE)) return FALSE;
    // Typed as UTF-16, whatever the program's code page.
    WCHAR wszPath[3 * MAX_PATH] = L"";
    MultiByteToWideChar(CP_UTF8, 0, sPath.c_str(), -1, wszPath, ARRAYSIZE(wszPath));
    if (!SendMessageTimeoutW(hName, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wszPath), SMTO_NORMAL, STEP_MS,
                             &dwResult)) {
        return Fail(pRun, "could not type the file name into \"%s\"", step.szText);
    }
    // The chooser closes, or asks a question first (a file to replace).
    return ClickButton(pRun, hChooser, IDOK) && WaitFor(pRun, STEP_MS, "the chooser to close", [&] {
               return !IsWindow(hChooser) || FindOwnedDialog(pRun, hChooser) != NULL;
           });
}

// The chooser answers the name in a box of its own: before replacing a file
// it asks (Yes, and the chooser closes); a name it will not take it refuses
// and stays open (OK, then Cancel).
BOOL DoChooserBox(RUN* pRun, const STEP& step)
{
    const BOOL fConfirm = step.op == OP_CONFIRM;
    HWND hChooser = NULL;
    HWND hBox = NULL;
    if (!WaitForWindow(pRun, pRun->hDlg, "file chooser", step.szText, &hChooser) ||
        !WaitForWindow(pRun, hChooser, fConfirm ? "question whether to replace the file" : "box refusing the name",
                       NULL, &hBox)) {
        return FALSE;
    }
    if (fConfirm) return ClickUntilGone(pRun, hBox, IDYES, hChooser);
    Note(pRun, "the chooser refused the name: %s", DescribeWindow(hBox).c_str());
    return ClickUntilGone(pRun, hBox, IDOK, hBox) && ClickUntilGone(pRun, hChooser, IDCANCEL, hChooser);
}

// The box given, or for a text of the case the box hex2bin must show for
// it: the model's outcome, with its count as the caption.
BOOL DoBox(RUN* pRun, const STEP& step)
{
    static const char* const OUTCOME_TEXT[] = {OK_TEXT, BAD_CHAR_TEXT, UNPAIRED_TEXT};  // by the model's status
    int status = 0;
    ULONGLONG cb = 0;
    if (step.data.kind != DATA_PARSED) return ShowsBox(pRun, step.szText, step.szCaption);
    if (!RunModel(pRun, step.data, &status, &cb)) return FALSE;
    Note(pRun, "the model reads %llu bytes from %s: \"%s\"", cb, step.data.pb, OUTCOME_TEXT[status]);
    return ShowsBox(pRun, OUTCOME_TEXT[status], std::to_string(cb).c_str());
}

// The label comes to read what is expected: the conversion runs on after
// the input chooser closes.
BOOL DoLabel(RUN* pRun, const STEP& step)
{
    if (!WaitFor(pRun, STEP_MS, "the label's new text", [&] {
            return step.szText == NULL ? IsMilliseconds(LabelText(pRun)) : LabelText(pRun) == step.szText;
        })) {
        return Fail(pRun, "the label reads \"%s\", expected %s%s%s", LabelText(pRun).c_str(), step.szText ? "\"" : "",
                    step.szText ? step.szText : "a time in milliseconds", step.szText ? "\"" : "");
    }
    pRun->fConverted = pRun->fConverted || step.szText == NULL;
    if (step.szText == NULL && atoi(LabelText(pRun).c_str()) >= 100) {
        Note(pRun, "the conversion took %s ms", LabelText(pRun).c_str());
    }
    return TRUE;
}

// Nothing happens for a while: no window opens, the label keeps its text
// and the program keeps running with its dialog enabled.
BOOL DoQuiet(RUN* pRun, const STEP& step)
{
    const std::string sLabel = LabelText(pRun);
    const ULONGLONG ullEnd = GetTickCount64() + step.dwMs;
    do {
        for (HWND hwnd : WindowsOf(pRun)) {
            if (hwnd != pRun->hDlg) return Fail(pRun, "a window opened: %s", DescribeWindow(hwnd).c_str());
        }
        if (ProgramEnded(pRun)) return Fail(pRun, "the program ended");
        if (!IsWindowEnabled(pRun->hDlg)) return Fail(pRun, "the dialog is disabled: a window is opening over it");
        if (LabelText(pRun) != sLabel) {
            return Fail(pRun, "the label changed from \"%s\" to \"%s\"", sLabel.c_str(), LabelText(pRun).c_str());
        }
        Sleep(POLL_MS);
    } while (GetTickCount64() < ullEnd);
    return TRUE;
}
