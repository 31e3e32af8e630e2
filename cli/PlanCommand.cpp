// korvale-cli plan: what a run with the same options would do to every file, written nowhere.
#include <algorithm>
#include <cstdio>

#include "Commands.h"
#include "FileListHost.h"
#include "FolderArguments.h"
#include "FolderFiles.h"
#include "Plan.h"
#include "RegisterFiles.h"
#include "RunOptions.h"
#include "Text.h"

namespace korvale::cli {
namespace {

// Length of the valid UTF-8 sequence at `text[i]`, 0 when there is none.
size_t Utf8Length(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length;
    unsigned minimum;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    unsigned code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < minimum || code > 0x10FFFF || surrogate ? 0 : length;
}

// A JSON string: file names are bytes, so a byte that is not UTF-8 shows as U+FFFD.
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20) {
            out += FormatText("\\u%04x", c);
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out + "\"";
}

// One line per file in a table: tabs and line ends in names are shown escaped.
std::string TableName(const std::string& name) {
    std::string out;
    for (char c : name) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Millimetres(int pixels, uint32_t dpi, const char* unknown) {
    const std::optional<double> mm = PrintMillimetres(pixels, dpi);
    return mm ? FormatText("%.1f", *mm) : unknown;
}

void PrintTable(const std::vector<FilePlan>& plans) {
    std::puts(
        "No.\tsource\tsource W\tsource H\tsource DPI\toutput\toutput W\toutput H\toutput "
        "DPI\tscale X\tscale Y\tleft\ttop\tright\tbottom\tprint width mm\tprint height "
        "mm\texists\tproblem");
    for (size_t i = 0; i < plans.size(); ++i) {
        const FilePlan& p = plans[i];
        const std::string sourceSize =
            p.headerRead ? FormatText("%d\t%d", p.source.width, p.source.height) : "\t";
        std::printf("%zu\t%s\t%s\t%u\t%s\t%d\t%d\t%u\t%.4f\t%.4f\t%d\t%d\t%d\t%d\t%s\t%s\t%s\t%s\n",
                    i + 1, TableName(std::string(FileNameOf(p.sourcePath))).c_str(),
                    sourceSize.c_str(), p.sourceDpi, TableName(p.outputName).c_str(),
                    p.output.width, p.output.height, p.outputDpi, p.scaleX, p.scaleY, p.sides.left,
                    p.sides.top, p.sides.right, p.sides.bottom,
                    Millimetres(p.output.width, p.outputDpi, "").c_str(),
                    Millimetres(p.output.height, p.outputDpi, "").c_str(),
                    p.outputPath.empty() ? "-"
                    : p.exists           ? "yes"
                                         : "no",
                    PlanProblemLabel(p).c_str());
    }
}

void PrintJson(const std::vector<FilePlan>& plans) {
    std::fputs("[", stdout);
    for (size_t i = 0; i < plans.size(); ++i) {
        const FilePlan& p = plans[i];
        const std::string sourceWidth = p.headerRead ? FormatText("%d", p.source.width) : "null";
        const std::string sourceHeight = p.headerRead ? FormatText("%d", p.source.height) : "null";
        std::printf(
            "%s\n  {\"no\": %zu, \"source\": %s, \"sourcePath\": %s, \"sourceWidth\": %s, "
            "\"sourceHeight\": %s, \"sourceDpi\": %u, \"output\": %s, \"outputWidth\": %d, "
            "\"outputHeight\": %d, \"outputDpi\": %u, \"scaleX\": %.4f, \"scaleY\": %.4f, "
            "\"left\": %d, \"top\": %d, \"right\": %d, \"bottom\": %d, \"printWidthMm\": %s, "
            "\"printHeightMm\": %s, \"exists\": %s, \"problem\": %s}",
            i == 0 ? "" : ",", i + 1, JsonString(std::string(FileNameOf(p.sourcePath))).c_str(),
            JsonString(p.sourcePath).c_str(), sourceWidth.c_str(), sourceHeight.c_str(),
            p.sourceDpi, p.outputName.empty() ? "null" : JsonString(p.outputName).c_str(),
            p.output.width, p.output.height, p.outputDpi, p.scaleX, p.scaleY, p.sides.left,
            p.sides.top, p.sides.right, p.sides.bottom,
            Millimetres(p.output.width, p.outputDpi, "null").c_str(),
            Millimetres(p.output.height, p.outputDpi, "null").c_str(),
            p.outputPath.empty() ? "null"
            : p.exists           ? "true"
                                 : "false",
            p.problem == PlanProblem::None ? "null" : JsonString(PlanProblemLabel(p)).c_str());
    }
    std::fputs(plans.empty() ? "]\n" : "\n]\n", stdout);
}

}  // namespace

int RunPlanCommand(const Arguments& args) {
    // --json belongs to plan alone; everything else is run's own options.
    Arguments runArgs;
    bool json = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") {
            runArgs.insert(runArgs.end(), args.begin() + static_cast<long>(i), args.end());
            break;
        }
        if (args[i] == "--json") {
            json = true;
        } else {
            runArgs.push_back(args[i]);
        }
    }
    RunFlags flags;
    if (const std::string error = ParseRunArguments(runArgs, flags); !error.empty()) {
        return UsageError(error);
    }
    if (flags.files.empty()) {
        return UsageError("plan needs at least one FILE");
    }
    TerminalInteraction ui;
    BatchOptions options;
    if (const std::optional<int> status = ResolveRunOptions(flags, ui, options)) {
        return *status;
    }
    NoFileListView view;
    FileList list;
    const RegisterOutcome registered = RegisterFiles(
        list, flags.recursive ? WalkFolders(flags.files, FileList::kMaxEntries) : flags.files, ui,
        view);
    if (flags.recursive) {
        NoteFolders(list, flags.files);
    }
    // Read again, so that the plan states the pixels the run will decode.
    const std::vector<FilePlan> plans =
        PlanBatch(MakeBatchRequest(options), list, PlanSizes::ProbedNow);
    if (json) {
        PrintJson(plans);
    } else {
        PrintTable(plans);
    }
    const bool allConvert = std::all_of(plans.begin(), plans.end(), [](const FilePlan& plan) {
        return plan.problem == PlanProblem::None;
    });
    return allConvert && !registered.refused && registered.unreadable == 0 ? kExitOk : kExitFailed;
}

}  // namespace korvale::cli
