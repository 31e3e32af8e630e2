// The options of korvale-cli run, shared by every command that takes them (run, plan).
#pragma once

#include <optional>
#include <string>

#include "BatchOptions.h"
#include "BatchRequest.h"
#include "Commands.h"
#include "PathList.h"
#include "TerminalInteraction.h"

namespace korvale::cli {

struct RunFlags {
    // Target values as typed; the window's field checks judge them.
    std::optional<std::string> width, height, dpi, output;
    std::optional<std::string> preset;
    std::optional<BatchMethod> method;
    std::optional<int> interpolation, anchor, quality;
    std::optional<Rgb> margin;
    std::optional<SaveFormat> format;
    std::optional<MetadataPolicy> metadata;
    bool keepAspect = false;
    bool settings = false;
    bool quiet = false;
    bool makeFolder = false;  // run only: create a missing output folder
    bool recursive = false;   // a named folder brings the image files inside it
    std::optional<OverwriteMode> overwrite;
    bool keepTree = false;
    std::optional<ClashRule> onClash;
    bool keepGoing = false;
    bool toSrgb = false;
    // For programs that drive many runs: the files from a list (no 10000 limit, the order kept),
    // one shard of them, a JSON line per file, the failed files into a list.
    ListFlags list;
    bool json = false;                      // run only (plan takes its own)
    std::optional<std::string> failedList;  // run only
    Arguments files;

    // Whether the files are taken in their given order, each reported (--files-from, --shard,
    // --json, --failed-list).
    bool Streamed() const { return !list.filesFrom.empty() || list.sharded || json || failedList; }
};

// Parses the options into `flags`; returns an error text, empty on success.
std::string ParseRunArguments(const Arguments& args, RunFlags& flags);

// The options a run starts with: the window's stored ones with --settings (else the window's
// defaults with the targets switched off), then the flags. An exit status when they are
// unusable; the message has been shown through `ui`.
std::optional<int> ResolveRunOptions(const RunFlags& flags, UserInteraction& ui,
                                     BatchOptions& options);

}  // namespace korvale::cli
