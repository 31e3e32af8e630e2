// The FILE arguments of korvale-cli's commands, with named folders walked under --recursive.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>

#include "Commands.h"

namespace korvale::cli {

// The FILE arguments: every argument but "--recursive" before the first "--", which ends the
// options and is dropped, and every one after it. With "--recursive", each folder among them is
// replaced by the image files inside it and all its subfolders, and the walk stops once more than
// `room` were found. Without it a folder stays a FILE, which each command reports as a folder.
Arguments FolderFileArguments(const Arguments& args,
                              size_t room = std::numeric_limits<size_t>::max());

// The FILEs of probe and stats: the FILE arguments as FolderFileArguments gives them, or with
// --files-from LIST (-0 for NUL-ended paths) the paths of the list, which then takes the place of
// FILE arguments. An exit status when the list cannot be read; the message has been printed.
std::optional<int> ListedFiles(const Arguments& args, const char* command, size_t room,
                               Arguments& files);

// The same walk for arguments already parsed (run, plan).
Arguments WalkFolders(const Arguments& files, size_t room);

}  // namespace korvale::cli
