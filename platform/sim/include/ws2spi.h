// Stand-in for the SDK's ws2spi.h on the native target: the catalog listing and removal.
#pragma once

#include <winsock2.h>

int WINAPI WSCEnumProtocols(LPINT protocols, LPWSAPROTOCOL_INFOW buffer, LPDWORD bufferLength,
                            LPINT error);
int WINAPI WSCDeinstallProvider(LPGUID providerId, LPINT error);
// The 32-bit catalog of a 64-bit machine, for a 64-bit program.
int WINAPI WSCEnumProtocols32(LPINT protocols, LPWSAPROTOCOL_INFOW buffer, LPDWORD bufferLength,
                              LPINT error);
int WINAPI WSCDeinstallProvider32(LPGUID providerId, LPINT error);
