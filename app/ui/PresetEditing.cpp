// The preset list editor as the main window runs it.
#include "PresetEditing.h"

namespace korvale {

std::optional<PresetList> EditPresetsInDialog(QWidget*, const PresetList&, UserInteraction&) {
    return std::nullopt;
}

}  // namespace korvale
