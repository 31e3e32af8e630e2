// Adding files to the list (from the file dialog, a drop or the command line) and removing them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "FileList.h"
#include "FileListHost.h"
#include "UserInteraction.h"

namespace korvale {

// Said of a path that names a folder where a file is wanted.
inline const Message kFolderReason{MessageId::IsAFolder};

// Why a path that the probe refused cannot be listed; nullopt for a name that names nothing,
// which the count alone has always covered.
std::optional<Message> UnreadableReason(const std::string& path);

struct RegisterOutcome {
    bool refused = false;  // the batch would have exceeded the limit; nothing was read
    int unreadable = 0;
    int duplicates = 0;
    int added = 0;  // entries that are in the list now and were not before
};

// Probes every path of the batch, drops unreadable files, merges the rest into the list and
// removes duplicates, reporting each count above 0 through `ui`. The host refreshes the view
// and the control states when at least one file passed the probe.
RegisterOutcome RegisterFiles(FileList& list, const std::vector<std::string>& batch,
                              UserInteraction& ui, FileListHost& host);

// Reads the headers of the listed files at `rows` again, after a run replaced them, so that
// the list, its statistics and the next run see the files as they are now; a file that no
// longer reads keeps its row as it was. The host refreshes the view when any row was given.
void ProbeAgain(FileList& list, const std::vector<size_t>& rows, FileListHost& host);

// `selectedRows`: ascending 0-based rows of the view as it stood before the click.
void RemoveSelectedFiles(FileList& list, const std::vector<size_t>& selectedRows,
                         FileListHost& host);
void RemoveAllFiles(FileList& list, FileListHost& host);
void RemoveOddNumberedFiles(FileList& list, FileListHost& host);
void RemoveEvenNumberedFiles(FileList& list, FileListHost& host);

}  // namespace korvale
