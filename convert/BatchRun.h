// The batch run: start checks and the batch seen as a whole, then every output job in order is
// named, asked about when its output exists, written (OutputWriter.h) with its DPI and counted,
// with the user interface serviced between images.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "BatchRequest.h"
#include "FileList.h"
#include "OutputJob.h"
#include "RunHost.h"
#include "UserInteraction.h"

namespace korvale {

// Runs the batch over `list`. After the start checks and before the first image, the output
// folder is checked: a missing one is offered for creation (declined: the run does not start),
// and one that is not a folder or cannot be written is reported with the reason. `running` is set
// for the run and cleared at its end; clearing it from outside (the stop button, while the
// interface is serviced) ends the run after the image in hand. `request.outputFolder` keeps the
// separator the run appended. While one image is given its name, the next ones are decoded,
// scaled, encoded and written into hidden temporary files on other threads, as far as free memory
// allows; none takes its name before its turn, and each is done again in its turn if its file or
// its output changed meanwhile or its work ahead failed. A failed write is tried once more after
// the work ahead has let go of its files. The run returns without waiting for work ahead that it
// no longer needs, whose temporary files are removed (see WorkAhead.h). Temporary files that
// ended processes left in the output folder, and beside the target of each link the run writes
// through, are removed (RemoveStaleTemporaries).
BatchEnd RunBatch(const FileList& list, BatchRequest& request, bool& running, BatchHost& host,
                  UserInteraction& ui);

// One part of a list too long to hold (korvale-cli run --files-from): `jobs` (one per entry of
// the part's list, in its order) were named and checked over the whole list (ListNaming), so
// the part is not checked as a whole again. `first`: the part that sweeps the temporary files
// that ended processes left. The part's end is not said (neither the closing message nor the
// desktop's notice); its failed files go to the host.
struct RunPart {
    std::vector<OutputJob> jobs;
    bool first = true;
};
BatchEnd RunBatchPart(const FileList& list, const RunPart& part, BatchRequest& request,
                      bool& running, BatchHost& host, UserInteraction& ui);

}  // namespace korvale
