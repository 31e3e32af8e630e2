// korvale-cli probe and stamp: the header layer on its own.
#include <cstdio>

#include "Commands.h"
#include "ImageHeader.h"
#include "ResolutionStamp.h"

namespace korvale::cli {
int RunProbe(const Arguments& args) {
    const Arguments files = FileArguments(args);
    if (files.empty()) {
        return UsageError("probe needs at least one FILE");
    }
    bool allReadable = true;
    for (const std::string& path : files) {
        if (const auto info = ProbeImageHeader(path)) {
            std::printf("%s\tok\t%u\t%u\t%u\n", EscapeName(path).c_str(), info->width, info->height,
                        info->dpi);
        } else {
            std::printf("%s\tunreadable\n", EscapeName(path).c_str());
            allReadable = false;
        }
    }
    return allReadable ? kExitOk : kExitFailed;
}

int RunStamp(const Arguments& args) {
    if (args.empty()) {
        return UsageError("stamp needs a DPI and at least one FILE");
    }
    long dpi = 0;
    if (!ParseWholeNumber(args.front(), 0, 10000, dpi)) {
        return UsageError("DPI must be a whole number from 0 to 10000, not '" + args.front() + "'");
    }
    const Arguments files = FileArguments(Arguments(args.begin() + 1, args.end()));
    if (files.empty()) {
        return UsageError("stamp needs at least one FILE");
    }
    bool allStamped = true;
    for (const std::string& path : files) {
        StampResolution(path, static_cast<uint32_t>(dpi));
        const auto info = ProbeImageHeader(path);
        const bool stamped = info && info->dpi == static_cast<uint32_t>(dpi);
        std::printf("%s\t%s\n", path.c_str(), stamped ? "stamped" : "unchanged");
        allStamped = allStamped && stamped;
    }
    return allStamped ? kExitOk : kExitFailed;
}

}  // namespace korvale::cli
