// Contract harness on the simulated machine.
#include "contract.h"

#include "contract_dialogs.h"

#include "sim/sim.h"

namespace contract {

namespace {

#define CTRL(id, cls, text, style, exstyle, x, y, cx, cy)                                          \
    {id, cls, text, style, exstyle, x, y, cx, cy},
const sim::ControlTemplate kControls[] = {
#include "contract_dialogs.inc"
};
#undef CTRL

const sim::DialogTemplate kDialogs[] = {
    {KV_CONTRACT_DIALOG, KV_CONTRACT_CAPTION, KV_CONTRACT_STYLE, 0, 0, 0, KV_CONTRACT_SIZE,
     KV_CONTRACT_FONT, 8, kControls, static_cast<int>(sizeof(kControls) / sizeof(kControls[0]))},
};

#define STR(id, text) {id, text},
const sim::StringResource kStrings[] = {
#include "contract_strings.inc"
};
#undef STR

// What the contract test program carries as resources on Windows (contract_windows.rc).
const sim::ResourceSet kResources = {
    kDialogs, 1, kStrings, static_cast<int>(sizeof(kStrings) / sizeof(kStrings[0])), nullptr, 0};

} // namespace

void FreshMachine() {
    sim::Reset();
    sim::UseResources(&kResources);
    sim::AddFolder(Scratch().c_str());
}

std::string Scratch() {
    return "C:\\Scratch";
}

bool UnderWine() {
    return false;
}

void Windows64Machine() {
    sim::SetWindows64(true);
}

} // namespace contract

namespace contract {

// The simulated box takes its answer from the machine's queue and runs `whileUp` on the calling
// thread while it is up.
struct BoxAnswerer::Helper {
    size_t boxesBefore = 0;
};

BoxAnswerer::BoxAnswerer(const char*, int button, std::function<void()> whileUp)
    : m_helper(new Helper) {
    m_helper->boxesBefore = sim::MessageBoxes().size();
    sim::QueueMessageBoxAnswer(button);
    sim::OnMessageBox(std::move(whileUp));
}

BoxAnswerer::~BoxAnswerer() {
    sim::OnMessageBox(nullptr);
}

std::string BoxAnswerer::Text() {
    auto boxes = sim::MessageBoxes();
    return boxes.size() > m_helper->boxesBefore ? boxes[m_helper->boxesBefore].text : "";
}

} // namespace contract
