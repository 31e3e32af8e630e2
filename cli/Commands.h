// The subcommands of korvale-cli. Each takes the arguments after its own name and returns the
// process exit status.
#pragma once

#include <string>
#include <vector>

namespace korvale::cli {

using Arguments = std::vector<std::string>;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 3;

int RunProbe(const Arguments& args);
int RunStamp(const Arguments& args);
int RunStats(const Arguments& args);
int RunBatchCommand(const Arguments& args);
int RunPlanCommand(const Arguments& args);
int RunPresets(const Arguments& args);
int RunOptions(const Arguments& args);

// A whole number written with decimal digits only, within [minimum, maximum].
bool ParseWholeNumber(const std::string& text, long minimum, long maximum, long& value);

// Prints "korvale-cli: MESSAGE" and a hint to standard error; returns kExitUsage.
int UsageError(const std::string& message);

// A name with its backslashes, tabs and line ends escaped ("\\", "\t", "\n", "\r"), so that
// a line of tab-separated fields stays one line whatever a file or preset is called.
std::string EscapeName(const std::string& name);

// The arguments with one leading "--" removed (it only separates options from file names).
Arguments FileArguments(const Arguments& args);

}  // namespace korvale::cli
