// What the run writes for one listed file, decided once from the request and the listed facts:
// the run, the work ahead, the writer, the preview and the plan all read these jobs and derive
// nothing again from names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BatchRequest.h"
#include "FileList.h"
#include "Geometry.h"
#include "ImageFormats.h"

namespace korvale {

struct OutputJob {
    size_t index = 0;  // in the list
    FileEntry source;  // as listed
    ImageFormat sourceFormat = ImageFormat::Jpeg;
    std::string outputName;  // empty when a new extension is needed and the name has none
    std::string outputPath;  // the output folder and name; empty without either
    // With the tree kept: the source's folder below the tree's base ("a/b/"), which the run
    // makes in the output folder before it writes there. Empty otherwise.
    std::string subfolder;
    std::optional<ImageFormat> outputFormat;  // nullopt: no format writes that name
    PixelSize target;                         // the size written (scaling and placing)
    uint32_t dpi = 0;                         // the resolution written
    BatchMethod method = BatchMethod::Resize;
    MetadataPolicy metadata = MetadataPolicy::NoGps;

    bool dpiOnly() const { return method == BatchMethod::DpiOnly; }
};

// The target size of one listed file: the request's width and height where switched on, else
// the file's own as listed.
PixelSize TargetOf(const BatchRequest& request, const FileEntry& entry);

// The DPI written into its output: the request's where switched on, else the file's own.
uint32_t OutputDpi(const BatchRequest& request, const FileEntry& entry);

// The output folder as the run uses it: with a "/" at its end, empty when none is set.
std::string OutputFolderOf(const BatchRequest& request);

// The job of `entry`, number `index` of its list.
OutputJob JobOf(const BatchRequest& request, const FileEntry& entry, size_t index = 0);

// One job per listed file, in list order. With `request.keepTree`, each output lies below the
// output folder in its source's folder relative to the tree's base (TreeBaseOf). With
// ClashRule::Number, a job whose output an earlier job already writes, or that would replace
// the source of a later job, is given "name (2).ext", "name (3).ext", ...: the first such name
// that no other job writes, no listed file has and no earlier job took. The names follow from
// the list alone (paths compared as written, made absolute), so a second run gets the same.
std::vector<OutputJob> OutputJobs(const BatchRequest& request, const FileList& list);

// The folder whose tree a kept tree repeats ("/" at its end): `request.treeBase`, or else the one
// folder added to the list, when every listed file lies below it; otherwise the deepest folder
// that holds every listed file. Paths are made absolute and their "." and ".." resolved as
// written.
std::string TreeBaseOf(const BatchRequest& request, const FileList& list);

// The deepest folder that holds every path added, and the base TreeBaseOf makes of it: for a
// list read as a stream.
class CommonFolder {
public:
    void Add(const std::string& path);
    // `added`: the one folder added to the list, if any, tried after the request's base.
    std::string Base(const BatchRequest& request, const std::string& added = {}) const;

private:
    std::string common_;
    bool first_ = true;
};

// The job of `entry`, number `index`, below the output folder as OutputJobs places it with the
// tree's base `base` (TreeBaseOf; unused unless the request keeps the tree), not numbered.
OutputJob JobBelow(const BatchRequest& request, const std::string& base, const FileEntry& entry,
                   size_t index);

// A path made absolute with its "." and ".." resolved as written, so that "./a" and "a" or
// "x/../a" compare equal. A path that cannot be made absolute stays as it is.
std::string NormalPath(const std::string& path);

// `name` with " (n)" before its extension: "photo (2).jpg".
std::string NumberedName(const std::string& name, int n);

// A job that writes `outputPath` in the format its name says at `dpi`, for writing an image
// that is already made.
OutputJob JobWriting(const std::string& outputPath, uint32_t dpi);

}  // namespace korvale
