// The translator of the window's own texts.
#pragma once

#include "UiLanguage.h"

class QCoreApplication;

namespace korvale {

// English: installs the window's English translation (embedded in the program). Japanese: the
// texts in the sources are Japanese, so nothing is installed. False when English was asked for
// and its translation could not be loaded; the window then speaks Japanese.
bool InstallUiTranslator(QCoreApplication& app, UiLanguage language);

}  // namespace korvale
