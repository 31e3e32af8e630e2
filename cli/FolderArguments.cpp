// The FILE arguments of korvale-cli's commands, with named folders walked under --recursive.
#include "FolderArguments.h"

#include "FolderFiles.h"
#include "TerminalInteraction.h"

namespace korvale::cli {

Arguments WalkFolders(const Arguments& files, size_t room) {
    TerminalInteraction ui;  // a terminal walk cannot be stopped but by an interrupt
    return ExpandFolders(files, ui, room).value_or(Arguments{});
}

Arguments FolderFileArguments(const Arguments& args, size_t room) {
    Arguments files;
    bool recursive = false;
    bool optionsEnded = false;
    for (const std::string& argument : args) {
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument == "--recursive") {
            recursive = true;
        } else {
            files.push_back(argument);
        }
    }
    return recursive ? WalkFolders(files, room) : files;
}

}  // namespace korvale::cli
