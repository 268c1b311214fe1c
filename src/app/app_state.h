// The one process-wide record, all zero at start.
#pragma once

#include <windows.h>

struct APPSTATE {
    HWND hDlg;          // the main dialog: owner of the choosers and message boxes
    HINSTANCE hInstance;
    HWND hTimingLabel;  // shows the elapsed milliseconds of the latest conversion
    BYTE* pLoaded;      // block of the latest successful load
    DWORD cbLoaded;     // bytes of the latest successful load
    BOOL fCommandRunning;  // a conversion command has not returned yet
    BOOL fCloseAsked;      // the dialog was asked to close while a command ran
};

extern APPSTATE AppState;
