// The preset list editor as the main window runs it.
#pragma once

#include <optional>

#include "Preset.h"
#include "UserInteraction.h"

class QWidget;

namespace korvale {

// Runs the list editor on a copy of `current`; the edited list on OK, nothing on Cancel.
std::optional<PresetList> EditPresetsInDialog(QWidget* parent, const PresetList& current,
                                              UserInteraction& ui);

}  // namespace korvale
