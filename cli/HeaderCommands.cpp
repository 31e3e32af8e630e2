// korvale-cli probe and stamp: the header layer on its own.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "AtomicFile.h"
#include "Commands.h"
#include "FolderArguments.h"
#include "FolderFiles.h"
#include "ImageHeader.h"
#include "PathList.h"
#include "RegisterFiles.h"
#include "ResolutionStamp.h"
#include "Words.h"

namespace korvale::cli {
int RunProbe(const Arguments& args) {
    Arguments files;
    if (const std::optional<int> status = ListedFiles(args, "probe", SIZE_MAX, files)) {
        return *status;
    }
    // Long lists are probed a block at a time on two threads and printed in order: each file
    // is one open, read and close, which the kernel serves on both cores at once.
    constexpr size_t kBlock = 4096;
    constexpr size_t kShared = 64;  // below this a second thread costs more than it saves
    std::vector<std::optional<ImageHeaderInfo>> infos;
    bool allReadable = true;
    for (size_t begin = 0; begin < files.size(); begin += kBlock) {
        const size_t end = std::min(files.size(), begin + kBlock);
        infos.assign(end - begin, std::nullopt);
        const auto probe = [&](size_t from, size_t to) {
            for (size_t i = from; i < to; ++i) {
                infos[i - begin] = ProbeImageHeader(files[i]);
            }
        };
        size_t middle = end;
        std::thread helper;
        if (end - begin >= kShared && std::thread::hardware_concurrency() > 1) {
            try {
                helper = std::thread(probe, begin + (end - begin) / 2, end);
                middle = begin + (end - begin) / 2;
            } catch (const std::system_error&) {
                // no second thread: this one probes the whole block
            }
        }
        probe(begin, middle);
        if (helper.joinable()) {
            helper.join();
        }
        for (size_t i = begin; i < end; ++i) {
            if (const auto& info = infos[i - begin]) {
                std::printf("%s\tok\t%u\t%u\t%u\n", EscapeName(files[i]).c_str(), info->width,
                            info->height, info->dpi);
            } else {
                std::printf("%s\tunreadable\n", EscapeName(files[i]).c_str());
                if (IsFolder(files[i])) {
                    std::fflush(stdout);
                    std::fprintf(stderr, "%s: %s\n", EscapeName(files[i]).c_str(),
                                 Words(kFolderReason).c_str());
                }
                allReadable = false;
            }
        }
    }
    return allReadable ? kExitOk : kExitFailed;
}

namespace {

// Why a file was not stamped, in the user's words; empty when it holds the DPI now.
std::string StampFailureReason(const StampOutcome& outcome) {
    switch (outcome.kind) {
        case StampOutcome::Kind::Stamped:
        case StampOutcome::Kind::AlreadySet:
            return {};
        case StampOutcome::Kind::NoJfif:
            return Words(Message(MessageId::StampNoJfif));
        case StampOutcome::Kind::NotStamped:
            return Words(Message(MessageId::StampNoPlace));
        case StampOutcome::Kind::Unsupported:
            return Words(Message(MessageId::NoResolutionEdit));
        case StampOutcome::Kind::Failed:
            return Words(outcome.error == EISDIR ? kFolderReason : ReasonOf(outcome.error));
    }
    return {};
}

}  // namespace

int RunStamp(const Arguments& args) {
    if (args.empty()) {
        return UsageError(
            CliText(QT_TRANSLATE_NOOP("korvale-cli", "stamp needs a DPI and at least one FILE")));
    }
    long dpi = 0;
    if (!ParseWholeNumber(args.front(), 0, 10000, dpi)) {
        return UsageError(
            CliText(QT_TRANSLATE_NOOP("korvale-cli",
                                      "DPI must be a whole number from 0 to 10000, not '%1'"),
                    {args.front()}));
    }
    const Arguments files = FolderFileArguments(Arguments(args.begin() + 1, args.end()));
    if (files.empty()) {
        return UsageError(
            CliText(QT_TRANSLATE_NOOP("korvale-cli", "stamp needs at least one FILE")));
    }
    bool allStamped = true;
    for (const std::string& path : files) {
        const StampOutcome outcome = StampResolution(path, static_cast<uint32_t>(dpi));
        // A file that held the DPI already is stamped as well, as it always was said to be.
        const bool stamped = outcome.kind == StampOutcome::Kind::Stamped ||
                             outcome.kind == StampOutcome::Kind::AlreadySet;
        std::printf("%s\t%s\n", EscapeName(path).c_str(), stamped ? "stamped" : "unchanged");
        const std::string reason = StampFailureReason(outcome);
        if (!reason.empty()) {
            // After the line on standard output, so that both read in order on a terminal.
            std::fflush(stdout);
            std::fprintf(stderr, "%s: %s\n", EscapeName(path).c_str(), reason.c_str());
            allStamped = false;
        }
    }
    return allStamped ? kExitOk : kExitFailed;
}

}  // namespace korvale::cli
