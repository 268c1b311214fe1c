// Program entry: no command line, no settings; one modal dialog, then exit.
#include "app/app_state.h"
#include "app/main_dialog.h"

int WINAPI WinMain(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/, int /*nShowCmd*/)
{
    AppState.hInstance = GetModuleHandleA(NULL);
    const INT_PTR nResult = RunMainDialog();
    ExitProcess(static_cast<UINT>(nResult));
}
