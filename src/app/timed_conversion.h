// The window around a conversion: raised priority, two tick readings, and the
// elapsed milliseconds shown in the timing label.
#pragma once

#include <windows.h>

// Requests the realtime priority class and returns the first tick reading.
// Call it right before the conversion, with everything else already done.
DWORD BeginTimedConversion();

// Takes the second tick reading, shows the difference in the timing label
// (szTime is the command's own number buffer), and returns the process to
// the normal priority class.
void EndTimedConversion(DWORD dwStart, char* szTime);
