// Stand-in for the SDK's commctrl.h on the native target.
#pragma once
#include <windows.h>
