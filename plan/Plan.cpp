// The per-file plan of a run, from the engine's own geometry and output naming.
#include "Plan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "BatchClashes.h"
#include "EncoderLimits.h"
#include "LinkWalk.h"
#include "Text.h"

namespace korvale {
namespace {

struct OutputState {
    bool exists = false;
    bool folder = false;
};

OutputState StateOf(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    // A look that fails counts as a file there, as the run counts it.
    switch (LookAtOutput(path).kind) {
        case ExistingEntry::Kind::Absent:
            return {};
        case ExistingEntry::Kind::Folder:
            return {false, true};
        case ExistingEntry::Kind::File:
        case ExistingEntry::Kind::Unknown:
            break;
    }
    return {true, false};
}

// The names in the output folder, read once: one stat per listed file would cost twenty times
// the rest of the plan. Names that need a closer look (links, unknown types, another letter
// case on a file system that ignores case) are asked about with stat as before.
class FolderIndex {
public:
    FolderIndex(const std::string& folder, bool read) {
        DIR* dir = read && !folder.empty() ? ::opendir(folder.c_str()) : nullptr;
        if (dir == nullptr) {
            return;
        }
        read_ = true;
        while (const dirent* entry = ::readdir(dir)) {
            entries_.emplace(entry->d_name, entry->d_type);
            folded_.insert(Folded(entry->d_name));
        }
        ::closedir(dir);
    }

    OutputState StateOf(const std::string& name, const std::string& path) const {
        if (!read_) {
            return korvale::StateOf(path);
        }
        const auto found = entries_.find(name);
        if (found == entries_.end()) {
            return folded_.count(Folded(name)) != 0 ? korvale::StateOf(path) : OutputState{};
        }
        switch (found->second) {
            case DT_REG:
                return {true, false};
            case DT_DIR:
                return {false, true};
            default:
                return korvale::StateOf(path);
        }
    }

private:
    static std::string Folded(const std::string& name) { return FoldedAscii(name); }

    bool read_ = false;
    std::unordered_map<std::string, unsigned char> entries_;
    std::unordered_set<std::string> folded_;
};

double Scale(int to, int from) {
    return from > 0 ? static_cast<double>(to) / from : 0.0;
}

PlanProblem ProblemOf(GeometryProblem problem) {
    switch (problem) {
        case GeometryProblem::ZeroSide:
            return PlanProblem::ZeroSide;
        case GeometryProblem::BadAnchor:
            return PlanProblem::BadAnchor;
        case GeometryProblem::None:
            break;
    }
    return PlanProblem::None;
}

// Whether the encoder of the output's format refuses it. The bytes a pixel takes matter for BMP
// and TIFF only, and only near their limit is the source's header read for them.
bool TooLargeForFormat(const OutputJob& job, PixelSize output) {
    const std::optional<ImageFormat> format = job.outputFormat;
    if (!format) {
        return false;
    }
    const ImageFormat source = job.sourceFormat;
    if (!EncoderRefuses(*format, output, OutputPixel(kLargestPixel, source, *format))) {
        return false;
    }
    const std::optional<PixelLayout> decoded = ProbePixelLayout(job.source.path);
    return !decoded || EncoderRefuses(*format, output, OutputPixel(*decoded, source, *format));
}

}  // namespace

const char* PlanProblemKey(PlanProblem problem) {
    switch (problem) {
        case PlanProblem::NoExtension:
            return "no-extension";
        case PlanProblem::UnreadableHeader:
            return "unreadable";
        case PlanProblem::ZeroSide:
            return "zero-side";
        case PlanProblem::BadAnchor:
            return "bad-anchor";
        case PlanProblem::OutputIsFolder:
            return "output-is-folder";
        case PlanProblem::TooLargeForFormat:
            return "too-large-for-format";
        case PlanProblem::SameOutput:
            return "same-output-as";
        case PlanProblem::None:
            break;
    }
    return "";
}

std::optional<double> PrintMillimetres(int pixels, uint32_t dpi) {
    if (dpi == 0) {
        return std::nullopt;
    }
    return std::round(pixels * 254.0 / dpi) / 10.0;
}

namespace {

using OutputLookup = std::function<OutputState(const std::string& name, const std::string& path)>;

FilePlan Plan(const BatchRequest& request, OutputJob job,
              const std::optional<ImageHeaderInfo>& header, const OutputLookup& lookup) {
    FilePlan plan;
    plan.sourcePath = job.source.path;
    plan.sourceDpi = job.source.dpi;
    plan.output = job.target;
    plan.outputDpi = job.dpi;
    if (header) {
        plan.headerRead = true;
        plan.source = {static_cast<int>(header->width), static_cast<int>(header->height)};
    }
    const bool dpiOnly = job.dpiOnly();
    plan.outputName = job.outputName;
    plan.outputPath = job.outputPath;
    plan.job = std::move(job);
    if (plan.outputName.empty()) {
        plan.problem = PlanProblem::NoExtension;
        return plan;
    }
    OutputState output;
    if (!plan.outputPath.empty()) {
        output = lookup(plan.outputName, plan.outputPath);
        plan.exists = output.exists;
    }
    // In a kept tree the name is shown with its subfolder below the output folder.
    plan.outputName = plan.job.subfolder + plan.outputName;
    if (!header) {
        plan.problem = PlanProblem::UnreadableHeader;
        return plan;
    }
    if (dpiOnly) {
        // The file is copied as it is: its own size, nothing scaled, added or cut.
        plan.output = plan.source;
        plan.geometry.placed = plan.source;
        plan.problem = output.folder ? PlanProblem::OutputIsFolder : PlanProblem::None;
        return plan;
    }
    if (plan.source.width <= 0 || plan.source.height <= 0) {
        plan.problem = PlanProblem::ZeroSide;
        return plan;
    }
    if (request.method == BatchMethod::Resize) {
        plan.geometry =
            ResizeGeometry(plan.source, plan.output, request.keepAspect, request.anchor);
        plan.scaleX = Scale(plan.geometry.placed.width, plan.source.width);
        plan.scaleY = Scale(plan.geometry.placed.height, plan.source.height);
    } else {
        plan.geometry = CropPasteGeometry(plan.source, plan.output, request.anchor);
    }
    const Margins& add = plan.geometry.margins;
    const Margins& cut = plan.geometry.cut;
    plan.sides = {add.left - cut.left, add.right - cut.right, add.top - cut.top,
                  add.bottom - cut.bottom};
    plan.problem = ProblemOf(plan.geometry.problem);
    // The run finds the encoder's refusal before it reaches the file's name.
    if (plan.problem == PlanProblem::None && TooLargeForFormat(plan.job, plan.output)) {
        plan.problem = PlanProblem::TooLargeForFormat;
    }
    if (plan.problem == PlanProblem::None && output.folder) {
        plan.problem = PlanProblem::OutputIsFolder;
    }
    return plan;
}

}  // namespace

FilePlan PlanFile(const BatchRequest& request, const FileEntry& entry,
                  const std::optional<ImageHeaderInfo>& header) {
    return Plan(request, JobOf(request, entry), header,
                [](const std::string&, const std::string& path) { return StateOf(path); });
}

FilePlan PlanJob(const BatchRequest& request, OutputJob job,
                 const std::optional<ImageHeaderInfo>& header) {
    return Plan(request, std::move(job), header,
                [](const std::string&, const std::string& path) { return StateOf(path); });
}

std::vector<FilePlan> PlanBatch(const BatchRequest& request, const FileList& list,
                                PlanSizes sizes) {
    std::vector<FilePlan> plans;
    plans.reserve(list.size());
    std::unordered_set<std::string> written;
    // For a few files a look at each is cheaper than reading a large folder.
    const FolderIndex folder(request.outputFolder, list.size() > 64);
    const std::string top = OutputFolderOf(request);
    const OutputLookup lookup = [&](const std::string& name, const std::string& path) {
        // An output in a subfolder of a kept tree is not in the folder's listing.
        return path == top + name ? folder.StateOf(name, path) : korvale::StateOf(path);
    };
    for (OutputJob& job : OutputJobs(request, list)) {
        const FileEntry& entry = job.source;
        const std::optional<ImageHeaderInfo> header =
            sizes == PlanSizes::ProbedNow
                ? ProbeImageHeader(entry.path)
                : std::optional<ImageHeaderInfo>(ImageHeaderInfo{entry.width, entry.height, 0});
        FilePlan plan = Plan(request, std::move(job), header, lookup);
        if (!plan.outputPath.empty() && !written.insert(plan.outputPath).second) {
            plan.exists = true;
        }
        plans.push_back(std::move(plan));
    }
    // The run refuses the batch before its first image, so this comes before any other.
    std::vector<std::string> outputs;
    outputs.reserve(plans.size());
    for (const FilePlan& plan : plans) {
        outputs.push_back(plan.outputPath);
    }
    // A file's own problem that leaves it no geometry is said instead.
    const auto mark = [&plans](size_t job, size_t other) {
        FilePlan& plan = plans[job];
        if (plan.problem == PlanProblem::None || plan.problem == PlanProblem::OutputIsFolder ||
            plan.problem == PlanProblem::TooLargeForFormat) {
            plan.problem = PlanProblem::SameOutput;
            plan.sameOutputAs = other + 1;
        }
    };
    for (const BatchClash& clash : FindOverlaps(list, outputs).clashes) {
        mark(clash.job, clash.other);
        if (clash.kind == BatchClash::Kind::SameOutput) {
            mark(clash.other, clash.job);
        }
    }
    return plans;
}

std::string PlanProblemLabel(const FilePlan& plan) {
    std::string label = PlanProblemKey(plan.problem);
    if (plan.problem == PlanProblem::SameOutput) {
        label += FormatText(" %zu", plan.sameOutputAs);
    }
    return label;
}

}  // namespace korvale
