// Commands that need large libraries (the image codecs, QtCore) live in modules that the
// program loads only when such a command is called, so that the others start at once.
#pragma once

#include "Commands.h"

namespace korvale::cli {

// Loads the module file (its file name) from beside the program, or from the installed
// module folder, and runs the named command in it. A module that cannot be loaded is
// reported on standard error and gives kExitFailed.
int RunInModule(const char* module, const char* name, const Arguments& args);

}  // namespace korvale::cli

// The one symbol each module exports: runs the named command with the arguments after it.
#define KORVALE_CLI_MODULE_ENTRY                                                   \
    extern "C" __attribute__((visibility("default"))) int KorvaleCliModuleCommand( \
        const char* name, const korvale::cli::Arguments& args)
#define KORVALE_CLI_MODULE_ENTRY_NAME "KorvaleCliModuleCommand"
