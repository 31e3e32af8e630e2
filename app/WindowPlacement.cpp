// The main window's size limits, its place on the screen and its stored box.
#include "WindowPlacement.h"

#include <algorithm>

namespace korvale {
namespace {

constexpr const char* kBoxKeys[] = {"WindowX", "WindowY", "WindowWidth", "WindowHeight"};

// `value` moved into [low, high]; with no room, `low` wins.
int Clamp(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

}  // namespace

WindowPlacement PlaceMainWindow(int templateWidth, int templateHeight, int listGiveUp,
                                const WindowBox& available,
                                const std::optional<WindowBox>& remembered, int scrollBarWidth) {
    WindowPlacement placement;
    const int smallestHeight = templateHeight - std::max(0, listGiveUp);
    const bool tooTall = smallestHeight > available.height;
    placement.scrolls = tooTall || templateWidth > available.width;
    const int width = tooTall ? templateWidth + std::max(0, scrollBarWidth) : templateWidth;
    placement.minimumWidth = std::min(width, std::max(1, available.width));
    // Below the template's height only as far as the screen demands and the list allows, or
    // the whole area when even that is too much.
    placement.minimumHeight =
        tooTall ? std::max(1, available.height)
                : std::max(smallestHeight, std::min(templateHeight, available.height));
    const int maximumWidth = std::max(placement.minimumWidth, available.width);
    const int maximumHeight = std::max(placement.minimumHeight, available.height);

    WindowBox& box = placement.box;
    box.width = Clamp(remembered ? remembered->width : width, placement.minimumWidth, maximumWidth);
    box.height = Clamp(remembered ? remembered->height : templateHeight, placement.minimumHeight,
                       maximumHeight);
    if (remembered) {
        // Pulled back inside the area, so a window left on a screen now gone can be reached.
        box.x = Clamp(remembered->x, available.x, available.x + available.width - box.width);
        box.y = Clamp(remembered->y, available.y, available.y + available.height - box.height);
    } else {
        box.x = available.x + std::max(0, (available.width - box.width) / 2);
        box.y = available.y + std::max(0, (available.height - box.height) / 2);
    }
    return placement;
}

std::optional<WindowBox> LoadWindowBox(const SettingsStore& store) {
    int values[4] = {};
    for (int i = 0; i < 4; ++i) {
        const std::optional<int32_t> value = store.ReadInt(kBoxKeys[i]);
        if (!value) {
            return std::nullopt;
        }
        values[i] = *value;
    }
    if (values[2] <= 0 || values[3] <= 0) {
        return std::nullopt;
    }
    return WindowBox{values[0], values[1], values[2], values[3]};
}

void SaveWindowBox(SettingsStore& store, const WindowBox& box) {
    const int values[4] = {box.x, box.y, box.width, box.height};
    for (int i = 0; i < 4; ++i) {
        store.WriteInt(kBoxKeys[i], values[i]);
    }
}

}  // namespace korvale
