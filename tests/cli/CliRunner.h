// Runs the korvale-cli executable and captures what it prints.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace korvale::test {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

struct CliOptions {
    std::string input;                       // fed to standard input
    std::map<std::string, std::string> env;  // added to (or replacing) the environment
    std::string workingDirectory;            // empty: the test's own
    // RLIMIT_FSIZE in bytes with SIGXFSZ ignored, so that a write past it fails as on a full
    // disk; 0 for none.
    unsigned long fileSizeLimit = 0;
};

CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options = {});

// The environment of a user whose language is `lang` (for example en_US.UTF-8 or C.UTF-8), with
// the variables that would take precedence over LANG cleared.
inline std::map<std::string, std::string> LanguageEnv(const std::string& lang) {
    return {{"LANGUAGE", ""}, {"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", lang}};
}
inline CliOptions InLanguage(const std::string& lang, CliOptions options = {}) {
    for (const auto& [name, value] : LanguageEnv(lang)) {
        options.env[name] = value;
    }
    return options;
}

// A korvale-cli process started in the background, for signals.
class RunningCli {
public:
    RunningCli(const std::vector<std::string>& args, const CliOptions& options = {});
    ~RunningCli();
    void Signal(int signal) const;
    CliResult Wait();

private:
    struct Files;
    Files* files_;
    int pid_ = -1;
    bool waited_ = false;
};

}  // namespace korvale::test
