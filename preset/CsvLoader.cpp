// The CSV record reader.
#include "CsvLoader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace korvale {
namespace {

bool EndsUnquotedField(int c) {
    return c == ',' || c == '\r' || c == '\n' || c == -1;
}

}  // namespace

CCSVLoader::~CCSVLoader() {
    Close();
}

bool CCSVLoader::Open(const std::string& path) {
    Close();
    state_ = kBetweenFields;
    field_.clear();
    lookahead_ = -1;
    readFailed_ = false;
    // O_NONBLOCK keeps a named pipe from blocking the open; only a regular file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = S_ISDIR(info.st_mode) ? EISDIR : ENXIO;  // the reason the caller reports
        return false;
    }
    file_ = ::fdopen(fd, "rb");
    if (file_ == nullptr) {
        ::close(fd);
        return false;
    }
    // Spreadsheet programs begin a UTF-8 CSV file with a byte order mark; it is no part of the
    // first name.
    unsigned char head[3] = {};
    const size_t got = std::fread(head, 1, sizeof head, file_);
    if (std::ferror(file_)) {
        readFailed_ = true;  // said by ReadFailed once the first record is asked for
    } else if (got != 3 || head[0] != 0xEF || head[1] != 0xBB || head[2] != 0xBF) {
        readFailed_ = std::fseek(file_, 0, SEEK_SET) != 0;
    }
    return true;
}

void CCSVLoader::Close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

int CCSVLoader::ReadByte() {
    if (file_ == nullptr || readFailed_) {
        return -1;
    }
    // One thread reads one loader: the stream's lock would only cost time on every byte.
    const int c = getc_unlocked(file_);
    if (c == EOF && std::ferror(file_)) {
        readFailed_ = true;
    }
    return c == EOF ? -1 : c;
}

void CCSVLoader::StoreField(std::vector<std::string>& fields, int& index) {
    // Past the limit one more field is kept, to say so; the rest of the record is dropped.
    if (index <= kFieldLimit) {
        const size_t i = static_cast<size_t>(index);
        if (fields.size() <= i) {
            fields.resize(i + 1);
        }
        fields[i] = field_;
        ++index;
    }
    field_.clear();
}

void CCSVLoader::Append(int c) {
    if (field_.size() < kFieldCap) {
        field_.push_back(static_cast<char>(c));
    }
}

int CCSVLoader::ReadRecord(std::vector<std::string>& fields) {
    int c = lookahead_;
    if (c == -1) {
        c = ReadByte();
        if (c == -1) {
            return -1;
        }
    }
    field_.clear();
    int count = 0;
    int next = -1;
    for (;;) {
        next = ReadByte();
        if (readFailed_) {
            lookahead_ = -1;
            return -1;
        }
        if (c == -1) {  // the file ended inside this record
            StoreField(fields, count);
            break;
        }
        bool finished = false;
        switch (state_) {
            case kBetweenFields:
                if (c == '\n') {
                    StoreField(fields, count);
                    finished = true;
                } else if (c == '\r') {
                    // Before an LF, the LF ends the record on the next turn.
                    if (next != '\n') {
                        StoreField(fields, count);
                        finished = true;
                    }
                } else if (c == ',') {
                    StoreField(fields, count);
                } else if (c == '"') {
                    state_ = kQuoted;
                } else {
                    state_ = kUnquoted;
                    Append(c);
                    if (EndsUnquotedField(next)) {
                        state_ = kBetweenFields;
                    }
                }
                break;
            case kUnquoted:
                Append(c);
                if (EndsUnquotedField(next)) {
                    state_ = kBetweenFields;
                }
                break;
            case kQuoted:
                if (c != '"') {
                    Append(c);
                } else if (EndsUnquotedField(next)) {
                    state_ = kBetweenFields;  // the closing quote
                } else if (next == '"') {
                    if (field_.size() < kFieldHardCap) {
                        field_.push_back('"');  // kept even past the cap
                    }
                    state_ = kSkipSecondQuote;
                }
                // Any other single quote inside a quoted field is dropped.
                break;
            case kSkipSecondQuote:
                state_ = kQuoted;
                break;
        }
        if (finished) {
            break;
        }
        c = next;
    }
    lookahead_ = next;
    return count;
}

}  // namespace korvale
