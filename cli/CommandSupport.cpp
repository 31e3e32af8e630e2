// What the commands of korvale-cli share, in the program and in its command modules alike.
#include <cstdio>
#include <string>

#include "Commands.h"
#include "Text.h"
#include "Words.h"

namespace korvale::cli {

int UsageError(const std::string& message) {
    std::fprintf(stderr, "korvale-cli: %s\n%s\n", message.c_str(),
                 CliText(QT_TRANSLATE_NOOP("korvale-cli", "Try 'korvale-cli --help'.")));
    return kExitUsage;
}

bool ParseWholeNumber(const std::string& text, long minimum, long maximum, long& value) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    long parsed = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        parsed = parsed * 10 + (c - '0');
    }
    if (parsed < minimum || parsed > maximum) {
        return false;
    }
    value = parsed;
    return true;
}

Arguments FileArguments(const Arguments& args) {
    if (!args.empty() && args.front() == "--") {
        return Arguments(args.begin() + 1, args.end());
    }
    return args;
}

std::string EscapeName(const std::string& name) {
    return EscapedName(name);
}

}  // namespace korvale::cli
