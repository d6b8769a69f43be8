// Stand-in for the SDK's commctrl.h on the native target: the common controls' initialisation.
#pragma once
#include <windows.h>

void WINAPI InitCommonControls(void);
