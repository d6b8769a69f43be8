// Stand-in for the SDK's winver.h on the native target.
#pragma once
#include <windows.h>
