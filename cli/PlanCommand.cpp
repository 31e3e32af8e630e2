// korvale-cli plan: what a run with the same options would do to every file, written nowhere.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>

#include "Commands.h"
#include "FileListHost.h"
#include "FolderArguments.h"
#include "FolderFiles.h"
#include "ImageHeader.h"
#include "JsonText.h"
#include "ListNaming.h"
#include "PathList.h"
#include "Plan.h"
#include "RegisterFiles.h"
#include "RunOptions.h"
#include "Text.h"
#include "Words.h"

namespace korvale::cli {
namespace {

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

void PrintHeading() {
    std::puts(
        "No.\tsource\tsource W\tsource H\tsource DPI\toutput\toutput W\toutput H\toutput "
        "DPI\tscale X\tscale Y\tleft\ttop\tright\tbottom\tprint width mm\tprint height "
        "mm\texists\tproblem");
}

// The rows of `plans`, numbered from `no` + 1, or by `numbers` (a list's positions) when given.
void PrintRows(const std::vector<FilePlan>& plans, const std::vector<size_t>* numbers) {
    for (size_t i = 0; i < plans.size(); ++i) {
        const FilePlan& p = plans[i];
        const std::string sourceSize =
            p.headerRead ? FormatText("%d\t%d", p.source.width, p.source.height) : "\t";
        std::printf("%zu\t%s\t%s\t%u\t%s\t%d\t%d\t%u\t%.4f\t%.4f\t%d\t%d\t%d\t%d\t%s\t%s\t%s\t%s\n",
                    numbers != nullptr ? (*numbers)[i] : i + 1,
                    TableName(std::string(FileNameOf(p.sourcePath))).c_str(), sourceSize.c_str(),
                    p.sourceDpi, TableName(p.outputName).c_str(), p.output.width, p.output.height,
                    p.outputDpi, p.scaleX, p.scaleY, p.sides.left, p.sides.top, p.sides.right,
                    p.sides.bottom, Millimetres(p.output.width, p.outputDpi, "").c_str(),
                    Millimetres(p.output.height, p.outputDpi, "").c_str(),
                    p.outputPath.empty() ? "-"
                    : p.exists           ? "yes"
                                         : "no",
                    PlanProblemLabel(p).c_str());
    }
}

void PrintTable(const std::vector<FilePlan>& plans) {
    PrintHeading();
    PrintRows(plans, nullptr);
}

// The objects of `plans` in a JSON array opened already; `first`: none was printed before.
void PrintJsonItems(const std::vector<FilePlan>& plans, const std::vector<size_t>* numbers,
                    bool& first) {
    for (size_t i = 0; i < plans.size(); ++i) {
        const FilePlan& p = plans[i];
        const size_t no = numbers != nullptr ? (*numbers)[i] : i + 1;
        const std::string sourceWidth = p.headerRead ? FormatText("%d", p.source.width) : "null";
        const std::string sourceHeight = p.headerRead ? FormatText("%d", p.source.height) : "null";
        std::printf(
            "%s\n  {\"no\": %zu, %s, %s, \"sourceWidth\": %s, "
            "\"sourceHeight\": %s, \"sourceDpi\": %u, %s, \"outputWidth\": %d, "
            "\"outputHeight\": %d, \"outputDpi\": %u, \"scaleX\": %.4f, \"scaleY\": %.4f, "
            "\"left\": %d, \"top\": %d, \"right\": %d, \"bottom\": %d, \"printWidthMm\": %s, "
            "\"printHeightMm\": %s, \"exists\": %s, \"problem\": %s}",
            first ? "" : ",", no,
            JsonPathFields("source", std::string(FileNameOf(p.sourcePath))).c_str(),
            JsonPathFields("sourcePath", p.sourcePath).c_str(), sourceWidth.c_str(),
            sourceHeight.c_str(), p.sourceDpi,
            p.outputName.empty() ? "\"output\": null"
                                 : JsonPathFields("output", p.outputName).c_str(),
            p.output.width, p.output.height, p.outputDpi, p.scaleX, p.scaleY, p.sides.left,
            p.sides.top, p.sides.right, p.sides.bottom,
            Millimetres(p.output.width, p.outputDpi, "null").c_str(),
            Millimetres(p.output.height, p.outputDpi, "null").c_str(),
            p.outputPath.empty() ? "null"
            : p.exists           ? "true"
                                 : "false",
            p.problem == PlanProblem::None ? "null" : JsonString(PlanProblemLabel(p)).c_str());
        first = false;
    }
}

void PrintJson(const std::vector<FilePlan>& plans) {
    std::fputs("[", stdout);
    bool first = true;
    PrintJsonItems(plans, nullptr, first);
    std::fputs(plans.empty() ? "]\n" : "\n]\n", stdout);
}

// The plan of a list read as a stream (--files-from, --shard), a part at a time: rows numbered
// by their place in the whole list, names and clashes decided over the whole list.
int PlanStreamed(const RunFlags& flags, bool json, const BatchRequest& request) {
    PathList list;
    if (!flags.list.filesFrom.empty()) {
        if (const std::string error = list.Open(flags.list.filesFrom, flags.list.nul);
            !error.empty()) {
            return UsageError(error);
        }
    }
    const Arguments arguments =
        flags.list.filesFrom.empty()
            ? (flags.recursive ? WalkFolders(flags.files, SIZE_MAX) : flags.files)
            : Arguments{};
    std::string listError;
    const ListNaming::ListReader read =
        PathReader(list, !flags.list.filesFrom.empty(), arguments, listError);
    const ListNaming naming(request, read);
    if (!listError.empty()) {
        return UsageError(listError);
    }
    // Each clashing job with the first file it clashes with.
    std::map<size_t, size_t> clashes;
    for (const BatchClash& clash : naming.clashes()) {
        clashes.emplace(clash.job, clash.other);
    }
    if (json) {
        std::fputs("[", stdout);
    } else {
        PrintHeading();
    }
    bool first = true;
    bool allConvert = true;
    constexpr size_t kPart = 4096;
    std::vector<FilePlan> plans;
    std::vector<size_t> numbers;
    const auto printPart = [&] {
        if (json) {
            PrintJsonItems(plans, &numbers, first);
        } else {
            PrintRows(plans, &numbers);
        }
        std::fflush(stdout);
        plans.clear();
        numbers.clear();
    };
    read([&](size_t index, const std::string& path) {
        if (naming.Repeated(index) || !flags.list.shard.Keeps(path)) {
            return;
        }
        const std::optional<ImageHeaderInfo> header = ProbeImageHeader(path);
        FileEntry entry{path};
        if (header) {
            entry = {path, header->width, header->height, header->dpi};
        }
        FilePlan plan = PlanJob(request, naming.JobOf(entry, index), header);
        const auto clash = clashes.find(index);
        if (clash != clashes.end() &&
            (plan.problem == PlanProblem::None || plan.problem == PlanProblem::OutputIsFolder ||
             plan.problem == PlanProblem::TooLargeForFormat)) {
            plan.problem = PlanProblem::SameOutput;
            plan.sameOutputAs = clash->second + 1;
        }
        allConvert = allConvert && plan.problem == PlanProblem::None;
        plans.push_back(std::move(plan));
        numbers.push_back(index + 1);
        if (plans.size() == kPart) {
            printPart();
        }
    });
    printPart();
    if (json) {
        std::fputs(first ? "]\n" : "\n]\n", stdout);
    }
    return allConvert ? kExitOk : kExitFailed;
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
    if (flags.failedList) {
        return UsageError(
            CliText(QT_TRANSLATE_NOOP("korvale-cli", "--failed-list belongs to run")));
    }
    if (flags.files.empty() && flags.list.filesFrom.empty()) {
        return UsageError(
            CliText(QT_TRANSLATE_NOOP("korvale-cli", "plan needs at least one FILE")));
    }
    TerminalInteraction ui;
    BatchOptions options;
    if (const std::optional<int> status = ResolveRunOptions(flags, ui, options)) {
        return *status;
    }
    if (!flags.list.filesFrom.empty() || flags.list.sharded) {
        return PlanStreamed(flags, json, MakeBatchRequest(options));
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
