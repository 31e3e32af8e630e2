// The module of korvale-cli presets and options: the window's stores, on QtCore.
#include <cstring>

#include "CommandModule.h"

KORVALE_CLI_MODULE_ENTRY {
    return std::strcmp(name, "presets") == 0 ? korvale::cli::RunPresets(args)
                                             : korvale::cli::RunOptions(args);
}
