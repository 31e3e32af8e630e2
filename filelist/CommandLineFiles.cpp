// Image paths named on the command line.
#include "CommandLineFiles.h"

#include <sys/stat.h>

#include "RegisterFiles.h"

namespace korvale {

std::vector<std::string> CommandLineFiles(const std::vector<std::string>& arguments) {
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
        if (::stat(argument.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
            kept.push_back(argument);
        }
    }
    return kept;
}

void AddCommandLineFiles(const std::vector<std::string>& arguments, FileList& list,
                         UserInteraction& ui, FileListHost& host) {
    const std::vector<std::string> files = CommandLineFiles(arguments);
    if (!files.empty()) {
        RegisterFiles(list, files, ui, host);
    }
}

}  // namespace korvale
