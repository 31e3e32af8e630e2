// Finding and loading a command module.
#include "CommandModule.h"

#include <cstdio>
#include <string>

#include "ProgramModule.h"
#include "Words.h"

namespace korvale::cli {

int RunInModule(const char* module, const char* name, const Arguments& args) {
    std::string error;
    using Entry = int (*)(const char*, const Arguments&);
    const auto entry =
        reinterpret_cast<Entry>(LoadProgramModule(module, KORVALE_CLI_MODULE_ENTRY_NAME, error));
    if (entry == nullptr) {
        std::fprintf(
            stderr, "korvale-cli: %s\n",
            CliText(QT_TRANSLATE_NOOP("korvale-cli", "cannot load %1: %2"), {module, error})
                .c_str());
        return kExitFailed;
    }
    return entry(name, args);
}

}  // namespace korvale::cli
