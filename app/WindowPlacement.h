// Where the main window opens and how small it may get: at least its template's size, never
// beyond the screen's available area (the file list gives up rows first, then the controls
// scroll), and the remembered place when it still lies on the screen.
#pragma once

#include <optional>

#include "SettingsStore.h"

namespace korvale {

struct WindowBox {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const WindowBox& other) const {
        return x == other.x && y == other.y && width == other.width && height == other.height;
    }
};

struct WindowPlacement {
    int minimumWidth = 0;
    int minimumHeight = 0;
    WindowBox box;  // the client area
    // Even at its smallest the window would not fit: it takes the area, and what does not fit
    // scrolls.
    bool scrolls = false;
};

// `templateWidth` and `templateHeight`: the window at its template's size; `listGiveUp`: how
// many pixels the file list can lose and still show a row; `available`: the screen's area for
// windows less the frame the window manager adds; `remembered`: the last session's box;
// `scrollBarWidth`: what a vertical scroll bar takes, added to the width when the height
// scrolls and the screen has room for it.
WindowPlacement PlaceMainWindow(int templateWidth, int templateHeight, int listGiveUp,
                                const WindowBox& available,
                                const std::optional<WindowBox>& remembered, int scrollBarWidth = 0);

// The stored box; std::nullopt unless all four values are there and the size is positive.
std::optional<WindowBox> LoadWindowBox(const SettingsStore& store);
// Written with the options; the store is flushed by its caller.
void SaveWindowBox(SettingsStore& store, const WindowBox& box);

}  // namespace korvale
