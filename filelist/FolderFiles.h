// Image files found in folders and all their subfolders, for adding a folder to the list.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "FileList.h"
#include "FileListHost.h"
#include "RegisterFiles.h"
#include "UserInteraction.h"

namespace korvale {

inline const Message kNoImagesInFolder{MessageId::NoImagesInFolder};

// Each folder among `paths` is replaced, in place, by the files inside it and in all its
// subfolders whose extension names a format the program reads (any letter case); other paths
// stay as they are. Names with a leading dot are skipped, files and folders alike. Links are
// followed, but every folder is walked once however many links lead to it, so a link loop ends.
// A folder that cannot be read adds nothing. The walk stops once more than `room` files were
// found (the caller's limit check then refuses the batch). Progress goes through `ui`; nullopt
// when the user stopped the walk.
std::optional<std::vector<std::string>> ExpandFolders(const std::vector<std::string>& paths,
                                                      UserInteraction& ui, size_t room);

// True when `path` names a folder (a link to one included).
bool IsFolder(const std::string& path);

// RegisterFiles over `paths` with their folders expanded; nothing is added when the user
// stopped the walk. Folders that hold no image file at all are said so. The folders are noted
// in the list when something was added.
RegisterOutcome RegisterPaths(FileList& list, const std::vector<std::string>& paths,
                              UserInteraction& ui, FileListHost& host);

// Notes every folder among `paths` as added to the list, so a kept tree starts at it when it is
// the only one.
void NoteFolders(FileList& list, const std::vector<std::string>& paths);

}  // namespace korvale
