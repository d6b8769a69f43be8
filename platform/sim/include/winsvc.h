// Stand-in for the SDK's winsvc.h on the native target.
#pragma once
#include <windows.h>
