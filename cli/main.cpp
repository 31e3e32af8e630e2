// korvale-cli: the command-line twin of the window program, on the same engine.
#include <cstdio>
#include <cstring>
#include <string>

#include "CommandModule.h"
#include "Commands.h"
#include "MemoryTuning.h"
#include "Words.h"

namespace {

// A command runs here (run) or in the module named (module), which is loaded only then.
struct Command {
    const char* name;
    int (*run)(const korvale::cli::Arguments&);
    const char* module;
};

constexpr char kRunModule[] = "korvale-cli-run.so";
constexpr char kSettingsModule[] = "korvale-cli-settings.so";
constexpr char kVersionModule[] = "korvale-cli-version.so";
constexpr char kPlanModule[] = "korvale-cli-plan.so";

constexpr Command kCommands[] = {
    {"probe", korvale::cli::RunProbe, nullptr},
    {"run", nullptr, kRunModule},
    {"stamp", korvale::cli::RunStamp, nullptr},
    {"stats", korvale::cli::RunStats, nullptr},
    {"presets", nullptr, kSettingsModule},
    {"options", nullptr, kSettingsModule},
    {"plan", nullptr, kPlanModule},
};

// The help, in English; its Japanese words are in korvale-cli_ja.ts.
const char kUsage[] = QT_TRANSLATE_NOOP(
    "korvale-cli",
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
    "  plan [OPTIONS] [--json] FILE...\n"
    "                      print what run with the same options would do to each file, writing\n"
    "                      nothing: a heading row, then one tab-separated row per file (source,\n"
    "                      output name, size and DPI, scale, margins, print size, whether the\n"
    "                      output exists, the problem that would stop the run), or with --json\n"
    "                      a JSON array of one object per file\n"
    "\n"
    "Every command that takes FILEs also takes --recursive before them: a named folder then\n"
    "brings the image files (by extension, any letter case) inside it and all its subfolders,\n"
    "hidden ones (a leading dot) left out and each folder walked once however many links lead\n"
    "to it; without it a folder is reported as one and skipped.\n"
    "\n"
    "Options of run (a given width, height or DPI turns its switch on; without --settings\n"
    "the others are off, so the source's own value is kept):\n"
    "  --width N, --height N   target size in pixels, 32 to 65535\n"
    "  --dpi N                 target resolution, 0 to 10000\n"
    "  --preset NAME           the preset's width, height and DPI, all three switched on\n"
    "  --settings              start from the window's stored options, then apply the flags\n"
    "  --method resize|crop    scale (default), or paste at 1:1 onto the canvas and cut\n"
    "  --method dpi-only       copy each file under its own name with only its DPI set, no\n"
    "                          re-encoding (size, interpolation and format are ignored)\n"
    "  --interpolation nearest|area|bilinear|bicubic|lanczos4   (default lanczos4)\n"
    "  --keep-aspect           keep the proportions, filling the rest with the margin colour\n"
    "  --anchor A              0 to 8, or top-left, top-centre, top-right, middle-left, centre,\n"
    "                          middle-right, bottom-left, bottom-centre, bottom-right\n"
    "  --margin R,G,B|#RRGGBB  margin colour (default white)\n"
    "  --format bmp|jpeg|png|tiff|webp|avif|source   output format (default: the\n"
    "                          source's own); PNG and TIFF keep 16 bits per channel and\n"
    "                          alpha, WebP and AVIF 8 bits and alpha, BMP and JPEG blend\n"
    "                          alpha onto the margin colour\n"
    "  --quality N             JPEG, WebP and AVIF quality, 0 to 100 (default 95); WebP\n"
    "                          at 100 is lossless\n"
    "  --metadata none|no-gps|all   what an output keeps of its source's Exif, XMP and IPTC\n"
    "                          besides its colour profile: nothing, all but the place (GPS,\n"
    "                          city, country; default), all\n"
    "  --to-srgb               convert the colours of sources with another colour profile\n"
    "                          (Display P3, Adobe RGB) into sRGB and give their outputs the\n"
    "                          sRGB profile (CMYK sources always become sRGB)\n"
    "  --output DIR            output folder (required)\n"
    "  --mkdir                 create the output folder when it does not exist (otherwise a\n"
    "                          missing folder is reported and nothing is converted)\n"
    "  --overwrite ask|all|skip|cancel   when an output exists (default: ask on a terminal,\n"
    "                          otherwise cancel, so nothing is replaced unasked)\n"
    "  --overwrite newer       keep an output that is newer than its source (counted as\n"
    "                          skipped) and replace an older one: a killed run started again\n"
    "                          does only what is left\n"
    "  --keep-tree             repeat the sources' folders below the output folder, from the\n"
    "                          deepest folder that holds every file\n"
    "  --on-clash refuse|number   outputs that two files would share: refuse the run\n"
    "                          (default), or name the later ones \"name (2).jpg\", ...\n"
    "  --keep-going            skip a file that cannot be read or written and go on; each\n"
    "                          such file is printed on a line of its own, exit status 1\n"
    "  --quiet                 no progress and no completion message\n"
    "  --recursive             take the image files inside named folders (see above)\n"
    "  Ctrl-C stops after the image in hand.\n"
    "\n"
    "Lists, shards and reports, for programs that drive many runs (GNU parallel, Slurm):\n"
    "  --files-from LIST       take the files from LIST ('-': standard input), one path per\n"
    "                          line, empty lines left out (run, plan, probe, stats; no FILE\n"
    "                          beside it). For run and plan the list is read as a stream in\n"
    "                          its own order, without the 10000 limit; a file listed twice is\n"
    "                          done once, and names and clashes are decided over the whole list\n"
    "  -0, --null              paths in LIST (and in --failed-list) end with a NUL byte, as\n"
    "                          find -print0 writes them\n"
    "  --shard K/N             only the paths whose FNV-1a hash (64 bits, over the path's bytes\n"
    "                          as listed) modulo N is K-1 (run, plan): N runs given the same\n"
    "                          list do each file once\n"
    "  --json                  run: one JSON object per file on standard output as it ends\n"
    "                          (source, output, status written|skipped|failed, reason, width,\n"
    "                          height, dpi, ms), then one with the counts and the time\n"
    "  --failed-list FILE      run: write the files that failed (refused when listed, too) to\n"
    "                          FILE, ready for the next --files-from\n"
    "  With any of these, run takes the files in the order given, says each refused one on\n"
    "  standard error and counts it as failed, and says so when it is stopped.\n"
    "\n"
    "Options of plan (every option of run, with --output optional, and this one):\n"
    "  --json                  print a JSON array, one object per file, instead of the table\n"
    "\n"
    "Options:\n"
    "  --help              show this help\n"
    "  --version           show the version and the OpenCV version linked\n"
    "\n"
    "Exit status: 0 success, 1 some file failed, a check before a run failed, or the preset\n"
    "file had problems (presets, options: what could be read is still printed), 2 usage\n"
    "error, 3 run stopped or cancelled.\n");

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(korvale::CliText(kUsage), stderr);
        return korvale::cli::kExitUsage;
    }
    const char* name = argv[1];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
        std::fputs(korvale::CliText(kUsage), stdout);
        return korvale::cli::kExitOk;
    }
    if (std::strcmp(name, "--version") == 0) {
        return korvale::cli::RunInModule(kVersionModule, name, {});
    }
    if (argc > 2 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0)) {
        std::fputs(korvale::CliText(kUsage), stdout);
        return korvale::cli::kExitOk;
    }
    korvale::KeepImageMemoryMapped();
    for (const Command& command : kCommands) {
        if (std::strcmp(name, command.name) == 0) {
            const korvale::cli::Arguments args(argv + 2, argv + argc);
            return command.module != nullptr ? korvale::cli::RunInModule(command.module, name, args)
                                             : command.run(args);
        }
    }
    return korvale::cli::UsageError(
        korvale::CliText(QT_TRANSLATE_NOOP("korvale-cli", "unknown command '%1'"), {name}));
}
