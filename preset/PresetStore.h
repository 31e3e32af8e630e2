// The preset file KVPreset.csv: one preset per line, read at start with its first-run copy and
// error counting, and replaced as a whole when the presets are saved.
#pragma once

#include <string>

#include "CsvLoader.h"
#include "Preset.h"
#include "PresetLocation.h"
#include "UserInteraction.h"

namespace korvale {

inline constexpr char kPresetFileName[] = "KVPreset.csv";
inline constexpr char kPresetTempFileName[] = "$KVPreset.csv";
// The preset file as it was before its first save, when it loaded with problems.
inline constexpr char kPresetBackupFileName[] = "KVPreset.csv.bak";
inline constexpr char kPresetBackupTempFileName[] = "$KVPreset.csv.bak";

// One line of the file: the name in double quotes with its quotes doubled, then width, height
// and DPI, ending in LF.
std::string FormatPresetLine(const Preset& preset);

struct PresetReadResult {
    PresetList presets;
    int errorCount = 0;       // records rejected
    bool readFailed = false;  // a number beyond the 32-bit range, or a failed read
};

// Reads the records of an open loader into presets, stopping after kPresetLoadLimit of them.
PresetReadResult ReadPresets(CCSVLoader& loader);

struct LoadedPresets {
    std::string folder;  // the preset folder with a trailing "/", or empty when unknown
    PresetList presets;
    // Rejected records or a failed read: the file holds more than `presets`, so its first save
    // keeps it as kPresetBackupFileName.
    bool hadProblems = false;
};

// Creates the preset folder if needed, copies the default file there when no preset file
// exists, reads it and shows the load messages. Never fails: what was read is returned.
LoadedPresets LoadPresets(const PresetLocation& location, UserInteraction& ui);

// Writes the presets to a temporary file in `folder` and renames it over KVPreset.csv; on any
// failure shows its message, removes the temporary file and leaves the old file as it was. With
// `keepOriginal`, the old file is first copied to KVPreset.csv.bak (a failed copy saves nothing),
// and a successful save says where it was kept.
bool SavePresets(const std::string& folder, const PresetList& presets, UserInteraction& ui,
                 bool keepOriginal = false);

// Creates a folder and any missing parents; true when the folder exists afterwards.
bool CreateDirectoryChain(const std::string& path);

}  // namespace korvale
