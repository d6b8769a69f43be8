// Lets each area of the simulated machine say what a restart does to it (programs end, ...).
#pragma once

namespace simrestart {

// Registered at static initialisation, like the reset hooks; run by sim::Restart() after the
// registered file operations are carried out.
struct RestartHook {
    explicit RestartHook(void (*onRestart)());
};

} // namespace simrestart
