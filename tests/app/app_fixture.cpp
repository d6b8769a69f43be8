// The application tests' fixture: the recording dialog, the machine, and the statics' reset.
#include "app_fixture.h"

#include "trace/trace_testing.h"

#include <chrono>
#include <cstdio>
#include <new>

namespace apptest {

const GUID kLayeredProvider = {
    0x5A4B3C2D, 0x1E0F, 0x4A1B, {0x8C, 0x9D, 0xAE, 0xBF, 0xC0, 0xD1, 0xE2, 0xF3}};

BEGIN_MESSAGE_MAP(RecordingDlg, CUninstallDlg)
ON_MESSAGE(WM_UNINSTALL_REFRESH, RecordRefresh)
ON_MESSAGE(WM_UNINSTALL_STAGE, RecordStage)
ON_MESSAGE(WM_UNINSTALL_RESULT, RecordResult)
ON_MESSAGE(WM_APP, RunPosted)
END_MESSAGE_MAP()

LRESULT RecordingDlg::RecordRefresh(WPARAM wParam, LPARAM lParam) {
    Record(m_hWnd, "REFRESH");
    return RefreshUI(wParam, lParam);
}

LRESULT RecordingDlg::RecordStage(WPARAM wParam, LPARAM lParam) {
    Record(m_hWnd, "STAGE " + std::to_string(wParam));
    return OnStage(wParam, lParam);
}

LRESULT RecordingDlg::RecordResult(WPARAM wParam, LPARAM lParam) {
    Record(m_hWnd, "RESULT " + std::to_string(wParam));
    return OnStageResult(wParam, lParam);
}

LRESULT RecordingDlg::RunPosted(WPARAM, LPARAM) {
    std::function<void()> action;
    {
        std::lock_guard<std::mutex> held(m_lock);
        action.swap(m_action);
    }
    if (action)
        action();
    return 0;
}

void RecordingDlg::PostAction(std::function<void()> action) {
    {
        std::lock_guard<std::mutex> held(m_lock);
        m_action = std::move(action);
    }
    PostMessageA(m_hWnd, WM_APP, 0, 0);
}

void RecordingDlg::Record(HWND window, const std::string& what) {
    Event event = {what, sim::ControlText(window, IDC_MESSAGE),
                   sim::ControlText(window, IDC_ACTION), sim::IsControlEnabled(window, IDC_ACTION)};
    std::lock_guard<std::mutex> held(m_lock);
    m_events.push_back(event);
}

std::vector<Event> RecordingDlg::Events() const {
    std::lock_guard<std::mutex> held(m_lock);
    return m_events;
}

Names RecordingDlg::EventNames() const {
    Names names;
    for (const Event& event : Events())
        names.push_back(event.what);
    return names;
}

Names SuccessfulRun() {
    return {"REFRESH",  "STAGE 106", "RESULT 0", "BOX",       "STAGE 112", "RESULT 0", "STAGE 110",
            "RESULT 0", "STAGE 107", "RESULT 0", "STAGE 108", "RESULT 0",  "REFRESH"};
}

std::string Profile::Text() const {
    return "[service 1]\n" + services + "[registry key 1]\n" + registryKeys +
           "[registry value 1]\n" + registryValues + "[file 1]\n" + files;
}

void AppTest::SetUp() {
    ResetProgramStatics();
    sim::Reset();
    sim::UseResources(ProgramResources());
    sim::SetModulePath(kProgram);
    sim::AddFolder("C:\\Tools");
}

void AppTest::TearDown() {
    sim::OnMessageBox(nullptr);
    sim::OnSleep(nullptr);
    if (m_ui.joinable()) {
        if (!m_uiEnded && IsWindow(m_window))
            sim::CloseDialog(m_window);
        // A thread that ended the process stays parked for ever; anything else is a hang.
        bool parked = false;
        WaitUntil(
            [this, &parked] {
                parked = !m_uiEnded && sim::WaitForProcessExit(0);
                return m_uiEnded || parked;
            },
            10000);
        if (m_uiEnded) {
            m_ui.join();
        } else {
            if (!parked)
                ADD_FAILURE() << "the dialog's thread did not end";
            m_ui.detach();
            (void)m_dialog.release(); // the detached thread may still use it
        }
    }
    // The worker may outlive the dialog (ESC during a run): its objects stay until it has ended.
    if (g_workerContext.thread) {
        HANDLE worker = g_workerContext.thread;
        if (!WaitUntil([worker] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; },
                       10000)) {
            ADD_FAILURE() << "the worker did not end";
            (void)m_dialog.release(); // the worker may still use it
            return;
        }
        CloseHandle(worker);
        g_workerContext.thread = nullptr;
    }
    m_dialog.reset();
}

void AppTest::ResetProgramStatics() {
    // In the order of process exit and start: the trace scope's end closes the log.
    g_traceProcessScope.~TraceScope();
    TraceResetForTests();
    g_engine.~CUninstallEngine();
    new (&g_engine) CUninstallEngine();
    g_workerContext = WorkerContext{nullptr, nullptr, 0, &g_engine};
    new (&g_traceProcessScope) TraceScope(g_traceCategory, "*\n");
    theApp.m_pMainWnd = nullptr;
}

void AppTest::InstallProduct() {
    sim::AddFile(kProductFile, "app");
    sim::AddFile("C:\\Program Files\\Example Suite\\readme.txt", "readme");
    sim::SetString(kProductKey, "Path", kProductFolder);
    sim::SetDword(kProductSubKey, "Level", 3);
    sim::SetString(kRunKey, kRunValue, kProductFile);
    sim::SetString(kRunKey, "Other", "C:\\other.exe");
    sim::AddService({kService, "Example Service", SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING});
    sim::AddLayeredProvider(kLayeredProvider, 2);
    sim::AddWmiInstance(kSecurityCenter, kAntiVirus);
    sim::AddWmiInstance(kSecurityCenter, kFirewall);
}

Profile AppTest::ProductProfile() {
    Profile profile;
    profile.services = std::string("remove=SERVICE_NAME,BY_VALUE,") + kService + "\n";
    profile.registryKeys = std::string("remove=REG_KEY,BY_VALUE,") + kProductKey + "\n";
    profile.registryValues =
        std::string("remove=REG_VALUE,BY_VALUE,") + kRunKey + "\\" + kRunValue + "\n";
    profile.files = std::string("remove=FILE_NAME,BY_VALUE,") + kProductFolder + "\n";
    return profile;
}

void AppTest::WriteProfile(const std::string& text) {
    sim::AddFile(kProfile, text);
}

void AppTest::OpenDialog() {
    m_dialog = std::make_unique<RecordingDlg>();
    RecordingDlg* dialog = m_dialog.get();
    m_ui = std::thread([this, dialog] {
        // As the application's initialisation does.
        theApp.m_pMainWnd = dialog;
        m_modalResult = dialog->DoModal();
        theApp.m_pMainWnd = nullptr;
        m_uiEnded = true;
    });
    m_window = sim::WaitForDialog(IDD_UNINSTALL);
    ASSERT_NE(nullptr, m_window);
}

void AppTest::RunApplication() {
    m_ui = std::thread([this] {
        m_initResult = theApp.InitInstance();
        m_uiEnded = true;
    });
    m_window = sim::WaitForDialog(IDD_UNINSTALL);
    ASSERT_NE(nullptr, m_window);
}

bool AppTest::WaitForDialogEnd(DWORD timeoutMs) {
    if (!WaitUntil([this] { return m_uiEnded.load(); }, timeoutMs))
        return false;
    m_ui.join();
    return true;
}

void AppTest::PressButton() {
    ASSERT_TRUE(sim::ClickButton(m_window, IDC_ACTION));
}

bool AppTest::WaitForRunEnd(DWORD timeoutMs) {
    bool ended = WaitUntil(
        [this] {
            std::string button = ButtonText();
            return ButtonEnabled() && button != "Start" && button != "Cancel";
        },
        timeoutMs);
    return ended && sim::WaitForIdle(m_window, timeoutMs);
}

void AppTest::Run(int answer) {
    if (answer)
        sim::QueueMessageBoxAnswer(answer);
    PressButton();
    ASSERT_TRUE(WaitForRunEnd()) << "button: " << ButtonText() << ", message: " << Message();
}

void AppTest::RecordConfirmation(std::function<void()> then) {
    RecordingDlg* dialog = m_dialog.get();
    HWND window = m_window;
    sim::OnMessageBox([dialog, window, then] {
        EXPECT_TRUE(sim::WaitForIdle(window));
        if (dialog)
            dialog->Record(window, "BOX");
        if (then)
            then();
    });
}

std::string AppTest::Text(UINT id) {
    char text[1024] = "";
    int length = LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof(text));
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

std::string AppTest::SystemText(DWORD code) {
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = length && text ? std::string(text, length) : std::string();
    if (text)
        LocalFree(text);
    return result;
}

std::string AppTest::StageLine(UINT stage, DWORD code) {
    return "\n -- " + Text(stage) + " " + SystemText(code);
}

std::vector<std::string> AppTest::LogLines() {
    std::string content = sim::FileContent(kLog);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find("\r\n", start);
        std::string line =
            content.substr(start, end == std::string::npos ? std::string::npos : end - start);
        size_t tab = line.find('\t');
        lines.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return lines;
}

bool AppTest::WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace apptest
