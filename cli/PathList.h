// Lists of paths read from a file or standard input (--files-from), and shards of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "Commands.h"

namespace korvale::cli {

// Each path with its position; and what gives every path to one.
using PathVisitor = std::function<void(size_t index, const std::string& path)>;
using PathListReader = std::function<void(const PathVisitor&)>;

class PathList {
public:
    PathList() = default;
    ~PathList();
    PathList(const PathList&) = delete;
    PathList& operator=(const PathList&) = delete;

    // Opens the list `name` ("-": standard input): one path per line, or with `nul` paths ended
    // by NUL bytes, in which a line end is a byte like any other. A list that can be read only
    // once (standard input, a pipe) is copied into a temporary file first, so that it can be
    // read again. An error text, empty on success.
    std::string Open(const std::string& name, bool nul);

    // Gives every path with its position among the paths, in list order; empty entries are
    // left out. Can be called again. An error text, empty when the whole list was read.
    std::string ForEach(const std::function<void(size_t index, const std::string& path)>& visit);

    // Every path, for the commands that hold their FILEs (probe, stats).
    std::string ReadAll(Arguments& paths);

private:
    std::string name_;
    bool nul_ = false;
    FILE* file_ = nullptr;
};

// The paths of a run or plan given as a stream: `list`'s when `fromList`, else `arguments`', each
// with its position, as often as read. A list's read error is kept in `error`; the list and the
// arguments must outlive the reader.
PathListReader PathReader(PathList& list, bool fromList, const Arguments& arguments,
                          std::string& error);

// --shard K/N: the paths whose FNV-1a hash (Fnv1a64 of the bytes as listed) modulo N is K-1.
struct Shard {
    uint64_t part = 1;   // K, from 1
    uint64_t parts = 1;  // N
    bool Keeps(const std::string& path) const;
};
// Parses "K/N" with 1 <= K <= N; an error text, empty on success.
std::string ParseShard(const std::string& text, Shard& shard);

// The options of every command that takes a list: --files-from FILE, -0/--null, and with
// `shards` (run, plan) --shard K/N. Takes them out of `args` and leaves the rest; an error text.
struct ListFlags {
    std::string filesFrom;  // empty: none
    bool nul = false;
    bool sharded = false;
    Shard shard;
};
std::string TakeListFlags(Arguments& args, bool shards, ListFlags& flags);

}  // namespace korvale::cli
