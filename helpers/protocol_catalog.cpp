// Taking a snapshot of the Winsock 2 protocol catalog: one sizing call, one reading call.
#include "protocol_catalog.h"

#include "platform/os/wow64.h"

#include <cstdlib>

CProtocolCatalog::CProtocolCatalog() : m_count(0), m_entries(nullptr), m_size(0), m_error(0) {}

CProtocolCatalog::~CProtocolCatalog() {
    Free();
}

bool CProtocolCatalog::Load(bool catalog32) {
    Free();
    m_error = 0;

    auto list = catalog32 ? wow64::EnumProtocols32 : WSCEnumProtocols;
    DWORD length = 0;
    int error = 0;
    int listed = list(nullptr, nullptr, &length, &error);
    if (listed == SOCKET_ERROR && error != WSAENOBUFS)
        return Failed(error);
    if (length == 0)
        return listed != SOCKET_ERROR || Failed(error); // an empty catalog, nothing to read

    m_entries = static_cast<WSAPROTOCOL_INFOW*>(calloc(1, length));
    if (!m_entries)
        return Failed(ERROR_NOT_ENOUGH_MEMORY);
    m_size = length;

    // A catalog that grew since the sizing call fails here and is not retried. A count that
    // does not fit the buffer is never believed: the entries would be read past its end.
    DWORD size = m_size;
    int count = list(nullptr, m_entries, &size, &error);
    if (count == SOCKET_ERROR)
        return Failed(error);
    if (count < 0 || static_cast<DWORD>(count) > m_size / sizeof(WSAPROTOCOL_INFOW))
        return Failed(ERROR_INVALID_DATA);
    m_count = count;
    return true;
}

bool CProtocolCatalog::Failed(int error) {
    Free();
    // A failure that names no error is still a failure.
    m_error = error ? static_cast<DWORD>(error) : ERROR_CAN_NOT_COMPLETE;
    return false;
}

int CProtocolCatalog::GetCount() const {
    return m_count;
}

WSAPROTOCOL_INFOW* CProtocolCatalog::GetEntry(int index) const {
    return m_entries + index;
}

void CProtocolCatalog::Free() {
    free(m_entries);
    m_entries = nullptr;
    m_count = 0;
    m_size = 0;
}
