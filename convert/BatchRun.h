// The batch run: start checks, then every listed image in order is named, asked about when its
// output exists, converted, stamped with its DPI and counted, with the user interface serviced
// between images.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Conversion.h"
#include "FileList.h"
#include "UserInteraction.h"

namespace korvale {

enum class BatchMethod : int { Resize = 0, CropPaste = 1 };
enum class SaveFormat : int { Bmp = 0, Jpeg = 1, SameAsSource = 2 };

// InterpolationChoice index (0 "Nearest neighbor" ... 4 "Lanczos4") to its OpenCV flag; -1 for
// an index outside 0 to 4.
int InterpolationFlag(int choice);

// What a run needs, as the window holds it when the run starts (after the exchange from the
// controls has validated the numbers and the folder).
struct BatchRequest {
    int targetWidth = 2480;
    int targetHeight = 3508;
    uint32_t targetDpi = 300;
    bool applyWidth = true;
    bool applyHeight = true;
    bool applyDpi = true;
    bool keepAspect = false;
    Rgb margin{255, 255, 255};
    int jpegQuality = 95;
    std::string outputFolder;  // the run appends "/" when it is missing
    int interpolation = 4;     // InterpolationChoice index; -1 when none is selected
    int anchor = 4;            // Anchor index; -1 when none is selected
    BatchMethod method = BatchMethod::Resize;
    SaveFormat saveFormat = SaveFormat::SameAsSource;
};

enum class BatchEnd { NotStarted, Completed, Stopped, Cancelled, Failed };

// The window's side of a run.
class BatchHost {
public:
    virtual ~BatchHost() = default;
    virtual void UpdateControlStates(bool interactive) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetProgressRange(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
};

// The output file name: the name after the last "/", its extension from the last "." replaced
// by ".bmp" or ".jpg", or unchanged for the source's own format. nullopt when a replacement is
// needed and the name has no ".".
std::optional<std::string> OutputFileName(const std::string& sourcePath, SaveFormat format);

// The output folder as messages show it: without the separator the run appended.
std::string ShownFolder(const std::string& folder);

// The question asked before a run when the output folder does not exist.
std::string FolderCreationQuestion(const std::string& shownFolder);

// The output image of one listed file: decoded and scaled or placed as the request says, not
// yet written.
PreparedImage PrepareOutput(const BatchRequest& request, const FileEntry& entry);

// Encodes `image` into a hidden temporary file beside `outputPath` (same extension, so the
// encoder and the stamp pick the same branch), stamps `dpi` into it and renames it over
// `outputPath`. Nothing partial is ever left at `outputPath`; a read-only output is not
// replaced.
ConvertResult WriteOutput(const BatchRequest& request, const cv::Mat& image,
                          const std::string& outputPath, uint32_t dpi);

// Runs the batch over `list`. After the start checks and before the first image, the output
// folder is checked: a missing one is offered for creation (declined: the run does not start),
// and one that is not a folder or cannot be written is reported with the reason. `running` is set
// for the run and cleared at its end; clearing it from outside (the stop button, while the
// interface is serviced) ends the run after the image in hand. `request.outputFolder` keeps the
// separator the run appended. While one image is written, the next ones are decoded and scaled on
// other threads, as far as free memory allows; nothing of them is written before their turn, and
// they are prepared again if their file changed meanwhile or they ran out of memory. The run
// returns without waiting for work ahead that it no longer needs (see WorkAhead.h).
BatchEnd RunBatch(const FileList& list, BatchRequest& request, bool& running, BatchHost& host,
                  UserInteraction& ui);

}  // namespace korvale
