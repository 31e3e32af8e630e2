// The overwrite question: texts, the default button, and the result of every way to end it.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

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

TEST(OverwriteDialog, TabFollowsTheTemplateOrder) {
    COverwriteInQDlg dialog("/out/photo.jpg");
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    EXPECT_EQ(test::TabChain(&dialog, 4), "6 5 7 2");
    EXPECT_EQ(test::TabChain(&dialog, 4, true), "7 5 6 2");
}

}  // namespace
}  // namespace korvale
