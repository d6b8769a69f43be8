// CProtocolCatalog: one snapshot of the whole Winsock 2 protocol catalog, in catalog order.
#pragma once

#include <winsock2.h>
#include <ws2spi.h>
#include <windows.h>

class CProtocolCatalog {
public:
    CProtocolCatalog();
    ~CProtocolCatalog();
    CProtocolCatalog(const CProtocolCatalog&) = delete;
    CProtocolCatalog& operator=(const CProtocolCatalog&) = delete;

    // Replaces the contents with a fresh copy of the catalog (all protocols): the program's own,
    // or with `catalog32` the 32-bit catalog of 64-bit Windows (WSCEnumProtocols32). False, with
    // the snapshot left empty and the reason in m_error, when it cannot be listed or the buffer
    // cannot be had.
    bool Load(bool catalog32 = false);
    int GetCount() const;
    // No bounds check: callers keep index below GetCount().
    WSAPROTOCOL_INFOW* GetEntry(int index) const;
    // Releases the buffer and leaves the snapshot empty; freeing an empty one does nothing.
    void Free();

    int m_count;
    WSAPROTOCOL_INFOW* m_entries;
    DWORD m_size;
    // Why the last Load failed (a Winsock or Win32 error number); 0 after one that worked.
    DWORD m_error;

private:
    // Empties the snapshot and keeps the reason; returns false.
    bool Failed(int error);
};
