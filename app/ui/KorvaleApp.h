// Start-up and shutdown of the window program.
#pragma once

class QCoreApplication;

namespace korvale {

// Loads Qt's own Japanese translation (the standard buttons, the file, folder and colour
// dialogs) from Qt's translations folder into the application. False when it is not installed.
bool InstallQtJapanese(QCoreApplication& app);

// Sets the application's identity (organisation "Brenvik", application name = the executable's
// name without its last extension), runs the main window modally and returns the process exit
// status.
int RunKorvaleApp(int argc, char** argv);

}  // namespace korvale
