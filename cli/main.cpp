// korvale-cli: the command-line twin of the window program, on the same engine.
#include <opencv2/core/utility.hpp>

#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"
#include "MemoryTuning.h"
#include "korvale/Version.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const korvale::cli::Arguments&);
};

constexpr Command kCommands[] = {
    {"probe", korvale::cli::RunProbe},     {"run", korvale::cli::RunBatchCommand},
    {"stamp", korvale::cli::RunStamp},     {"stats", korvale::cli::RunStats},
    {"presets", korvale::cli::RunPresets}, {"options", korvale::cli::RunOptions},
};

const char kUsage[] =
    "Usage: korvale-cli COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  probe FILE...       print width, height and DPI read from each file's header\n"
    "                      (path, tab, then 'ok' and the three numbers, or 'unreadable')\n"
    "  stamp DPI FILE...   patch DPI (0 to 10000) into each file's header in place, without\n"
    "                      re-encoding; prints 'stamped' or 'unchanged' for each file\n"
    "  stats FILE...       list the files as the window does (probe, sort, duplicates; the\n"
    "                      window's messages on standard error), then one row per file (No.,\n"
    "                      name, width, height, DPI), 'files' with the count, and the minimum,\n"
    "                      maximum, average and mode of width, height and dpi\n"
    "  presets             list the presets as the window loads them (index, name, width,\n"
    "                      height, DPI; tab-separated); creates the preset file from the\n"
    "                      default one on first use; load problems go to standard error;\n"
    "                      tabs, line ends and backslashes in names show as \\t \\n \\r \\\\\n"
    "  options             print the options the window would start with, one Name=value\n"
    "                      line per stored value; reads the window's settings, never writes\n"
    "                      them\n"
    "  run [OPTIONS] FILE...\n"
    "                      convert the files into one folder, as the window's run does\n"
    "\n"
    "Options of run (a given width, height or DPI turns its switch on; without --settings\n"
    "the others are off, so the source's own value is kept):\n"
    "  --width N, --height N   target size in pixels, 32 to 65535\n"
    "  --dpi N                 target resolution, 0 to 10000\n"
    "  --preset NAME           the preset's width, height and DPI, all three switched on\n"
    "  --settings              start from the window's stored options, then apply the flags\n"
    "  --method resize|crop    scale (default), or paste at 1:1 onto the canvas and cut\n"
    "  --interpolation nearest|area|bilinear|bicubic|lanczos4   (default lanczos4)\n"
    "  --keep-aspect           keep the proportions, filling the rest with the margin colour\n"
    "  --anchor A              0 to 8, or top-left, top-centre, top-right, middle-left, centre,\n"
    "                          middle-right, bottom-left, bottom-centre, bottom-right\n"
    "  --margin R,G,B|#RRGGBB  margin colour (default white)\n"
    "  --format bmp|jpeg|source   output format (default: the source's own)\n"
    "  --quality N             JPEG quality, 0 to 100 (default 95)\n"
    "  --output DIR            output folder (required)\n"
    "  --mkdir                 create the output folder when it does not exist (otherwise a\n"
    "                          missing folder is reported and nothing is converted)\n"
    "  --overwrite ask|all|skip|cancel   when an output exists (default: ask on a terminal,\n"
    "                          otherwise cancel, so nothing is replaced unasked)\n"
    "  --quiet                 no progress and no completion message\n"
    "  Ctrl-C stops after the image in hand.\n"
    "\n"
    "Options:\n"
    "  --help              show this help\n"
    "  --version           show the version and the OpenCV version linked\n"
    "\n"
    "Exit status: 0 success, 1 some file failed, a check before a run failed, or the preset\n"
    "file had problems (presets, options: what could be read is still printed), 2 usage\n"
    "error, 3 run stopped or cancelled.\n";

}  // namespace

namespace korvale::cli {

int UsageError(const std::string& message) {
    std::fprintf(stderr, "korvale-cli: %s\nTry 'korvale-cli --help'.\n", message.c_str());
    return kExitUsage;
}

bool ParseWholeNumber(const std::string& text, long minimum, long maximum, long& value) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    long parsed = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        parsed = parsed * 10 + (c - '0');
    }
    if (parsed < minimum || parsed > maximum) {
        return false;
    }
    value = parsed;
    return true;
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
    if (argc > 2 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return korvale::cli::kExitOk;
    }
    korvale::KeepImageMemoryMapped();
    for (const Command& command : kCommands) {
        if (std::strcmp(name, command.name) == 0) {
            return command.run(korvale::cli::Arguments(argv + 2, argv + argc));
        }
    }
    return korvale::cli::UsageError(std::string("unknown command '") + name + "'");
}
