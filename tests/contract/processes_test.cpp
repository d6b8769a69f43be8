// Process list and termination behaviour the program relies on: the snapshot and its record size,
// opening by id, terminating with an exit code, and waiting for the end.
#include "contract.h"

#include <tlhelp32.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string FileNamePart(const char* path) {
    const char* cut = strrchr(path, '\\');
    return cut ? cut + 1 : path;
}

std::string OwnPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    return path;
}

std::vector<PROCESSENTRY32> Snapshot() {
    std::vector<PROCESSENTRY32> rows;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return rows;
    PROCESSENTRY32 entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        rows.push_back(entry);
    CloseHandle(snapshot);
    return rows;
}

const PROCESSENTRY32* FindPid(const std::vector<PROCESSENTRY32>& rows, DWORD pid) {
    for (auto& row : rows)
        if (row.th32ProcessID == pid)
            return &row;
    return nullptr;
}

// A second copy of this program, started suspended so that it stays alive until terminated.
class Child {
public:
    Child() {
        std::string path = OwnPath();
        std::string command = "\"" + path + "\" --gtest_list_tests";
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        STARTUPINFOA startup;
        memset(&startup, 0, sizeof(startup));
        startup.cb = sizeof(startup);
        memset(&m_info, 0, sizeof(m_info));
        m_started = CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, FALSE,
                                   CREATE_SUSPENDED, nullptr, nullptr, &startup, &m_info) != 0;
    }
    ~Child() {
        if (!m_started)
            return;
        TerminateProcess(m_info.hProcess, 0);
        CloseHandle(m_info.hThread);
        CloseHandle(m_info.hProcess);
    }
    bool Started() const { return m_started; }
    DWORD Pid() const { return m_info.dwProcessId; }
    HANDLE Handle() const { return m_info.hProcess; }

private:
    PROCESS_INFORMATION m_info;
    bool m_started = false;
};

} // namespace

using ProcessContract = contract::Test;

TEST_F(ProcessContract, RecordLayoutMatchesTheSdk) {
    // 296 bytes in the 32-bit program, 304 where the heap id is 64 bits wide.
    EXPECT_EQ(sizeof(void*) == 4 ? 296u : 304u, sizeof(PROCESSENTRY32));
}

TEST_F(ProcessContract, SnapshotListsThisProgramByItsFileName) {
    std::vector<PROCESSENTRY32> rows = Snapshot();
    const PROCESSENTRY32* self = FindPid(rows, GetCurrentProcessId());
    ASSERT_NE(nullptr, self);
    EXPECT_EQ(0, lstrcmpiA(FileNamePart(OwnPath().c_str()).c_str(),
                           FileNamePart(self->szExeFile).c_str()))
        << self->szExeFile;
}

TEST_F(ProcessContract, RecordShorterThanTheStructureIsRefused) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, snapshot) << GetLastError();
    PROCESSENTRY32 entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry) - 4;
    SetLastError(contract::kMarker);
    EXPECT_FALSE(Process32First(snapshot, &entry));
    DWORD error = GetLastError();
    if (KV_WINE_DIFFERS("Wine reports a short record as ERROR_INSUFFICIENT_BUFFER"))
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), error);
    else
        EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_LENGTH), error);
    entry.dwSize = sizeof(entry);
    EXPECT_TRUE(Process32First(snapshot, &entry));
    CloseHandle(snapshot);
}

TEST_F(ProcessContract, SnapshotIsAFrozenCopy) {
    HANDLE before = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, before);
    Child child;
    ASSERT_TRUE(child.Started()) << GetLastError();

    PROCESSENTRY32 entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    bool childInOld = false;
    for (BOOL more = Process32First(before, &entry); more; more = Process32Next(before, &entry))
        childInOld = childInOld || entry.th32ProcessID == child.Pid();
    SetLastError(contract::kMarker);
    EXPECT_FALSE(Process32Next(before, &entry));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    CloseHandle(before);
    EXPECT_FALSE(childInOld);

    const PROCESSENTRY32* listed = nullptr;
    std::vector<PROCESSENTRY32> rows = Snapshot();
    listed = FindPid(rows, child.Pid());
    ASSERT_NE(nullptr, listed);
    EXPECT_EQ(0, lstrcmpiA(FileNamePart(OwnPath().c_str()).c_str(),
                           FileNamePart(listed->szExeFile).c_str()));
}

TEST_F(ProcessContract, TerminatedProcessSignalsItsHandleAndKeepsTheExitCode) {
    Child child;
    ASSERT_TRUE(child.Started()) << GetLastError();
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child.Pid());
    ASSERT_NE(nullptr, process) << GetLastError();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(process, 0));

    ASSERT_TRUE(TerminateProcess(process, 0xFFFFFFFF)) << GetLastError();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForMultipleObjects(1, &process, TRUE, 10000));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(child.Handle(), &code)) << GetLastError();
    EXPECT_EQ(0xFFFFFFFFu, code);
    EXPECT_EQ(nullptr, FindPid(Snapshot(), child.Pid()));

    SetLastError(contract::kMarker);
    BOOL again = TerminateProcess(process, 1);
    if (KV_WINE_DIFFERS("Wine lets an ended process be terminated again")) {
        EXPECT_TRUE(again);
    } else {
        EXPECT_FALSE(again);
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    }
    CloseHandle(process);
}

TEST_F(ProcessContract, HandleWithoutTheTerminateRightCannotTerminate) {
    Child child;
    ASSERT_TRUE(child.Started()) << GetLastError();
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, child.Pid());
    ASSERT_NE(nullptr, process) << GetLastError();
    SetLastError(contract::kMarker);
    EXPECT_FALSE(TerminateProcess(process, 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(process, 10));
    CloseHandle(process);
}

TEST_F(ProcessContract, OpeningAnIdThatRunsNoProcessFails) {
    SetLastError(contract::kMarker);
    EXPECT_EQ(nullptr, OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    // An id far above any the system hands out. (An ended process's id is no test: it stays
    // openable while anyone, the system included, holds a handle to it.)
    SetLastError(contract::kMarker);
    EXPECT_EQ(nullptr, OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, 0x7FFFFFFC));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}
