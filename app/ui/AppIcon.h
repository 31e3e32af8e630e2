// The program icon: the installed theme icon, or the same design drawn in code.
#pragma once

#include <QIcon>

namespace korvale {

// The icon theme's icon named by the program id when installed, else DrawnAppIcon().
QIcon AppIcon();

// The icon drawn at the sizes a window manager asks for.
QIcon DrawnAppIcon();

}  // namespace korvale
