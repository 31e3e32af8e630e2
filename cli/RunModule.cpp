// The module of korvale-cli run: the conversion engine and the image codecs.
#include "CommandModule.h"

KORVALE_CLI_MODULE_ENTRY {
    static_cast<void>(name);
    return korvale::cli::RunBatchCommand(args);
}
