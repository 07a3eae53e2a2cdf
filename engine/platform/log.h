// Opt-in log of the engine's messages. KAVROL_LOG=stderr (or "-") writes
// them to standard error, any other value appends them to that file; unset,
// messages are dropped.
#pragma once

namespace corvexa::platform {

bool log_enabled();
void log_line(const char* text);
// What the user must hear of even without a log (a source cut short, sound
// left out): written to standard error as "kavrol: note: <text>", and to
// the log when it goes elsewhere.
void notice(const char* text);

}  // namespace corvexa::platform
