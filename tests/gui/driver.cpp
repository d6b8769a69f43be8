// A small Win32 driver for the real window: finds the main dialog, reads its message line, status
// area and button, presses the button, answers the confirmation box, acknowledges a notice box,
// opens the About box and waits for states. One step per run: "driver -o RESULT-FILE STEP [ARGS]
// [TIMEOUT-MS]". It is started on the program's virtual desktop, where the starter does not wait
// for it, so it appends what it read and, last, "exit=N" to the result file.
#include <windows.h>

#include "key_access.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* kMainCaption = "Uninstallation Tool";
const int kAction = 1000, kMessage = 1001, kStatus = 1003;

FILE* g_out = stdout;

FILE* Out() {
    return g_out;
}

std::string Text(HWND window) {
    char text[4096] = {};
    if (window)
        GetWindowTextA(window, text, sizeof(text));
    return text;
}

HWND MainDialog() {
    return FindWindowA("#32770", kMainCaption);
}

HWND WaitWindow(const char* caption, DWORD timeout) {
    for (DWORD waited = 0;; waited += 100) {
        HWND window = FindWindowA("#32770", caption);
        if (window || waited >= timeout)
            return window;
        Sleep(100);
    }
}

// Prints the escaped text so that one value stays on one line.
void PrintValue(const char* name, const std::string& value) {
    fprintf(Out(), "%s=", name);
    for (char c : value) {
        if (c == '\n')
            fputs("\\n", Out());
        else if (c == '\r')
            fputs("\\r", Out());
        else
            fputc(c, Out());
    }
    fputc('\n', Out());
}

int Read(HWND dialog) {
    HWND button = GetDlgItem(dialog, kAction);
    PrintValue("message", Text(GetDlgItem(dialog, kMessage)));
    PrintValue("status", Text(GetDlgItem(dialog, kStatus)));
    PrintValue("button", Text(button));
    fprintf(Out(), "enabled=%d\n", IsWindowEnabled(button) ? 1 : 0);
    return 0;
}

int WaitButton(HWND dialog, const char* text, DWORD timeout) {
    HWND button = GetDlgItem(dialog, kAction);
    for (DWORD waited = 0; waited < timeout; waited += 100) {
        if (Text(button) == text && IsWindowEnabled(button))
            return 0;
        Sleep(100);
    }
    fprintf(Out(), "timeout waiting for button %s (it reads %s)\n", text, Text(button).c_str());
    return 3;
}

// The text of a message box: its first static control that holds any (the icon's is empty).
std::string BoxText(HWND box) {
    HWND text = FindWindowExA(box, nullptr, "Static", nullptr);
    while (text && Text(text).empty())
        text = FindWindowExA(box, text, "Static", nullptr);
    return Text(text);
}

int Answer(bool yes, DWORD timeout) {
    HWND box = WaitWindow("Notification!", timeout);
    if (!box) {
        fprintf(Out(), "no confirmation box\n");
        return 4;
    }
    PrintValue("confirm", BoxText(box));
    PostMessageA(GetDlgItem(box, yes ? IDYES : IDNO), BM_CLICK, 0, 0);
    return 0;
}

// A message box of the program that only informs ("Notification!" with an OK button): its text,
// then OK.
int Notice(DWORD timeout) {
    HWND box = WaitWindow("Notification!", timeout);
    if (!box || !GetDlgItem(box, IDOK)) {
        fprintf(Out(), "no notice box\n");
        return 7;
    }
    PrintValue("notice", BoxText(box));
    PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    return 0;
}

// Makes a key of HKEY_CURRENT_USER refuse (deny) or again allow (allow) the setting and deleting
// of its values to everyone: an item the program cannot delete.
int KeyAccess(const char* path, bool deny) {
    if (SetValueChangesDenied(path, deny))
        return 0;
    fprintf(Out(), "cannot change the access list of %s\n", path);
    return 8;
}

int About(HWND dialog, DWORD timeout) {
    PostMessageA(dialog, WM_SYSCOMMAND, 0x0010, 0);
    HWND about = WaitWindow("About Kelvane", timeout);
    if (!about) {
        fprintf(Out(), "no About box\n");
        return 5;
    }
    std::string texts;
    for (HWND child = FindWindowExA(about, nullptr, nullptr, nullptr); child;
         child = FindWindowExA(about, child, nullptr, nullptr))
        texts += Text(child) + "|";
    PrintValue("about", texts);
    return 0;
}

int CloseAbout() {
    HWND about = FindWindowA("#32770", "About Kelvane");
    if (!about)
        return 5;
    PostMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    return 0;
}

int WaitGone(DWORD timeout) {
    for (DWORD waited = 0; waited < timeout; waited += 100) {
        if (!MainDialog())
            return 0;
        Sleep(100);
    }
    fprintf(Out(), "the dialog is still open\n");
    return 6;
}

} // namespace

int Run(int argc, char** argv);

int main(int argc, char** argv) {
    if (argc >= 3 && !strcmp(argv[1], "-o")) {
        FILE* file = fopen(argv[2], "a");
        if (file)
            g_out = file;
        argc -= 2;
        argv += 2;
    }
    int code = Run(argc, argv);
    fprintf(Out(), "exit=%d\n", code);
    fflush(Out());
    return code;
}

int Run(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr,
                "usage: driver read|click|escape|wait-button TEXT|answer yes|no|about|"
                "close-about|wait-gone|notice|deny-values KEY|allow-values KEY [timeout-ms]\n");
        return 2;
    }
    std::string step = argv[1];
    DWORD timeout = 20000;
    const char* last = argv[argc - 1];
    if (argc >= 3 && last[0] >= '0' && last[0] <= '9')
        timeout = static_cast<DWORD>(atol(last));

    if (step == "answer")
        return Answer(argc >= 3 && !strcmp(argv[2], "yes"), timeout);
    if (step == "close-about")
        return CloseAbout();
    if (step == "wait-gone")
        return WaitGone(timeout);
    if (step == "notice")
        return Notice(timeout);
    if ((step == "deny-values" || step == "allow-values") && argc >= 3)
        return KeyAccess(argv[2], step == "deny-values");

    HWND dialog = WaitWindow(kMainCaption, timeout);
    if (!dialog) {
        fprintf(Out(), "no main dialog\n");
        return 1;
    }
    if (step == "read")
        return Read(dialog);
    if (step == "click") {
        PostMessageA(GetDlgItem(dialog, kAction), BM_CLICK, 0, 0);
        return 0;
    }
    if (step == "escape") {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return 0;
    }
    if (step == "wait-button" && argc >= 3)
        return WaitButton(dialog, argv[2], timeout);
    if (step == "about")
        return About(dialog, timeout);
    fprintf(stderr, "unknown step %s\n", step.c_str());
    return 2;
}
