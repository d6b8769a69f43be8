// Stand-in for the SDK's ws2spi.h on the native target: the catalog listing and removal.
#pragma once

#include <winsock2.h>

int WINAPI WSCEnumProtocols(LPINT protocols, LPWSAPROTOCOL_INFOW buffer, LPDWORD bufferLength,
                            LPINT error);
int WINAPI WSCDeinstallProvider(LPGUID providerId, LPINT error);
// The provider library's path as the catalog stores it (environment variables unexpanded); the
// length is in characters, in and out. WSAEINVAL for a GUID the catalog does not hold, WSAEFAULT
// with the needed length when the buffer is too short.
int WINAPI WSCGetProviderPath(LPGUID providerId, WCHAR* path, LPINT length, LPINT error);
// The 32-bit catalog of a 64-bit machine, for a 64-bit program.
int WINAPI WSCEnumProtocols32(LPINT protocols, LPWSAPROTOCOL_INFOW buffer, LPDWORD bufferLength,
                              LPINT error);
int WINAPI WSCDeinstallProvider32(LPGUID providerId, LPINT error);
