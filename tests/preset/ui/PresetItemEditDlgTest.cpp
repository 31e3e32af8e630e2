// The preset item editor as a user drives it: its fields, the calculation helpers, the name
// limit and the checks at OK.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "DialogLayout.h"
#include "FieldValidation.h"
#include "FocusChain.h"
#include "MessageWords.h"
#include "PresetItemEditDlg.h"
#include "RecordingInteraction.h"
#include "SpinButton.h"

namespace korvale {
namespace {

using namespace std::string_literals;
using ui::FindControlAs;

class ItemEditor : public ::testing::Test {
protected:
    QLineEdit* Field(int id) { return FindControlAs<QLineEdit>(&dialog, id); }
    std::string Text(int id) { return Field(id)->text().toStdString(); }
    void SetText(int id, const char* text) { Field(id)->setText(QString::fromUtf8(text)); }
    QComboBox* Combo(int id) { return FindControlAs<QComboBox>(&dialog, id); }
    void Click(int id) { FindControlAs<QAbstractButton>(&dialog, id)->click(); }
    // One key event per character, as a keyboard or an input method delivers them.
    void Type(int id, const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(Field(id), &press);
        }
    }
    std::vector<std::string> Pixels() { return {Text(1007), Text(1008), Text(1020)}; }

    test::RecordingInteraction ui;
    CPresetItemEditDlg dialog{ui};
};

TEST_F(ItemEditor, OpensForAddWithDefaultsAndTheToolsAtTheirStart) {
    dialog.addMode = true;
    dialog.show();
    EXPECT_EQ(dialog.windowTitle().toStdString(), "プリセット項目追加");
    EXPECT_EQ(Text(1049), "");
    EXPECT_EQ(Pixels(), (std::vector<std::string>{"2480", "3508", "300"}));
    EXPECT_EQ(Text(1011), "210");
    EXPECT_EQ(Text(1013), "297");
    EXPECT_EQ(Combo(1051)->currentText().toStdString(), "300");
    EXPECT_EQ(Combo(1050)->currentText().toStdString(), "A4");
    EXPECT_EQ(Combo(1050)->count(), 21);
    EXPECT_TRUE(FindControlAs<QRadioButton>(&dialog, 1052)->isChecked());
    EXPECT_TRUE(Combo(1051)->isEditable());
    EXPECT_FALSE(Combo(1050)->isEditable());
    EXPECT_EQ(FindControlAs<QPushButton>(&dialog, 1054)->text().toStdString(), "<= 適用   ");
    const struct {
        int id, minimum, maximum;
    } spins[] = {
        {1009, 32, 65535}, {1010, 32, 65535}, {1021, 0, 10000}, {1012, 1, 3000}, {1014, 1, 3000}};
    for (const auto& s : spins) {
        const auto* spin = FindControlAs<ui::SpinButton>(&dialog, s.id);
        ASSERT_NE(spin, nullptr) << s.id;
        EXPECT_EQ(std::make_pair(spin->minimum(), spin->maximum()),
                  std::make_pair(s.minimum, s.maximum))
            << s.id;
    }
}

TEST_F(ItemEditor, OpensForEditWithThePresetWhileTheToolsStartOver) {
    dialog.name = "葉書";
    dialog.width = 1181;
    dialog.height = 1748;
    dialog.dpi = 0;
    dialog.show();
    SetText(1011, "100");
    FindControlAs<QRadioButton>(&dialog, 1053)->setChecked(true);
    dialog.reject();
    dialog.show();  // a second run starts from the tools' initial values again
    EXPECT_EQ(dialog.windowTitle().toStdString(), "プリセット項目編集");
    EXPECT_EQ(Text(1049), "葉書");
    EXPECT_EQ(Pixels(), (std::vector<std::string>{"1181", "1748", "0"}));
    EXPECT_EQ(Text(1011), "210");
    EXPECT_TRUE(FindControlAs<QRadioButton>(&dialog, 1052)->isChecked());
}

TEST_F(ItemEditor, ApplyMillimetresWritesPixelsAndTheDpi) {
    dialog.show();
    Click(1054);
    EXPECT_EQ(Pixels(), (std::vector<std::string>{"2480", "3508", "300"}));
    SetText(1011, "216");
    SetText(1013, "279");
    Combo(1051)->setEditText("96");
    Click(1054);
    EXPECT_EQ(Pixels(), (std::vector<std::string>{"816", "1054", "96"}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ItemEditor, ApplyMillimetresRefusalKeepsThePixelsAndFocusesTheField) {
    dialog.show();
    const struct {
        const char *mmWidth, *dpi;
        int focus;
        const char* message;
    } cases[] = {
        {"210", "0", 1051, "計算用DPIは 1～10000 の範囲で指定してください。"},
        {"210", "10001", 1051, "計算用DPIは 1～10000 の範囲で指定してください。"},
        {"", "300", 1011, "幅(mm)は 1～3000 の範囲で指定してください。"},
    };
    for (const auto& c : cases) {
        ui.messages.clear();
        SetText(1011, c.mmWidth);
        Combo(1051)->setEditText(c.dpi);
        Click(1054);
        EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{c.message}) << c.dpi;
        QWidget* focus = dialog.focusWidget();
        EXPECT_TRUE(focus == FindControlAs<QWidget>(&dialog, c.focus) ||
                    focus == Combo(c.focus)->lineEdit())
            << c.focus;
        EXPECT_EQ(Pixels(), (std::vector<std::string>{"2480", "3508", "300"}));
    }
}

TEST_F(ItemEditor, ApplyPaperFillsMillimetresInTheChosenOrientation) {
    dialog.show();
    Combo(1050)->setCurrentIndex(Combo(1050)->findText("B5"));
    FindControlAs<QRadioButton>(&dialog, 1053)->setChecked(true);
    Click(1055);
    EXPECT_EQ(std::make_pair(Text(1011), Text(1013)), std::make_pair("257"s, "182"s));
    FindControlAs<QRadioButton>(&dialog, 1052)->setChecked(true);
    Click(1055);
    EXPECT_EQ(std::make_pair(Text(1011), Text(1013)), std::make_pair("182"s, "257"s));
    EXPECT_EQ(Pixels(), (std::vector<std::string>{"2480", "3508", "300"}));

    Combo(1050)->setCurrentIndex(-1);
    Click(1055);
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"用紙を選択してください。"});
    EXPECT_EQ(dialog.focusWidget(), Combo(1050));
}

TEST_F(ItemEditor, OkRefusesTheRangeBeforeTheEmptyNameAndStaysOpen) {
    dialog.show();
    SetText(1011, "1");
    SetText(1013, "1");
    Combo(1051)->setEditText("1");
    Click(1054);
    EXPECT_EQ(Pixels(), (std::vector<std::string>{"0", "0", "1"}));
    Click(1);
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{Japanese(PromptIntegerRange(32, 65535))});
    EXPECT_EQ(dialog.focusWidget(), Field(1007));
    EXPECT_TRUE(dialog.isVisible());

    ui.messages.clear();
    SetText(1007, "32");
    SetText(1008, "32");
    Click(1);
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"プリセット名を設定してください。"});
    EXPECT_EQ(dialog.focusWidget(), Field(1049));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.width, 2480u);  // nothing stored while refused
}

TEST_F(ItemEditor, OkStoresTheFieldsAndAcceptsDpiZero) {
    dialog.show();
    Type(1049, "名刺");
    SetText(1020, "0");
    QTest::keyClick(Field(1049), Qt::Key_Return);  // Enter in a field presses OK
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ((Preset{dialog.name, dialog.width, dialog.height, dialog.dpi}),
              (Preset{"名刺", 2480, 3508, 0}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ItemEditor, CancelAndEscapeLeaveTheMembers) {
    dialog.name = "A4";
    for (bool escape : {false, true}) {
        dialog.show();
        SetText(1049, "changed");
        SetText(1007, "100");
        if (!escape) {
            Click(2);
        } else {
            QTest::keyClick(Field(1007), Qt::Key_Escape);
        }
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.name, "A4");
        EXPECT_EQ(dialog.width, 2480u);
    }
}

TEST_F(ItemEditor, EnterInTheDpiBoxPressesOkWithoutAddingAChoice) {
    dialog.show();
    Combo(1051)->setEditText("250");
    QTest::keyClick(Combo(1051)->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(Combo(1051)->count(), 14);
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"プリセット名を設定してください。"});
}

TEST_F(ItemEditor, NameTakesAtMost40BytesOfWholeCharacters) {
    dialog.show();
    Type(1049, QString(41, 'a'));
    EXPECT_EQ(Text(1049), std::string(40, 'a'));

    SetText(1049, "");
    Type(1049, QStringLiteral("あいうえおかきくけこさしすせそ"));
    EXPECT_EQ(Text(1049), "あいうえおかきくけこさしす");  // 13 characters, 39 bytes

    // A paste in the middle keeps the text around it and cuts only what was pasted.
    SetText(1049, "ab");
    Field(1049)->setCursorPosition(1);
    Field(1049)->insert(QString(36, 'x') + QStringLiteral("漢字"));
    EXPECT_EQ(Text(1049), "a" + std::string(36, 'x') + "b");
    Field(1049)->setCursorPosition(37);
    Field(1049)->insert(QStringLiteral("y𠀋"));  // a four-byte character beyond the limit
    EXPECT_EQ(Text(1049), "a" + std::string(36, 'x') + "yb");
}

TEST_F(ItemEditor, LongerStoredNameIsShownWholeButRefusedAtOk) {
    const std::string stored(60, 'n');
    dialog.name = stored;
    dialog.show();
    EXPECT_EQ(Text(1049), stored);
    Type(1049, "z");
    EXPECT_EQ(Text(1049), stored);
    Click(1);
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{Japanese(PromptMaxBytes(40))});
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(ItemEditor, TabFollowsTheTemplateOrder) {
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    FindControlAs<QWidget>(&dialog, 1)->setFocus();
    EXPECT_EQ(test::TabChain(&dialog, 13),
              "2 1049 1007 1008 1020 1011 1013 1051 1054 1050 1052 1055 1");
    EXPECT_EQ(test::TabChain(&dialog, 13, true),
              "1055 1052 1050 1054 1051 1013 1011 1020 1008 1007 1049 2 1");
}

}  // namespace
}  // namespace korvale
