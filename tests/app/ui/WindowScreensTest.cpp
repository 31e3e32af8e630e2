// The main window on the screens people have: small screens at a high scale, a dark palette, and
// the file list's thumbnails on hovering. Run at display scales 1 and 2.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QPalette>
#include <QScrollArea>
#include <QTableView>
#include <QTest>
#include <QToolTip>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <mutex>

#include "DropListCtrl.h"
#include "FocusChain.h"
#include "KorvaleDlg.h"
#include "PreviewDlg.h"
#include "RecordingInteraction.h"
#include "SettingsStore.h"
#include "TestFiles.h"
#include "WindowPlacement.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

// Room for the whole window at any scale.
const QRect kLargeScreen(0, 0, 4000, 3000);

class WindowScreens : public ::testing::Test {
protected:
    WindowScreens() {
        fs::create_directories(home_.File("data"));
        const std::string presets = "\"A4 300dpi\",2480,3508,300\n";
        test::WriteFile(home_.File("data/KVPreset.csv"), {presets.begin(), presets.end()});
    }

    std::unique_ptr<CKorvaleDlg> Open(const QRect& area, std::vector<std::string> files = {}) {
        KorvaleEnvironment environment;
        environment.ui = &ui_;
        environment.settingsFile = home_.File("korvale.conf");
        environment.presetLocation = PresetLocation{home_.File("data"), {}};
        environment.availableArea = area;
        environment.commandLine = std::move(files);
        auto window = std::make_unique<CKorvaleDlg>(std::move(environment));
        window->show();
        QCoreApplication::processEvents();
        return window;
    }
    // A screen of `width` x `height` device pixels, in the window's pixels at this scale.
    static QRect Screen(int width, int height) {
        const double scale = qApp->devicePixelRatio();
        return QRect(0, 0, qRound(width / scale), qRound(height / scale));
    }
    std::string Bmp(const std::string& name) {
        const std::string path = home_.File(name);
        test::WriteFile(path, test::MakeBmp({}));
        return path;
    }

    test::TempDir home_;
    test::RecordingInteraction ui_;
};

QRect OnScreen(const QWidget* control) {
    return QRect(control->mapToGlobal(QPoint(0, 0)), control->size());
}

TEST_F(WindowScreens, RunAndCloseLieOnAScreenOf1600By1000Pixels) {
    const QRect area = Screen(1600, 1000);
    const auto window = Open(area);
    EXPECT_TRUE(area.contains(window->frameGeometry()))
        << window->frameGeometry().height() << " in " << area.height();
    EXPECT_TRUE(area.contains(window->geometry()));
    std::cout << "scale " << qApp->devicePixelRatio() << ": window " << window->width() << "x"
              << window->height() << " on " << area.width() << "x" << area.height()
              << (window->scrolls() ? ", scrolling" : "") << "\n";
    for (int id : {1013, 1014, 1069, 2, 1017, 1070, 1073}) {
        QWidget* control = window->Control(id);
        EXPECT_TRUE(control->isVisible()) << id;
        EXPECT_TRUE(area.contains(OnScreen(control))) << "control " << id;
        EXPECT_TRUE(window->rect().contains(control->geometry())) << "control " << id;
    }
}

TEST_F(WindowScreens, WhatScrollsKeepsTheTabOrderAndComesIntoSightWithTheFocus) {
    const auto whole = Open(kLargeScreen);
    ASSERT_FALSE(whole->scrolls());
    // Shorter than the window at its smallest at either scale.
    const QRect small(0, 0, 900, 360);
    const auto scrolled = Open(small);
    ASSERT_TRUE(scrolled->scrolls());
    EXPECT_TRUE(small.contains(scrolled->geometry()));
    EXPECT_EQ(scrolled->Control(2)->parentWidget(), scrolled.get());
    EXPECT_EQ(scrolled->Control(1013)->parentWidget(), scrolled.get());

    const auto* scroller = scrolled->findChild<QScrollArea*>();
    ASSERT_NE(scroller, nullptr);
    // The status line lies below the scrolled part, not under it.
    EXPECT_LE(scroller->geometry().bottom(), scrolled->Control(1023)->geometry().top());
    const QWidget* viewport = scroller->viewport();

    QApplication::setActiveWindow(whole.get());
    whole->Control(2)->setFocus();
    const std::string chain = test::TabChain(whole.get(), 40);
    QApplication::setActiveWindow(scrolled.get());
    scrolled->Control(2)->setFocus();
    EXPECT_EQ(test::TabChain(scrolled.get(), 40), chain);
    // Every stop in the scrolled part is brought into sight.
    scrolled->Control(2)->setFocus();
    for (int step = 0; step < 40; ++step) {
        QTest::keyClick(scrolled->focusWidget(), Qt::Key_Tab);
        QWidget* focus = scrolled->focusWidget();
        if (focus == nullptr || !viewport->isAncestorOf(focus)) {
            continue;
        }
        const QRect seen(focus->mapTo(viewport, QPoint(0, 0)), focus->size());
        EXPECT_TRUE(viewport->rect().intersects(seen)) << "control " << ui::ControlId(focus);
        if (focus->height() < viewport->height()) {
            EXPECT_TRUE(viewport->rect().contains(seen)) << "control " << ui::ControlId(focus);
        }
    }
}

TEST_F(WindowScreens, ABoxLeftOnAScreenNowGoneComesBackOnThisOne) {
    {
        SettingsStore store = SettingsStore::ForFile(home_.File("korvale.conf"));
        SaveWindowBox(store, {5000, -800, 700, 760});
        ASSERT_FALSE(store.Flush());
    }
    const QRect area(0, 0, 1400, 1000);
    const auto window = Open(area);
    EXPECT_TRUE(area.contains(window->geometry())) << window->x() << "," << window->y();
}

// WCAG's contrast ratio of two colours.
double Contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette DarkPalette() {
    QPalette dark;
    const QColor window(45, 45, 48);
    const QColor text(232, 232, 232);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, QColor(30, 30, 32));
    dark.setColor(QPalette::AlternateBase, QColor(40, 40, 44));
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, QColor(58, 58, 62));
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::ToolTipBase, QColor(20, 20, 20));
    dark.setColor(QPalette::ToolTipText, text);
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Light, QColor(80, 80, 84));
    dark.setColor(QPalette::Midlight, QColor(66, 66, 70));
    dark.setColor(QPalette::Dark, QColor(20, 20, 22));
    dark.setColor(QPalette::Mid, QColor(35, 35, 38));
    dark.setColor(QPalette::Shadow, Qt::black);
    return dark;
}

class DarkPaletteScope {
public:
    DarkPaletteScope() : old_(QApplication::palette()) { QApplication::setPalette(DarkPalette()); }
    ~DarkPaletteScope() { QApplication::setPalette(old_); }

private:
    QPalette old_;
};

TEST_F(WindowScreens, ADarkPaletteKeepsTextsTheSwatchAndThePreviewReadable) {
    DarkPaletteScope dark;
    const auto window = Open(kLargeScreen, {Bmp("a.bmp")});
    // Every text in the colours of its own role, never a fixed dark one.
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (!control->isVisible() || ui::ControlId(control) == 0) {
            continue;
        }
        const QPalette& palette = control->palette();
        const double contrast = Contrast(palette.color(control->foregroundRole()),
                                         palette.color(control->backgroundRole()));
        EXPECT_GE(contrast, 4.5) << "control " << ui::ControlId(control);
    }
    auto* list = window->ControlAs<QTableView>(1012);
    EXPECT_GE(
        Contrast(list->palette().color(QPalette::Text), list->palette().color(QPalette::Base)),
        4.5);

    // A black margin colour on a dark window: the swatch's edge still shows.
    ui_.chosenColour = Rgb{0, 0, 0};
    window->ChooseMarginColour();
    QWidget* swatch = window->Control(1027);
    const QImage drawn = swatch->grab().toImage();
    const auto* frame = qobject_cast<QFrame*>(swatch);
    ASSERT_NE(frame, nullptr);
    const double ratio = drawn.width() / static_cast<double>(swatch->width());
    const QPoint inside = frame->contentsRect().topLeft() * ratio;
    const QPoint centre = frame->contentsRect().center() * ratio;
    EXPECT_EQ(drawn.pixelColor(centre), QColor(Qt::black));
    EXPECT_GE(Contrast(drawn.pixelColor(inside), window->palette().color(QPalette::Window)), 3.0);

    // The preview draws on the window's colour, and its line in the text colour.
    CPreviewDlg preview(nullptr);
    preview.show();
    preview.ShowText("ファイルがありません。");
    QCoreApplication::processEvents();
    const QImage shown = preview.grab().toImage();
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 3),
              preview.palette().color(QPalette::Window));
    for (const QLabel* label : preview.findChildren<QLabel*>()) {
        EXPECT_GE(Contrast(label->palette().color(label->foregroundRole()),
                           label->palette().color(label->backgroundRole())),
                  4.5);
    }
}

TEST_F(WindowScreens, HoveringARowShowsItsPathAndThumbnailWithoutWaitingForIt) {
    std::vector<std::string> files;
    for (int i = 0; i < 30; ++i) {
        files.push_back(Bmp((i < 10 ? "r&d 0" : "r&d ") + std::to_string(i) + ".bmp"));
    }
    const auto window = Open(kLargeScreen, files);
    auto* list = window->ControlAs<CDropListCtrl>(1012);
    ASSERT_NE(list, nullptr);

    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    std::vector<std::string> made;
    list->EnableThumbnails(
        [&](const std::string& path, int side) {
            std::unique_lock<std::mutex> lock(mutex);
            made.push_back(path);
            changed.notify_all();
            changed.wait(lock, [&] { return release; });
            QImage image(side, side / 2, QImage::Format_RGBA8888);
            image.fill(Qt::darkCyan);
            return std::optional<QImage>(image);
        },
        home_.File("thumbnails"));
    const auto hover = [&](int row) {
        const QPoint at = list->visualRect(list->model()->index(row, 1)).center();
        QHelpEvent event(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &event);
    };
    // The window answers every hover while the first thumbnail is still being made.
    hover(0);
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return !made.empty(); });
    }
    for (int row = 0; row < 30; ++row) {
        hover(row);
        EXPECT_EQ(list->ToolTipOf(row).toStdString(),
                  QFile::decodeName(QByteArray::fromStdString(files[static_cast<size_t>(row)]))
                      .toStdString());
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    changed.notify_all();
    for (int i = 0; i < 500 && !list->ToolTipOf(29).contains(QStringLiteral("<img")); ++i) {
        QTest::qWait(10);
    }
    const QString tip = list->ToolTipOf(29);
    EXPECT_TRUE(tip.contains(QStringLiteral("<img src=\"data:image/png;base64,")));
    EXPECT_TRUE(tip.contains(QStringLiteral("width=\"256\" height=\"128\"")));
    EXPECT_TRUE(tip.contains(QStringLiteral("r&amp;d 29.bmp")));
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(made, (std::vector<std::string>{files[0], files[29]}));
    }
    // The tooltip draws the picture itself, not only names it.
    hover(29);
    QWidget* tipLabel = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->inherits("QTipLabel") && top->isVisible()) {
            tipLabel = top;
        }
    }
    ASSERT_NE(tipLabel, nullptr);
    const QImage drawnTip = tipLabel->grab().toImage();
    int cyan = 0;
    for (int y = 0; y < drawnTip.height(); ++y) {
        for (int x = 0; x < drawnTip.width(); ++x) {
            cyan += drawnTip.pixelColor(x, y) == QColor(Qt::darkCyan) ? 1 : 0;
        }
    }
    const double ratio = drawnTip.width() / static_cast<double>(tipLabel->width());
    EXPECT_GE(cyan, static_cast<int>(256 * 128 * ratio * ratio * 0.9));
    EXPECT_EQ(std::distance(fs::directory_iterator(home_.File("thumbnails/large")),
                            fs::directory_iterator()),
              2);
}

}  // namespace
}  // namespace korvale
