// Image paths named on the command line.
#pragma once

#include <string>
#include <vector>

#include "FileList.h"
#include "FileListHost.h"
#include "UserInteraction.h"

namespace korvale {

// Each argument (program name excluded) is one candidate; arguments that begin with "-" are
// options and are skipped until "--", after which every argument is a candidate. A candidate is
// kept, as written, when it names an existing entry that is not a folder.
std::vector<std::string> CommandLineFiles(const std::vector<std::string>& arguments);

// The same, folders kept too.
std::vector<std::string> CommandLinePaths(const std::vector<std::string>& arguments);

// Registers the existing candidates, if any, in order, each folder with the image files inside
// it and its subfolders (RegisterPaths). Missing paths give no message.
void AddCommandLineFiles(const std::vector<std::string>& arguments, FileList& list,
                         UserInteraction& ui, FileListHost& host);

}  // namespace korvale
