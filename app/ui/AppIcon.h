// The program icon: the installed theme icon, or the same drawing rendered here.
#pragma once

#include <QIcon>

namespace korvale {

// The icon theme's icon named by the program id when installed, else DrawnAppIcon().
QIcon AppIcon();

// The icon drawn from its SVG at the sizes and scales a window manager asks for.
QIcon DrawnAppIcon();

}  // namespace korvale
