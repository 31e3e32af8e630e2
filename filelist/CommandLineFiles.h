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

// Registers the kept candidates, if any, in order. Missing paths and folders give no message.
void AddCommandLineFiles(const std::vector<std::string>& arguments, FileList& list,
                         UserInteraction& ui, FileListHost& host);

}  // namespace korvale
