// The FILE arguments of korvale-cli's commands, with named folders walked under --recursive.
#include "FolderArguments.h"

#include "FolderFiles.h"
#include "PathList.h"
#include "TerminalInteraction.h"
#include "Words.h"

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

std::optional<int> ListedFiles(const Arguments& args, const char* command, size_t room,
                               Arguments& files) {
    Arguments rest = args;
    ListFlags list;
    if (const std::string error = TakeListFlags(rest, false, list); !error.empty()) {
        return UsageError(error);
    }
    if (list.filesFrom.empty()) {
        if (list.nul) {
            return UsageError(
                CliText(QT_TRANSLATE_NOOP("korvale-cli", "-0 applies to --files-from")));
        }
        files = FolderFileArguments(args, room);
        if (files.empty()) {
            return UsageError(
                CliText(QT_TRANSLATE_NOOP("korvale-cli", "%1 needs at least one FILE"), {command}));
        }
        return std::nullopt;
    }
    if (!rest.empty()) {
        return UsageError(CliText(QT_TRANSLATE_NOOP(
            "korvale-cli", "--files-from takes the files from its list; name no FILE beside it")));
    }
    PathList paths;
    std::string error = paths.Open(list.filesFrom, list.nul);
    if (error.empty()) {
        error = paths.ReadAll(files);
    }
    if (!error.empty()) {
        return UsageError(error);
    }
    return std::nullopt;
}

}  // namespace korvale::cli
