// The program's resources for the native build: the same string and control lists the .rc uses,
// served by the simulated window system.
#include "platform/resources/resource_table.h"

#include "res/dialogs.h"
#include "res/resource.h"

namespace {

#define CTRL(id, cls, text, style, exstyle, x, y, cx, cy) {id, cls, text, style, exstyle, x, y, cx, cy},

const sim::ControlTemplate kUninstallControls[] = {
#include "res/dialog_uninstall.inc"
};

const sim::ControlTemplate kAboutControls[] = {
#include "res/dialog_about.inc"
};

#undef CTRL

const sim::DialogTemplate kDialogs[] = {
    {IDD_UNINSTALL, KV_MAIN_CAPTION, KV_UNINSTALL_STYLE, KV_UNINSTALL_EXSTYLE, 0, 0,
     KV_UNINSTALL_SIZE, KV_DIALOG_FONT, 8, kUninstallControls,
     static_cast<int>(sizeof(kUninstallControls) / sizeof(kUninstallControls[0]))},
    {IDD_ABOUT, KV_ABOUT_CAPTION, KV_ABOUT_STYLE, 0, 0, 0, KV_ABOUT_SIZE, KV_DIALOG_FONT, 8,
     kAboutControls, static_cast<int>(sizeof(kAboutControls) / sizeof(kAboutControls[0]))},
};

#define STR(id, text) {id, text},
const sim::StringResource kStrings[] = {
#include "res/strings.inc"
};
#undef STR

const int kIcons[] = {IDI_MAIN};

const sim::ResourceSet kResources = {
    kDialogs,  static_cast<int>(sizeof(kDialogs) / sizeof(kDialogs[0])),
    kStrings,  static_cast<int>(sizeof(kStrings) / sizeof(kStrings[0])),
    kIcons,    static_cast<int>(sizeof(kIcons) / sizeof(kIcons[0])),
};

} // namespace

const sim::ResourceSet* ProgramResources() {
    return &kResources;
}
