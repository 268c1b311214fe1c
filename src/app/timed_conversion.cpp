#include "app/timed_conversion.h"

#include "app/app_state.h"
#include "app/format_decimal.h"

DWORD BeginTimedConversion()
{
    // The result is not examined: a class the system does not grant changes nothing else.
    SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
    return GetTickCount();
}

void EndTimedConversion(DWORD dwStart, char* szTime)
{
    // Unsigned difference: a wrap of the tick counter still gives the right small value.
    const DWORD dwElapsed = GetTickCount() - dwStart;
    FormatDecimal(static_cast<int32_t>(dwElapsed), szTime);
    SetWindowTextA(AppState.hTimingLabel, szTime);
    // Always back to normal, whatever class the process was started with.
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
}
