// Ctrl-C and SIGTERM for kavrol-cli. The signals are blocked in every thread
// and taken by one watcher thread, so they work whatever the other threads are
// blocked in. The first asks the running conversion to stop; a second one,
// while it stops, removes what the conversion has written so far in the
// output folder and ends the process at once.
#pragma once

#include <string>

namespace kavrol {

// Before any other thread starts (the engine's threads inherit the mask).
void start_interrupt_watcher();

// 0 while no signal came, else the first signal's number.
int interrupt_signal();

// The exit status after the first signal: 130 for SIGINT, 143 for SIGTERM.
int interrupted_status();

// The folder the current conversion writes in (its temporary files are
// removed there after a second signal).
void set_output_folder(const std::string& folder);

}  // namespace kavrol
