// Reads CSV records byte by byte: quoted fields with commas, line ends and doubled quotes in
// them, LF / CR LF / lone CR line ends, and caps on the bytes kept per field and on the fields
// kept per record, so that a record of any length costs bounded memory.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace korvale {

class CCSVLoader {
public:
    // Ordinary data bytes kept per field; the rest of a longer field is dropped.
    static constexpr size_t kFieldCap = 1023;
    // Doubled quotes are kept past kFieldCap, but a field never holds more than this.
    static constexpr size_t kFieldHardCap = 2 * kFieldCap;
    // Fields a record may have; ReadRecord says kFieldLimit + 1 for any record with more.
    static constexpr int kFieldLimit = 64;

    CCSVLoader() = default;
    virtual ~CCSVLoader();
    CCSVLoader(const CCSVLoader&) = delete;
    CCSVLoader& operator=(const CCSVLoader&) = delete;

    // Opens a regular file for reading and resets the parser; errno says why it failed. A named
    // pipe or other special file is refused without waiting for a writer. A UTF-8 byte order
    // mark at the start of the file is skipped.
    bool Open(const std::string& path);

    // Reads one record into fields[0..n) (the vector grows as needed; elements past n are left
    // as they were) and returns n, or -1 when no record is left or a read failed. A record of
    // more than kFieldLimit fields is read to its end but gives n = kFieldLimit + 1, with only
    // its first n fields stored.
    int ReadRecord(std::vector<std::string>& fields);

    void Close();

    // True once a read from the file has failed (as opposed to reaching its end).
    bool ReadFailed() const { return readFailed_; }

private:
    enum State : short {
        kBetweenFields = 0,
        kUnquoted = 1,
        kQuoted = 2,
        kSkipSecondQuote = 3,
    };

    int ReadByte();
    void StoreField(std::vector<std::string>& fields, int& index);
    void Append(int c);

    std::FILE* file_ = nullptr;
    int lookahead_ = -1;
    State state_ = kBetweenFields;
    std::string field_;
    bool readFailed_ = false;
};

}  // namespace korvale
