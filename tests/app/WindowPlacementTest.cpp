// The main window's place and size limits on screens of every size, and its stored box.
#include <gtest/gtest.h>

#include "TestFiles.h"
#include "WindowPlacement.h"

namespace korvale {
namespace {

TEST(PlaceMainWindow, NeverBeyondTheScreenAndNeverBelowTheTemplateWhereItFits) {
    // A template of 600 x 760 pixels whose list can give up 200.
    const struct {
        const char* what;
        WindowBox available;
        std::optional<WindowBox> remembered;
        int minimumHeight;
        WindowBox expected;
    } cases[] = {
        {"room enough: centred at the template's size",
         {0, 0, 1600, 1000},
         {},
         760,
         {500, 120, 600, 760}},
        {"a short screen: the list gives up rows", {0, 0, 800, 600}, {}, 600, {100, 0, 600, 600}},
        {"shorter than the list can give: the screen's height, and the rest scrolls",
         {0, 0, 800, 500},
         {},
         500,
         {100, 0, 600, 500}},
        {"remembered and on the screen",
         {0, 0, 1600, 1000},
         WindowBox{40, 30, 900, 800},
         760,
         {40, 30, 900, 800}},
        {"remembered larger than the screen",
         {0, 0, 1600, 1000},
         WindowBox{0, 0, 3000, 2000},
         760,
         {0, 0, 1600, 1000}},
        {"remembered smaller than the template",
         {0, 0, 1600, 1000},
         WindowBox{10, 10, 100, 100},
         760,
         {10, 10, 600, 760}},
        {"remembered on a screen now gone",
         {0, 0, 1600, 1000},
         WindowBox{5000, -900, 600, 760},
         760,
         {1000, 0, 600, 760}},
        {"a panel above: the area starts lower", {0, 40, 1600, 960}, {}, 760, {500, 140, 600, 760}},
    };
    for (const auto& c : cases) {
        const WindowPlacement placement = PlaceMainWindow(600, 760, 200, c.available, c.remembered);
        EXPECT_EQ(placement.minimumWidth, 600) << c.what;
        EXPECT_EQ(placement.minimumHeight, c.minimumHeight) << c.what;
        EXPECT_EQ(placement.box, c.expected)
            << c.what << ": " << placement.box.x << "," << placement.box.y << " "
            << placement.box.width << "x" << placement.box.height;
    }
}

TEST(PlaceMainWindow, WhereEvenTheSmallestWindowDoesNotFitItTakesTheAreaAndScrolls) {
    // The same template; a scroll bar 16 pixels wide.
    const struct {
        const char* what;
        WindowBox available;
        std::optional<WindowBox> remembered;
        bool scrolls;
        int minimumWidth;
        int minimumHeight;
        WindowBox expected;
    } cases[] = {
        {"the list's rows suffice", {0, 0, 1600, 560}, {}, false, 600, 560, {500, 0, 600, 560}},
        {"too short: wider by the scroll bar",
         {0, 0, 1600, 500},
         {},
         true,
         616,
         500,
         {492, 0, 616, 500}},
        {"too narrow", {0, 0, 500, 1000}, {}, true, 500, 760, {0, 120, 500, 760}},
        {"too narrow and too short", {0, 0, 500, 400}, {}, true, 500, 400, {0, 0, 500, 400}},
        {"remembered larger, on a small screen beside another",
         {1600, 0, 1280, 480},
         WindowBox{0, 0, 3000, 2000},
         true,
         616,
         480,
         {1600, 0, 1280, 480}},
    };
    for (const auto& c : cases) {
        const WindowPlacement placement =
            PlaceMainWindow(600, 760, 200, c.available, c.remembered, 16);
        EXPECT_EQ(placement.scrolls, c.scrolls) << c.what;
        EXPECT_EQ(placement.minimumWidth, c.minimumWidth) << c.what;
        EXPECT_EQ(placement.minimumHeight, c.minimumHeight) << c.what;
        EXPECT_EQ(placement.box, c.expected)
            << c.what << ": " << placement.box.x << "," << placement.box.y << " "
            << placement.box.width << "x" << placement.box.height;
    }
}

TEST(WindowBoxStore, AbsentOrPartialGivesNoneAndAWrittenBoxReadsBack) {
    test::TempDir home;
    const std::string file = home.File("settings.ini");
    EXPECT_FALSE(LoadWindowBox(SettingsStore::ForFile(file)));
    {
        SettingsStore store = SettingsStore::ForFile(file);
        store.WriteInt("WindowX", 10);
        store.WriteInt("WindowY", 20);
        store.WriteInt("WindowWidth", 700);
        ASSERT_FALSE(store.Flush());
    }
    EXPECT_FALSE(LoadWindowBox(SettingsStore::ForFile(file))) << "no height";
    {
        SettingsStore store = SettingsStore::ForFile(file);
        SaveWindowBox(store, {-30, 20, 700, 0});
        ASSERT_FALSE(store.Flush());
    }
    EXPECT_FALSE(LoadWindowBox(SettingsStore::ForFile(file))) << "an empty box";
    {
        SettingsStore store = SettingsStore::ForFile(file);
        SaveWindowBox(store, {-30, 20, 700, 800});
        ASSERT_FALSE(store.Flush());
    }
    EXPECT_EQ(LoadWindowBox(SettingsStore::ForFile(file)), (WindowBox{-30, 20, 700, 800}));
}

}  // namespace
}  // namespace korvale
