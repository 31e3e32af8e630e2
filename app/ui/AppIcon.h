// The program icon, drawn at the sizes a window manager asks for.
#pragma once

#include <QIcon>

namespace korvale {

QIcon AppIcon();

}  // namespace korvale
