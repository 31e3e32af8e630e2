// Runs the korvale-cli executable with files for its standard streams, so that nothing can
// block on a full pipe.
#include "CliRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "TestFiles.h"

extern char** environ;

namespace korvale::test {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

struct RunningCli::Files {
    TempDir io;
    std::string in = io.File("in"), out = io.File("out"), err = io.File("err");
};

RunningCli::RunningCli(const std::vector<std::string>& args, const CliOptions& options)
    : files_(new Files) {
    WriteFile(files_->in, Bytes(options.input.begin(), options.input.end()));

    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (options.env.count(name) == 0) {
            envStrings.push_back(entry);
        }
    }
    for (const auto& [name, value] : options.env) {
        envStrings.push_back(name + "=" + value);
    }
    std::vector<std::string> argStrings = {KORVALE_CLI_PATH};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& s : argStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        const int in = ::open(files_->in.c_str(), O_RDONLY);
        const int out = ::open(files_->out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(files_->err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
            ::dup2(err, 2) < 0) {
            ::_exit(126);
        }
        if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) {
            ::_exit(126);
        }
        if (options.fileSizeLimit != 0) {
            const struct rlimit limit = {options.fileSizeLimit, options.fileSizeLimit};
            ::signal(SIGXFSZ, SIG_IGN);
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                ::_exit(126);
            }
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
}

RunningCli::~RunningCli() {
    if (!waited_) {
        ::kill(pid_, SIGKILL);
        Wait();
    }
    delete files_;
}

void RunningCli::Signal(int signal) const {
    ::kill(pid_, signal);
}

CliResult RunningCli::Wait() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0) {
    }
    waited_ = true;
    CliResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = Slurp(files_->out);
    result.err = Slurp(files_->err);
    return result;
}

CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options) {
    return RunningCli(args, options).Wait();
}

}  // namespace korvale::test
