// Stand-in for the SDK's ws2spi.h on the native target: the catalog listing and removal.
#pragma once

#include <winsock2.h>

int WINAPI WSCEnumProtocols(LPINT protocols, LPWSAPROTOCOL_INFOW buffer, LPDWORD bufferLength,
                            LPINT error);
int WINAPI WSCDeinstallProvider(LPGUID providerId, LPINT error);
// The provider's DLL path as registered (environment variables unexpanded); *length in WCHARs.
int WINAPI WSCGetProviderPath(LPGUID providerId, WCHAR* path, LPINT length, LPINT error);
