// The plan of a run: for every listed file, its output job (what the run writes, where, at what
// size and resolution) with what the header says it adds or cuts and what would stop the run.
// Header bytes only, no pixels; the run takes its jobs and geometry from the same functions, so
// the plan cannot disagree with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BatchRequest.h"
#include "FileList.h"
#include "Geometry.h"
#include "ImageHeader.h"
#include "OutputJob.h"

namespace korvale {

// What would stop the run at a file, in the order the run meets it.
enum class PlanProblem {
    None,
    NoExtension,        // an extension is to be replaced and the name has no "."
    UnreadableHeader,   // the file is gone or no longer an image the probe reads
    ZeroSide,           // the source or the target has a side of 0 pixels
    BadAnchor,          // margins or a cut arise and the anchor is not one of the nine
    OutputIsFolder,     // a folder has the output's name; nothing can be written there
    TooLargeForFormat,  // the output format's encoder refuses an image of the output's size
    SameOutput,         // another listed file writes the same output, or this output replaces
                        // that file's source before it is read: the run does not start
};

// A short English word for the problem ("" for None), stable for scripts.
const char* PlanProblemKey(PlanProblem problem);

struct FilePlan {
    std::string sourcePath;
    bool headerRead = false;
    PixelSize source;        // as the header states it, turned by the Exif orientation
    uint32_t sourceDpi = 0;  // as listed
    std::string outputName;  // empty when there is none (NoExtension); "a/b/x.jpg" in a tree
    std::string outputPath;  // output folder and name; empty without a folder
    bool exists = false;     // the run would ask before replacing it
    PixelSize output;
    uint32_t outputDpi = 0;
    double scaleX = 1.0;  // output pixels per source pixel; 1 for crop-and-paste
    double scaleY = 1.0;
    Margins sides;  // per side: margin added (+) or source pixels cut (-)
    ConversionGeometry geometry;
    PlanProblem problem = PlanProblem::None;
    size_t sameOutputAs = 0;  // for SameOutput: the other file's number, counted from 1
    OutputJob job;            // what the run writes for the file
};

// The problem's word with what it refers to: "same-output-as 3".
std::string PlanProblemLabel(const FilePlan& plan);

// Size in millimetres of `pixels` printed at `dpi`, to one decimal; nullopt at 0 DPI.
std::optional<double> PrintMillimetres(int pixels, uint32_t dpi);

// The plan of one file. `header` is what the probe reads from the file (nullopt: unreadable);
// its width and height are the pixels the run decodes.
FilePlan PlanFile(const BatchRequest& request, const FileEntry& entry,
                  const std::optional<ImageHeaderInfo>& header);

// The plan of a job already named (a list read as a stream, ListNaming).
FilePlan PlanJob(const BatchRequest& request, OutputJob job,
                 const std::optional<ImageHeaderInfo>& header);

enum class PlanSizes {
    AsListed,  // the sizes recorded when the files were listed; no file is read, except the
               // header of a BMP or TIFF output's source near its format's size limit
    ProbedNow  // every header read again, as the run will find the files
};

// The plan of every listed file, in list order. A file whose output an earlier file of the
// list writes is marked as existing too: the run would ask about it.
std::vector<FilePlan> PlanBatch(const BatchRequest& request, const FileList& list, PlanSizes sizes);

}  // namespace korvale
