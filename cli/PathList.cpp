// Lists of paths from a file.
#include "PathList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Text.h"
#include "Words.h"

namespace korvale::cli {
namespace {

std::string Shown(const std::string& name) {
    return name == "-" ? std::string(CliText(QT_TRANSLATE_NOOP("korvale-cli", "standard input")))
                       : "'" + EscapedName(name) + "'";
}

std::string ListError(const std::string& name, const std::string& what) {
    return "--files-from: " + Shown(name) + ": " + what;
}

// Copies the rest of `fd` into an unnamed temporary file, which is returned rewound.
FILE* Spool(int fd, int& error) {
    FILE* spool = std::tmpfile();
    if (spool == nullptr) {
        error = errno;
        return nullptr;
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = errno;
            std::fclose(spool);
            return nullptr;
        }
        if (got == 0) {
            break;
        }
        if (std::fwrite(buffer, 1, static_cast<size_t>(got), spool) != static_cast<size_t>(got)) {
            error = errno != 0 ? errno : EIO;
            std::fclose(spool);
            return nullptr;
        }
    }
    if (std::fflush(spool) != 0) {
        error = errno;
        std::fclose(spool);
        return nullptr;
    }
    std::rewind(spool);
    return spool;
}

}  // namespace

PathList::~PathList() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

std::string PathList::Open(const std::string& name, bool nul) {
    name_ = name;
    nul_ = nul;
    int fd = STDIN_FILENO;
    if (name != "-") {
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return ListError(name, std::strerror(errno));
        }
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        if (fd != STDIN_FILENO) {
            ::close(fd);
        }
        return ListError(name, std::strerror(error));
    }
    if (S_ISDIR(info.st_mode)) {
        if (fd != STDIN_FILENO) {
            ::close(fd);
        }
        return ListError(
            name, CliText(QT_TRANSLATE_NOOP("korvale-cli", "is a folder, not a list of files")));
    }
    if (S_ISREG(info.st_mode)) {
        file_ = ::fdopen(fd == STDIN_FILENO ? ::dup(fd) : fd, "rb");
        if (file_ == nullptr) {
            const int error = errno;
            if (fd != STDIN_FILENO) {
                ::close(fd);
            }
            return ListError(name, std::strerror(error));
        }
        return {};
    }
    // A pipe, a FIFO or a terminal is read once, to its end (the writer closing it).
    int error = 0;
    file_ = Spool(fd, error);
    if (fd != STDIN_FILENO) {
        ::close(fd);
    }
    return file_ == nullptr ? ListError(name, std::strerror(error)) : std::string();
}

std::string PathList::ForEach(
    const std::function<void(size_t index, const std::string& path)>& visit) {
    if (file_ == nullptr) {
        return ListError(name_, CliText(QT_TRANSLATE_NOOP("korvale-cli", "not open")));
    }
    std::rewind(file_);
    char* line = nullptr;
    size_t capacity = 0;
    size_t index = 0;
    std::string failure;
    errno = 0;
    for (;;) {
        const ssize_t length = ::getdelim(&line, &capacity, nul_ ? '\0' : '\n', file_);
        if (length < 0) {
            break;
        }
        size_t size = static_cast<size_t>(length);
        if (size > 0 && line[size - 1] == (nul_ ? '\0' : '\n')) {
            --size;
        }
        if (size == 0) {
            continue;
        }
        if (!nul_ && std::memchr(line, '\0', size) != nullptr) {
            failure =
                ListError(name_, CliText(QT_TRANSLATE_NOOP("korvale-cli",
                                                           "path %1 holds a NUL byte; a list "
                                                           "ended by NUL bytes is read with -0"),
                                         {std::to_string(index + 1)}));
            break;
        }
        visit(index++, std::string(line, size));
    }
    if (failure.empty() && std::ferror(file_)) {
        failure = ListError(name_, std::strerror(errno != 0 ? errno : EIO));
    }
    std::clearerr(file_);
    std::free(line);
    return failure;
}

std::string PathList::ReadAll(Arguments& paths) {
    return ForEach([&](size_t, const std::string& path) { paths.push_back(path); });
}

bool Shard::Keeps(const std::string& path) const {
    return Fnv1a64(path) % parts == part - 1;
}

std::string ParseShard(const std::string& text, Shard& shard) {
    const size_t slash = text.find('/');
    long part = 0, parts = 0;
    if (slash == std::string::npos ||
        !ParseWholeNumber(text.substr(0, slash), 1, 999999999, part) ||
        !ParseWholeNumber(text.substr(slash + 1), 1, 999999999, parts) || part > parts) {
        return CliText(
            QT_TRANSLATE_NOOP("korvale-cli",
                              "--shard is K/N with 1 <= K <= N (the K-th of N shards), not '%1'"),
            {text});
    }
    shard.part = static_cast<uint64_t>(part);
    shard.parts = static_cast<uint64_t>(parts);
    return {};
}

std::string TakeListFlags(Arguments& args, bool shards, ListFlags& flags) {
    Arguments rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& argument = args[i];
        if (argument == "--") {
            rest.insert(rest.end(), args.begin() + static_cast<long>(i), args.end());
            break;
        }
        std::string option = argument, value;
        bool hasValue = false;
        if (option.compare(0, 2, "--") == 0) {
            if (const size_t equals = option.find('='); equals != std::string::npos) {
                value = option.substr(equals + 1);
                option.resize(equals);
                hasValue = true;
            }
        }
        const bool takesValue = option == "--files-from" || (shards && option == "--shard");
        if (takesValue && !hasValue) {
            if (i + 1 >= args.size()) {
                return CliText(QT_TRANSLATE_NOOP("korvale-cli", "%1 needs a value"), {option});
            }
            value = args[++i];
        }
        if (option == "--files-from") {
            if (value.empty()) {
                return CliText(QT_TRANSLATE_NOOP(
                    "korvale-cli", "--files-from needs a FILE ('-' for standard input)"));
            }
            flags.filesFrom = value;
        } else if (shards && option == "--shard") {
            if (std::string error = ParseShard(value, flags.shard); !error.empty()) {
                return error;
            }
            flags.sharded = true;
        } else if ((argument == "-0" || argument == "--null")) {
            flags.nul = true;
        } else {
            rest.push_back(argument);
        }
    }
    args = std::move(rest);
    return {};
}

PathListReader PathReader(PathList& list, bool fromList, const Arguments& arguments,
                          std::string& error) {
    return [&list, fromList, &arguments, &error](const PathVisitor& visit) {
        if (!fromList) {
            for (size_t i = 0; i < arguments.size(); ++i) {
                visit(i, arguments[i]);
            }
        } else if (std::string failure = list.ForEach(visit); !failure.empty()) {
            error = failure;
        }
    };
}

}  // namespace korvale::cli
