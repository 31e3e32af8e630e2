// The program's private modules: shared objects that hold the parts needing large libraries
// (the image codecs, QtCore), loaded only when those parts are needed so that the programs
// start at once.
#pragma once

#include <string>

namespace korvale {

// Loads `file` from beside the running program (the build tree) or else from the installed
// module folder, and returns its exported symbol `entry`; nullptr with the reason in `error`
// when either fails. The module is never unloaded: its static objects and atexit handlers live
// in it.
void* LoadProgramModule(const std::string& file, const char* entry, std::string& error);

}  // namespace korvale
