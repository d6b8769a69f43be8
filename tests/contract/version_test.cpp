// Version resource behaviour the log's first line relies on: this program's own resource
// (1.1.213.0 with the debug flag, as the program itself carries) and a file without one.
#include "contract.h"

#include <winver.h>

#include <string>
#include <vector>

namespace {

std::string OwnPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    return path;
}

} // namespace

using VersionContract = contract::Test;

TEST_F(VersionContract, OwnResourceGivesTheFixedFileInformation) {
    std::string path = OwnPath();
    DWORD handle = 7;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, sizeof(VS_FIXEDFILEINFO)) << GetLastError();
    EXPECT_EQ(0u, handle);

    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data())) << GetLastError();
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<LPVOID*>(&info), &length));
    ASSERT_NE(nullptr, info);
    EXPECT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    // The fixed information lies inside the caller's block.
    EXPECT_GE(reinterpret_cast<BYTE*>(info), block.data());
    EXPECT_LE(reinterpret_cast<BYTE*>(info + 1), block.data() + size);
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_SIGNATURE), info->dwSignature);
    EXPECT_EQ(0x00010001u, info->dwFileVersionMS);
    EXPECT_EQ(0x00D50000u, info->dwFileVersionLS);
    EXPECT_TRUE(info->dwFileFlags & VS_FF_DEBUG);
}

TEST_F(VersionContract, MissingFileHasNoResource) {
    std::string path = contract::Scratch() + "\\missing.exe";
    SetLastError(contract::kMarker);
    EXPECT_EQ(0u, GetFileVersionInfoSizeA(path.c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}
