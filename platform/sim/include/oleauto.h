// Stand-in for the SDK's oleauto.h on the native target: BSTR allocation.
#pragma once

#include <windows.h>

BSTR WINAPI SysAllocString(const OLECHAR* text);
void WINAPI SysFreeString(BSTR text);
