// The module of korvale-cli plan: the run's options and the plan, without the image codecs.
#include "CommandModule.h"

KORVALE_CLI_MODULE_ENTRY {
    static_cast<void>(name);
    return korvale::cli::RunPlanCommand(args);
}
