// korvale-cli probe and stamp: the header layer on its own.
#include <cstdio>

#include "Commands.h"
#include "ImageHeader.h"
#include "ResolutionStamp.h"

namespace korvale::cli {
namespace {

// A DPI argument: decimal digits only, 0 to 10000.
bool ParseDpi(const std::string& text, uint32_t& dpi) {
    if (text.empty() || text.size() > 5) {
        return false;
    }
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value > 10000) {
        return false;
    }
    dpi = value;
    return true;
}

}  // namespace

int RunProbe(const Arguments& args) {
    const Arguments files = FileArguments(args);
    if (files.empty()) {
        return UsageError("probe needs at least one FILE");
    }
    bool allReadable = true;
    for (const std::string& path : files) {
        if (const auto info = ProbeImageHeader(path)) {
            std::printf("%s\tok\t%u\t%u\t%u\n", path.c_str(), info->width, info->height, info->dpi);
        } else {
            std::printf("%s\tunreadable\n", path.c_str());
            allReadable = false;
        }
    }
    return allReadable ? kExitOk : kExitFailed;
}

int RunStamp(const Arguments& args) {
    if (args.empty()) {
        return UsageError("stamp needs a DPI and at least one FILE");
    }
    uint32_t dpi = 0;
    if (!ParseDpi(args.front(), dpi)) {
        return UsageError("DPI must be a whole number from 0 to 10000, not '" + args.front() + "'");
    }
    const Arguments files = FileArguments(Arguments(args.begin() + 1, args.end()));
    if (files.empty()) {
        return UsageError("stamp needs at least one FILE");
    }
    bool allStamped = true;
    for (const std::string& path : files) {
        StampResolution(path, dpi);
        const auto info = ProbeImageHeader(path);
        const bool stamped = info && info->dpi == dpi;
        std::printf("%s\t%s\n", path.c_str(), stamped ? "stamped" : "unchanged");
        allStamped = allStamped && stamped;
    }
    return allStamped ? kExitOk : kExitFailed;
}

}  // namespace korvale::cli
