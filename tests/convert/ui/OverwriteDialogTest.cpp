// The overwrite question: texts, the default button, and the result of every way to end it.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <string>

#include "DialogLayout.h"
#include "FocusChain.h"
#include "OverwriteDialog.h"
#include "UserInteraction.h"

namespace korvale {
namespace {

TEST(OverwriteDialog, ShowsThePathWithCancelAsDefaultHoldingTheFocus) {
    COverwriteInQDlg dialog("/out/photo.jpg");
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    EXPECT_EQ(dialog.windowTitle(), "上書き確認");
    auto* path = ui::FindControlAs<QLabel>(&dialog, 1028);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->text().remove(QChar(0x200B)), "/out/photo.jpg");
    const struct {
        int id;
        const char* text;
    } buttons[] = {{2, "キャンセル"}, {6, "上書き"}, {5, "全て上書き"}, {7, "スキップ"}};
    for (const auto& b : buttons) {
        auto* button = ui::FindControlAs<QPushButton>(&dialog, b.id);
        ASSERT_NE(button, nullptr) << b.id;
        EXPECT_EQ(button->text().toStdString(), b.text);
        EXPECT_EQ(button->isDefault(), b.id == 2) << b.id;
    }
    EXPECT_EQ(dialog.focusWidget(), dialog.cancelButton());
    EXPECT_EQ(dialog.findChildren<QLabel*>().size(), 2);
}

TEST(OverwriteDialog, SkipAllIsAFifthButtonRightOfTheOthers) {
    COverwriteInQDlg dialog("/out/photo.jpg");
    dialog.show();
    auto* skipAll = ui::FindControlAs<QPushButton>(&dialog, 8);
    ASSERT_NE(skipAll, nullptr);
    EXPECT_EQ(skipAll->text().toStdString(), "全てスキップ");
    EXPECT_FALSE(skipAll->isDefault());
    EXPECT_FALSE(skipAll->autoDefault());
    for (int id : {6, 5, 7, 2}) {
        const QRect other = ui::FindControlAs<QPushButton>(&dialog, id)->geometry();
        EXPECT_GT(skipAll->geometry().left(), other.right()) << id;
        EXPECT_EQ(skipAll->geometry().top(), other.top()) << id;
    }
    EXPECT_TRUE(dialog.rect().contains(skipAll->geometry()));
    EXPECT_EQ(dialog.findChildren<QPushButton*>().size(), 5);
}

TEST(OverwriteDialog, EveryWayOfEndingGivesItsChoice) {
    const struct {
        const char* name;
        std::function<void(COverwriteInQDlg&)> act;
        OverwriteChoice expected;
    } cases[] = {
        {"overwrite",
         [](COverwriteInQDlg& d) {
             QTest::mouseClick(ui::FindControlAs<QPushButton>(&d, 6), Qt::LeftButton);
         },
         OverwriteChoice::Overwrite},
        {"overwrite all",
         [](COverwriteInQDlg& d) {
             QTest::mouseClick(ui::FindControlAs<QPushButton>(&d, 5), Qt::LeftButton);
         },
         OverwriteChoice::OverwriteAll},
        {"skip",
         [](COverwriteInQDlg& d) {
             QTest::mouseClick(ui::FindControlAs<QPushButton>(&d, 7), Qt::LeftButton);
         },
         OverwriteChoice::Skip},
        {"skip all",
         [](COverwriteInQDlg& d) {
             QTest::mouseClick(ui::FindControlAs<QPushButton>(&d, 8), Qt::LeftButton);
         },
         OverwriteChoice::SkipAll},
        {"cancel",
         [](COverwriteInQDlg& d) {
             QTest::mouseClick(ui::FindControlAs<QPushButton>(&d, 2), Qt::LeftButton);
         },
         OverwriteChoice::Cancel},
        {"enter right away", [](COverwriteInQDlg& d) { QTest::keyClick(&d, Qt::Key_Return); },
         OverwriteChoice::Cancel},
        {"escape", [](COverwriteInQDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); },
         OverwriteChoice::Cancel},
        {"close box", [](COverwriteInQDlg& d) { d.close(); }, OverwriteChoice::Cancel},
    };
    for (const auto& c : cases) {
        COverwriteInQDlg dialog("/out/a.bmp");
        dialog.setResult(-1);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        c.act(dialog);
        EXPECT_FALSE(dialog.isVisible()) << c.name;
        EXPECT_EQ(dialog.result(), static_cast<int>(c.expected)) << c.name;
    }
}

// A path of `folders` folders of `folderLength` letters each, ending in `name`.
std::string LongPath(int folders, int folderLength, const std::string& name) {
    std::string path;
    for (int i = 0; i < folders; ++i) {
        path +=
            "/" + std::string(static_cast<size_t>(folderLength), static_cast<char>('a' + i % 26));
    }
    return path + "/" + name;
}

TEST(OverwriteDialog, LongPathsKeepTheFileNameVisibleAndClearOfTheButtons) {
    const std::string name = "写真_2026-12-07_最終版.jpg";
    const struct {
        const char* what;
        std::string path;
        bool elided;
    } cases[] = {
        {"fits the template", "/out/photo.jpg", false},
        {"200 characters", LongPath(12, 14, name), false},
        {"one long name", "/out/" + std::string(200, 'n') + ".jpg", false},
        {"4000 characters", LongPath(200, 19, name), true},
    };
    COverwriteInQDlg reference("/out/photo.jpg");
    const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size();
    for (const auto& c : cases) {
        COverwriteInQDlg dialog(c.path);
        dialog.show();
        auto* label = ui::FindControlAs<QLabel>(&dialog, 1028);
        const QStringList lines = label->text().split(QLatin1Char('\n'));
        const QString shown = lines.join(QString());
        const QString file = QString::fromStdString(c.path).section(QLatin1Char('/'), -1);
        EXPECT_TRUE(shown.endsWith(QLatin1Char('/') + file)) << c.what;
        EXPECT_EQ(shown == QString::fromStdString(c.path), !c.elided) << c.what;
        EXPECT_EQ(label->toolTip().isEmpty(), !c.elided) << c.what;
        // Every line fits the label, and the label ends above every button.
        for (const QString& line : lines) {
            EXPECT_LE(label->fontMetrics().horizontalAdvance(line), label->width()) << c.what;
        }
        EXPECT_GE(label->height(),
                  static_cast<int>(lines.size()) * label->fontMetrics().lineSpacing())
            << c.what;
        for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
            EXPECT_LT(label->geometry().bottom(), button->geometry().top()) << c.what;
            EXPECT_TRUE(dialog.rect().contains(button->geometry())) << c.what;
        }
        if (!c.path.empty() && c.path.size() < 20) {
            EXPECT_EQ(dialog.size(), reference.size()) << c.what;
        }
        EXPECT_LE(dialog.width(), std::max(reference.width(), room.width() * 2 / 3)) << c.what;
        EXPECT_LE(dialog.height(), std::max(reference.height(), room.height() / 2)) << c.what;
    }
}

TEST(OverwriteDialog, TabFollowsTheTemplateOrder) {
    COverwriteInQDlg dialog("/out/photo.jpg");
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    EXPECT_EQ(test::TabChain(&dialog, 5), "6 5 7 8 2");
    EXPECT_EQ(test::TabChain(&dialog, 5, true), "8 7 5 6 2");
}

}  // namespace
}  // namespace korvale
