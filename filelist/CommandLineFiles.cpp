// Image paths named on the command line.
#include "CommandLineFiles.h"

#include <sys/stat.h>

#include "FolderFiles.h"

namespace korvale {

namespace {

std::vector<std::string> Candidates(const std::vector<std::string>& arguments, bool folders) {
    std::vector<std::string> kept;
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && !argument.empty() && argument[0] == '-') {
            continue;
        }
        struct stat info;
        if (::stat(argument.c_str(), &info) == 0 && (folders || !S_ISDIR(info.st_mode))) {
            kept.push_back(argument);
        }
    }
    return kept;
}

}  // namespace

std::vector<std::string> CommandLineFiles(const std::vector<std::string>& arguments) {
    return Candidates(arguments, false);
}

std::vector<std::string> CommandLinePaths(const std::vector<std::string>& arguments) {
    return Candidates(arguments, true);
}

void AddCommandLineFiles(const std::vector<std::string>& arguments, FileList& list,
                         UserInteraction& ui, FileListHost& host) {
    const std::vector<std::string> paths = CommandLinePaths(arguments);
    if (!paths.empty()) {
        RegisterPaths(list, paths, ui, host);
    }
}

}  // namespace korvale
