// Simulated version resource of the program module: its size, its block and the root query.
#include "core.h"

#include "sim/control_files.h"
#include "sim/control_kernel.h"
#include "sim/control_security.h"

#include <cstring>
#include <vector>

namespace {

struct VersionState {
    bool present = true;
    WORD parts[4] = {1, 1, 213, 0};
    DWORD flags = VS_FF_DEBUG;
};

VersionState& State() {
    static VersionState state;
    return state;
}

void ResetVersion() {
    State() = VersionState();
}

simcore::ResetHook hook(ResetVersion);

// The block starts as a VS_VERSIONINFO does: its length, the value's length, its type and the
// UTF-16 key "VS_VERSION_INFO", padded to four bytes, then the fixed file information.
const char kKey[] = "VS_VERSION_INFO";
constexpr size_t kHeader = 3 * sizeof(WORD) + sizeof(kKey) * 2;
constexpr size_t kValueOffset = (kHeader + 3) & ~static_cast<size_t>(3);
constexpr size_t kBlockSize = kValueOffset + sizeof(VS_FIXEDFILEINFO);

std::vector<BYTE> Block() {
    const VersionState& v = State();
    std::vector<BYTE> block(kBlockSize, 0);
    WORD header[3] = {static_cast<WORD>(kBlockSize), static_cast<WORD>(sizeof(VS_FIXEDFILEINFO)),
                      0};
    memcpy(block.data(), header, sizeof(header));
    for (size_t i = 0; i < sizeof(kKey); ++i)
        block[sizeof(header) + 2 * i] = static_cast<BYTE>(kKey[i]);
    VS_FIXEDFILEINFO info;
    memset(&info, 0, sizeof(info));
    info.dwSignature = VS_FFI_SIGNATURE;
    info.dwStrucVersion = VS_FFI_STRUCVERSION;
    info.dwFileVersionMS = static_cast<DWORD>(v.parts[0]) << 16 | v.parts[1];
    info.dwFileVersionLS = static_cast<DWORD>(v.parts[2]) << 16 | v.parts[3];
    info.dwProductVersionMS = info.dwFileVersionMS;
    info.dwProductVersionLS = info.dwFileVersionLS;
    info.dwFileFlagsMask = VS_FFI_FILEFLAGSMASK;
    info.dwFileFlags = v.flags;
    info.dwFileOS = VOS__WINDOWS32;
    info.dwFileType = VFT_APP;
    memcpy(block.data() + kValueOffset, &info, sizeof(info));
    return block;
}

// 0 when the file has a version resource, else the reason it has none.
DWORD Missing(LPCSTR path) {
    if (!path)
        return ERROR_INVALID_PARAMETER;
    if (simcore::EqualNoCase(path, sim::ModulePath()))
        return State().present ? 0 : ERROR_RESOURCE_TYPE_NOT_FOUND;
    return sim::Exists(path) ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_FILE_NOT_FOUND;
}

} // namespace

namespace sim {

void SetVersionResource(WORD major, WORD minor, WORD build, WORD revision, DWORD flags) {
    simcore::Guard guard(simcore::MachineLock());
    State().present = true;
    State().parts[0] = major;
    State().parts[1] = minor;
    State().parts[2] = build;
    State().parts[3] = revision;
    State().flags = flags;
}

void RemoveVersionResource() {
    simcore::Guard guard(simcore::MachineLock());
    State().present = false;
}

} // namespace sim

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR path, LPDWORD handle) {
    if (handle)
        *handle = 0;
    SIM_API_ENTRY(error, simcore::FailWith(error, 0));
    if ((error = Missing(path)) != 0)
        return simcore::FailWith(error, 0);
    return static_cast<DWORD>(kBlockSize);
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR path, DWORD, DWORD size, LPVOID data) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    if ((error = Missing(path)) != 0 || (!data && (error = ERROR_INVALID_PARAMETER) != 0))
        return simcore::FailWith(error, FALSE);
    // A short buffer gets the start of the block, its length cut to what was copied, so that a
    // query of it cannot read past the caller's buffer.
    std::vector<BYTE> block = Block();
    size_t copied = size < block.size() ? size : block.size();
    memcpy(data, block.data(), copied);
    if (copied >= sizeof(WORD)) {
        WORD length = static_cast<WORD>(copied);
        memcpy(data, &length, sizeof(length));
    }
    return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
    SIM_API_ENTRY(error, simcore::FailWith(error ? error : ERROR_INVALID_PARAMETER, FALSE));
    if (!block || !subBlock || !buffer)
        return simcore::FailWith(ERROR_INVALID_PARAMETER, FALSE);
    // Only the root block is held; string tables and translations are absent.
    if (strcmp(subBlock, "\\") != 0 && *subBlock) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    WORD total;
    memcpy(&total, block, sizeof(total));
    const BYTE* bytes = static_cast<const BYTE*>(block);
    VS_FIXEDFILEINFO info;
    if (total < kBlockSize) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return FALSE;
    }
    memcpy(&info, bytes + kValueOffset, sizeof(info));
    if (info.dwSignature != VS_FFI_SIGNATURE) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return FALSE;
    }
    *buffer = const_cast<BYTE*>(bytes + kValueOffset);
    if (length)
        *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
