// korvale-cli: the command-line twin of the window program, on the same engine.
#include <opencv2/core/utility.hpp>

#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"
#include "korvale/Version.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const korvale::cli::Arguments&);
};

constexpr Command kCommands[] = {
    {"probe", korvale::cli::RunProbe},
    {"stamp", korvale::cli::RunStamp},
    {"presets", korvale::cli::RunPresets},
    {"options", korvale::cli::RunOptions},
};

const char kUsage[] =
    "Usage: korvale-cli COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  probe FILE...       print width, height and DPI read from each file's header\n"
    "                      (path, tab, then 'ok' and the three numbers, or 'unreadable')\n"
    "  stamp DPI FILE...   patch DPI (0 to 10000) into each file's header in place, without\n"
    "                      re-encoding; prints 'stamped' or 'unchanged' for each file\n"
    "  presets             list the presets as the window loads them (index, name, width,\n"
    "                      height, DPI; tab-separated); creates the preset file from the\n"
    "                      default one on first use; load problems go to standard error;\n"
    "                      tabs, line ends and backslashes in names show as \\t \\n \\r \\\\\n"
    "  options             print the options the window would start with, one Name=value\n"
    "                      line per stored value; reads the window's settings, never writes\n"
    "                      them\n"
    "\n"
    "Options:\n"
    "  --help              show this help\n"
    "  --version           show the version and the OpenCV version linked\n"
    "\n"
    "Exit status: 0 success, 1 some file failed or the preset file had problems\n"
    "(presets, options: what could be read is still printed), 2 usage error.\n";

}  // namespace

namespace korvale::cli {

int UsageError(const std::string& message) {
    std::fprintf(stderr, "korvale-cli: %s\nTry 'korvale-cli --help'.\n", message.c_str());
    return kExitUsage;
}

Arguments FileArguments(const Arguments& args) {
    if (!args.empty() && args.front() == "--") {
        return Arguments(args.begin() + 1, args.end());
    }
    return args;
}

}  // namespace korvale::cli

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return korvale::cli::kExitUsage;
    }
    const char* name = argv[1];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
        std::fputs(kUsage, stdout);
        return korvale::cli::kExitOk;
    }
    if (std::strcmp(name, "--version") == 0) {
        // The library actually loaded, not the headers compiled against.
        std::printf("korvale-cli %s\nOpenCV %s\n", KORVALE_VERSION, cv::getVersionString().c_str());
        return korvale::cli::kExitOk;
    }
    for (const Command& command : kCommands) {
        if (std::strcmp(name, command.name) == 0) {
            return command.run(korvale::cli::Arguments(argv + 2, argv + argc));
        }
    }
    return korvale::cli::UsageError(std::string("unknown command '") + name + "'");
}
