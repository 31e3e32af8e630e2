// Where the preset file lives and where the default file copied on the first start is found.
#pragma once

#include <string>
#include <vector>

namespace korvale {

struct PresetLocation {
    // The folder that holds KVPreset.csv; empty when the per-user data folder is unknown.
    std::string folder;
    // Folders searched in this order for the default KVPreset.csv.
    std::vector<std::string> defaultFileFolders;
};

// ~/.local/share/Brenvik/Korvale/ (or below $XDG_DATA_HOME), and the default file beside the
// executable, then in ../share/korvale/ relative to it (the installed layout).
PresetLocation DefaultPresetLocation();

// The folder of the running executable with a trailing "/", or empty when unknown.
std::string ExecutableFolder();

}  // namespace korvale
