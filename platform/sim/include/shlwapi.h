// Stand-in for the SDK's shlwapi.h on the native target.
#pragma once
#include <windows.h>
