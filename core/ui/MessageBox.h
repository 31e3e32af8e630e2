// The system's message box: an OK button only, the program's name "Korvale" as title, no icon
// except for the information messages.
#pragma once

#include <string>

#include "UserInteraction.h"

class QWidget;

namespace korvale::ui {

// `detail`, when not empty, is the box's informative text.
void ShowMessageBox(QWidget* parent, const std::string& text, MessageIcon icon,
                    const std::string& detail = {});

// A question with the buttons "はい" and "いいえ" ("いいえ" is the default, as Escape); true for
// "はい".
// The end of a run: `text` with the information icon, `counts` below it, and a button that
// opens the output folder besides OK (the default). True when that button was chosen.
bool ShowCompletionBox(QWidget* parent, const std::string& text, const std::string& counts);

bool AskYesNo(QWidget* parent, const std::string& text);

}  // namespace korvale::ui
