// Start-up and shutdown of the window program.
#pragma once

namespace korvale {

// Sets the application's identity (organisation "Brenvik", application name = the executable's
// base name), runs the main window modally and returns the process exit status.
int RunKorvaleApp(int argc, char** argv);

}  // namespace korvale
