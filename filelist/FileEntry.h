// One listed image: its path as delivered and the size and resolution read from its header.
#pragma once

#include <cstdint>
#include <string>

namespace korvale {

struct FileEntry {
    std::string path;  // as the source delivered it, not normalised
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t dpi = 0;  // 0: the header states none
};

}  // namespace korvale
