// The instance GUIDs under which this program's product is registered in the Security Center.
#pragma once

#include <windows.h>

// AntiVirusProduct.instanceGuid: {6F3C2A51-8D4E-4B7A-9C15-2E7B0D94A3F6}
const GUID kAntiVirusInstanceGuid = {
    0x6F3C2A51, 0x8D4E, 0x4B7A, {0x9C, 0x15, 0x2E, 0x7B, 0x0D, 0x94, 0xA3, 0xF6}};
// FirewallProduct.instanceGuid: {A2D85E17-3B9C-4F60-8E21-7C4F19B05D8A}
const GUID kFirewallInstanceGuid = {
    0xA2D85E17, 0x3B9C, 0x4F60, {0x8E, 0x21, 0x7C, 0x4F, 0x19, 0xB0, 0x5D, 0x8A}};
