// Shared set-up of the application tests: a fresh simulated machine with the program's resources,
// the program's static objects back in their start-up state, and the main dialog on its own thread.
#pragma once

#include "app/Kelvane.h"
#include "app/KelvaneDlg.h"
#include "platform/resources/resource_table.h"
#include "res/resource.h"
#include "sim/sim.h"
#include "trace/trace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern CUninstallApp theApp;
extern TraceScope g_traceProcessScope;

namespace apptest {

const char kProgram[] = "C:\\Tools\\Kelvane.exe";
const char kProfile[] = "C:\\Tools\\Kelvane.cfg";
const char kLog[] = "C:\\Tools\\Kelvane.log";

// One private message as the dialog received it ("REFRESH", "STAGE 106", "RESULT 0"), or the
// confirmation box ("BOX"), with what the dialog showed just before.
struct Event {
    std::string what;
    std::string message;
    std::string button;
    bool buttonEnabled;
};

// The main dialog with a recorder in front of the handlers of the worker's three messages. The
// handlers run in posting order, so the record is the order in which the worker posted.
class RecordingDlg : public CUninstallDlg {
public:
    LRESULT RecordRefresh(WPARAM wParam, LPARAM lParam);
    LRESULT RecordStage(WPARAM wParam, LPARAM lParam);
    LRESULT RecordResult(WPARAM wParam, LPARAM lParam);
    LRESULT RunPosted(WPARAM wParam, LPARAM lParam);

    // Posts `action` to the dialog's queue (from any thread): it runs on the dialog's thread once
    // the messages posted before it are handled, and holds that thread until it returns.
    void PostAction(std::function<void()> action);

    // Adds an event with the look of `window` (the dialog's window) now; from any thread.
    void Record(HWND window, const std::string& what);
    std::vector<Event> Events() const;
    std::vector<std::string> EventNames() const;

private:
    mutable std::mutex m_lock;
    std::vector<Event> m_events;
    std::function<void()> m_action;

    DECLARE_MESSAGE_MAP()
};

typedef std::vector<std::string> Names;

// The messages of a run that succeeds, with the confirmation box where the worker shows it.
Names SuccessfulRun();

// A profile with its four sections, each holding the entry lines given for it (none: empty).
struct Profile {
    std::string services;
    std::string registryKeys;
    std::string registryValues;
    std::string files;
    std::string Text() const;
};

// What the sample product installs, and the profile that removes it.
const char kProductFolder[] = "C:\\Program Files\\Example Suite";
const char kProductFile[] = "C:\\Program Files\\Example Suite\\bin\\app.exe";
const char kProductKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite";
const char kProductSubKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\\Settings";
const char kRunKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValue[] = "ExampleTray";
const char kService[] = "ExampleSvc";
const char kSecurityCenter[] = "root\\SecurityCenter";
const char kAntiVirus[] =
    "AntiVirusProduct.instanceGuid=\"{6F3C2A51-8D4E-4B7A-9C15-2E7B0D94A3F6}\"";
const char kFirewall[] = "FirewallProduct.instanceGuid=\"{A2D85E17-3B9C-4F60-8E21-7C4F19B05D8A}\"";
extern const GUID kLayeredProvider;

class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Test only: a process performs at most one run, so between tests the program's static
    // objects (engine, worker record, trace scope, the application's main window) are put back
    // into the state they have when the process starts. Needs no worker to be running.
    static void ResetProgramStatics();

    // The machine: the sample product installed, and the profile that removes it.
    static void InstallProduct();
    static Profile ProductProfile();
    static void WriteProfile(const std::string& text);

    // Runs the recording dialog as the application's initialisation runs the main dialog (as the
    // main window, modally), on its own thread, and waits until it is open.
    void OpenDialog();
    // Runs the application's own initialisation on its own thread and waits for its dialog.
    void RunApplication();
    // Waits until the dialog's thread has left the dialog (and, for the application, its
    // initialisation); false on timeout.
    bool WaitForDialogEnd(DWORD timeoutMs = 5000);

    // Presses the action button and waits until the dialog has handled the press.
    void PressButton();
    // Waits until the run has ended: the button is enabled and no longer reads Start or Cancel,
    // and every message posted to the dialog has been handled.
    bool WaitForRunEnd(DWORD timeoutMs = 10000);
    // The run from Start to its end, with the confirmation answered by `answer` (0: the default).
    void Run(int answer = 0);

    // Records the confirmation box in the dialog's events once the messages posted before it are
    // handled; `then` runs after that on the worker thread while the box is up.
    void RecordConfirmation(std::function<void()> then = nullptr);

    std::string Message() const { return sim::ControlText(m_window, IDC_MESSAGE); }
    std::string Status() const { return sim::ControlText(m_window, IDC_STATUS); }
    std::string ButtonText() const { return sim::ControlText(m_window, IDC_ACTION); }
    bool ButtonEnabled() const { return sim::IsControlEnabled(m_window, IDC_ACTION); }
    Names Events() const { return m_dialog ? m_dialog->EventNames() : Names(); }

    // A string of the program's string table, as the simulated system serves it.
    static std::string Text(UINT id);
    // The system's message text of an error number; empty when the system has none.
    static std::string SystemText(DWORD code);
    // The status area's line for a stage and its result.
    static std::string StageLine(UINT stage, DWORD code);
    // The log's lines without their date-time column.
    static std::vector<std::string> LogLines();

    static bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);

    std::unique_ptr<RecordingDlg> m_dialog;
    HWND m_window = nullptr;
    std::thread m_ui;
    std::atomic<bool> m_uiEnded{false};
    INT_PTR m_modalResult = 0;
    BOOL m_initResult = TRUE;
};

} // namespace apptest
