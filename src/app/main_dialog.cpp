#include "app/main_dialog.h"

#include "app/app_state.h"
#include "app/commands.h"
#include "app/control_ids.h"
#include "app/dialog_template.h"

INT_PTR RunMainDialog()
{
    BYTE* pTemplate = static_cast<BYTE*>(GlobalAlloc(GPTR, CB_DIALOG_TEMPLATE_BLOCK));
    if (pTemplate == NULL) {
        return -1;
    }
    WriteMainDialogTemplate(pTemplate);

    const INT_PTR nResult = DialogBoxIndirectParamA(AppState.hInstance, reinterpret_cast<LPCDLGTEMPLATEA>(pTemplate),
                                                    NULL, MainDialogProc, 0);
    GlobalFree(pTemplate);
    return nResult;
}

namespace {

// Ends the dialog, or, while a command runs, remembers that it was asked
// to: a close posted to the dialog reaches it through the command's own
// chooser or message box, and ending it there would hide the window under
// them and finish the command in a hidden window.
void CloseDialog(HWND hwnd)
{
    if (AppState.fCommandRunning) {
        AppState.fCloseAsked = TRUE;
        return;
    }
    EndDialog(hwnd, 0);
}

// The choosers and message boxes of a command run modal loops that still
// deliver posted messages to this dialog. Input cannot reach it while it is
// disabled, but a posted command could, and would start a second command in
// the middle of the first; such a command is ignored. A close asked for
// meanwhile is carried out when the command ends.
void RunCommand(void (*pfnCommand)(HWND), HWND hwnd)
{
    if (AppState.fCommandRunning) {
        return;
    }
    AppState.fCommandRunning = TRUE;
    pfnCommand(hwnd);
    AppState.fCommandRunning = FALSE;
    if (AppState.fCloseAsked) {
        CloseDialog(hwnd);
    }
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (uMsg) {
    case WM_INITDIALOG: {
        HICON hIcon = LoadIconA(NULL, IDI_INFORMATION);
        SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(hIcon));
        AppState.hTimingLabel = GetDlgItem(hwnd, IDC_TIMING);
        AppState.hDlg = hwnd;
        return TRUE;  // the focus goes to the first tab stop
    }

    case WM_COMMAND:
        // The whole wParam: a command runs only for notification code 0.
        switch (wParam) {
        case IDC_BIN2HEX:
            RunCommand(OnBin2Hex, hwnd);
            break;
        case IDC_HEX2BIN:
            RunCommand(OnHex2Bin, hwnd);
            break;
        case IDCANCEL:
            CloseDialog(hwnd);
            break;
        }
        return FALSE;

    case WM_CLOSE:
        CloseDialog(hwnd);
        return FALSE;
    }
    return FALSE;
}
