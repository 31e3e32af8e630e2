// The Qt side of the seam: when a run's end is told to the desktop, and the completion box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "MessageBox.h"
#include "QtInteraction.h"

namespace korvale {
namespace {

struct RecordingNotifier : DesktopNotifier {
    explicit RecordingNotifier(std::vector<std::string>& sent) : sent_(sent) {}
    void Notify(const std::string& title, const std::string& body) override {
        sent_.push_back(title + ": " + body);
    }
    std::vector<std::string>& sent_;
};

TEST(QtInteraction, OnlyALongRunThatEndsWhileTheWindowIsInactiveIsToldToTheDesktop) {
    const struct {
        const char* name;
        bool active;
        double seconds;
        bool told;
    } cases[] = {
        {"long, elsewhere", false, 10.5, true},
        {"short, elsewhere", false, 9.9, false},
        {"exactly ten seconds", false, 10.0, false},
        {"long, watched", true, 60.0, false},
    };
    for (const auto& c : cases) {
        QWidget window;
        QWidget other;
        window.show();
        other.show();
        QApplication::setActiveWindow(c.active ? &window : &other);
        std::vector<std::string> sent;
        QtInteraction ui(&window, std::make_unique<RecordingNotifier>(sent));
        ui.NotifyRunEnded("変換が完了しました（変換 3 件、スキップ 0 件）。", c.seconds);
        EXPECT_EQ(sent.size(), c.told ? 1u : 0u) << c.name;
        if (c.told) {
            EXPECT_EQ(sent[0], "Korvale: 変換が完了しました（変換 3 件、スキップ 0 件）。");
        }
    }
}

// Clicks the button with `text` of the message box that opens next.
void ClickInNextBox(const QString& text) {
    QTimer::singleShot(0, [text] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible()) {
                for (QAbstractButton* button : box->buttons()) {
                    if (button->text() == text) {
                        button->click();
                        return;
                    }
                }
            }
        }
    });
}

TEST(CompletionBox, SaysDoneWithTheCountsAndOffersTheFolder) {
    ClickInNextBox(QStringLiteral("フォルダを開く"));
    EXPECT_TRUE(ui::ShowCompletionBox(nullptr, "完了", "変換 2 件、スキップ 1 件"));
    ClickInNextBox(QStringLiteral("OK"));
    EXPECT_FALSE(ui::ShowCompletionBox(nullptr, "完了", "変換 2 件、スキップ 1 件"));
}

}  // namespace
}  // namespace korvale
