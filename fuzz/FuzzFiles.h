// Files for the fuzz targets: the parsers read by path, so each input is written to a file in a
// private scratch folder (in memory where /dev/shm exists).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvale::fuzz {

// path() of a file named `name` in this process's scratch folder, created on first use and
// removed with its files when the process exits.
std::string ScratchFile(const std::string& name);

// Replaces the file's content with the bytes; aborts when that fails, since a fuzz run on a
// file that does not hold the input would test nothing.
void WriteWhole(const std::string& path, const uint8_t* data, size_t size);
void WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes);

std::vector<uint8_t> ReadWhole(const std::string& path);

}  // namespace korvale::fuzz
