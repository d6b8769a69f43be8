// Deleting the product's antivirus and firewall registrations from the Security Center (WMI).
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wbemidl.h>

// The whole step: nothing off the NT family; otherwise both deletions, each best effort.
// The result is SecurityCenterInit's when that failed, else 0; callers do not use it.
int UnregisterSecurityCenter();
// 1 when the system is older than Windows XP Service Pack 2 (or its version is unknown), else 0.
int IsSecurityCenterUnavailable();
// 0, or ERROR_CAN_NOT_COMPLETE when the Security Center is unavailable or COM will not start.
DWORD SecurityCenterInit();
// Balances a successful SecurityCenterInit.
void SecurityCenterUninit();
// Opens root\SecurityCenter; on success the caller owns one reference to *services.
HRESULT ConnectSecurityCenter(IWbemServices** services);
HRESULT DeleteAntiVirusProduct();
HRESULT DeleteFirewallProduct();
