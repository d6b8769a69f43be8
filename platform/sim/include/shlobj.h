// Stand-in for the SDK's shlobj.h on the native target.
#pragma once
#include <windows.h>
