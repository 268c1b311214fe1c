#include "app/commands.h"

#include "app/app_state.h"
#include "app/format_decimal.h"
#include "app/timed_conversion.h"
#include "convert/hex_convert.h"
#include "fileio/file_access.h"

#include <cstring>

namespace {

// Number texts live for the process: one per use.
char szBin2HexTime[CCH_DECIMAL];
char szHex2BinTime[CCH_DECIMAL];
char szOutcomeCount[3][CCH_DECIMAL];  // one caption buffer per HexTextStatus

const char* const OUTCOME_TEXT[3] = {
    "Conversion was successful  ",                              // HEX_OK
    "Invalid character  ",                                      // HEX_BAD_CHAR
    "Hex must be in '00 FF 5D DF' character paired format  ",  // HEX_UNPAIRED
};

// The largest input whose hex text (4 bytes per input byte) fits a 32-bit size.
constexpr DWORD CB_MAX_BIN2HEX_INPUT = 0xFFFFFFFFu / 4;

void ShowFailure()
{
    MessageBoxA(AppState.hDlg, "Something went wrong", "hmmmmm,", MB_OK);
}

// A zero-filled output block, never empty, so a 0-byte result still has a block to own.
BYTE* AllocOutputBlock(DWORD cbOutput)
{
    return static_cast<BYTE*>(GlobalAlloc(GPTR, cbOutput != 0 ? cbOutput : 1));
}

// Saves the result and reports a failure: nothing written, or less than asked.
// An empty result counts as a failure too, since nothing could be written.
void SaveOutput(HWND hwnd, LPCSTR szTitle, const BYTE* pOutput, DWORD cbOutput)
{
    LPCSTR szName = PickOutputFile(hwnd, AppState.hInstance, szTitle, FILE_FILTER);
    if (szName[0] == '\0') {
        return;
    }
    const DWORD cbWritten = SaveFileBytes(szName, pOutput, cbOutput);
    if (cbWritten == 0 || cbWritten != cbOutput) {
        ShowFailure();
    }
}

// Chooses and loads the input into AppState; FALSE when the command ends here.
BOOL LoadInput()
{
    LPCSTR szName = PickInputFile(AppState.hDlg, AppState.hInstance, "Open file ...", FILE_FILTER);
    if (szName[0] == '\0') {
        return FALSE;
    }
    if (!LoadFileBytes(szName, &AppState.pLoaded, &AppState.cbLoaded)) {
        ShowFailure();
        return FALSE;
    }
    return TRUE;
}

}  // namespace

void OnBin2Hex(HWND hwnd)
{
    if (!LoadInput()) {
        return;
    }

    BYTE* pOutput = NULL;
    if (AppState.cbLoaded <= CB_MAX_BIN2HEX_INPUT) {
        pOutput = AllocOutputBlock(4 * AppState.cbLoaded);
    }
    if (pOutput == NULL) {
        GlobalFree(AppState.pLoaded);
        ShowFailure();
        return;
    }

    const DWORD dwStart = BeginTimedConversion();
    const DWORD cchText = BytesToHexText(AppState.pLoaded, AppState.cbLoaded, reinterpret_cast<char*>(pOutput));
    EndTimedConversion(dwStart, szBin2HexTime);
    GlobalFree(AppState.pLoaded);

    SaveOutput(hwnd, "Save File As Hex ...", pOutput, cchText);
    GlobalFree(pOutput);
}

void OnHex2Bin(HWND hwnd)
{
    if (!LoadInput()) {
        return;
    }

    // The text ends right after the bytes read (the block has room for the zero).
    AppState.pLoaded[AppState.cbLoaded] = 0;

    BYTE* pOutput = AllocOutputBlock(AppState.cbLoaded / 2 + AppState.cbLoaded % 2);
    if (pOutput == NULL) {
        GlobalFree(AppState.pLoaded);
        ShowFailure();
        return;
    }

    const DWORD dwStart = BeginTimedConversion();
    HexTextResult result = HexTextToBytes(reinterpret_cast<const char*>(AppState.pLoaded), pOutput);
    EndTimedConversion(dwStart, szHex2BinTime);

    // A zero byte inside the data ends the text early: whatever followed it
    // was not converted, so that is not a success.
    if (result.status == HEX_OK && std::memchr(AppState.pLoaded, 0, AppState.cbLoaded) != NULL) {
        result.status = HEX_BAD_CHAR;
    }
    GlobalFree(AppState.pLoaded);

    char* szCaption = szOutcomeCount[result.status];
    FormatDecimal(static_cast<int32_t>(result.count), szCaption);
    MessageBoxA(AppState.hDlg, OUTCOME_TEXT[result.status], szCaption, MB_OK);

    SaveOutput(hwnd, "Save Converted File As ...", pOutput, result.count);
    GlobalFree(pOutput);
}
