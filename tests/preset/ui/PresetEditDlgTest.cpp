// The preset list editor as a user drives it, with the item editor's answers scripted.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "DialogLayout.h"
#include "FocusChain.h"
#include "PresetEditDlg.h"
#include "PresetItemEditDlg.h"
#include "RecordingInteraction.h"

namespace korvale {
namespace {

using ui::FindControlAs;

PresetList Numbered(int count) {
    PresetList list;
    for (int i = 1; i <= count; ++i) {
        list.push_back({"p" + std::to_string(i), 32, 32, static_cast<uint32_t>(i)});
    }
    return list;
}

class ListEditor : public ::testing::Test {
protected:
    QTableWidget* List() { return FindControlAs<QTableWidget>(&dialog, 1047); }
    QPushButton* Button(int id) { return FindControlAs<QPushButton>(&dialog, id); }
    void Open(PresetList presets) {
        dialog.workingList = std::move(presets);
        dialog.show();
    }
    void Select(std::initializer_list<int> rows) {
        List()->clearSelection();
        for (int row : rows) {
            List()->selectionModel()->select(
                List()->model()->index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    std::vector<int> Selected() {
        std::vector<int> rows;
        for (const QModelIndex& index : List()->selectionModel()->selectedRows()) {
            rows.push_back(index.row());
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    // "No. name" of every row, and the working list's names, which must agree.
    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        for (int r = 0; r < List()->rowCount(); ++r) {
            rows.push_back(
                (List()->item(r, 0)->text() + " " + List()->item(r, 1)->text()).toStdString());
            EXPECT_EQ(List()->item(r, 1)->text().toStdString(), dialog.workingList[r].name);
        }
        EXPECT_EQ(static_cast<size_t>(List()->rowCount()), dialog.workingList.size());
        return rows;
    }
    // Add, Edit, Delete, Up, Down.
    std::vector<bool> Enabled() {
        std::vector<bool> enabled;
        for (int id : {1048, 1049, 1032, 1033, 1034}) {
            enabled.push_back(Button(id)->isEnabled());
        }
        return enabled;
    }
    // The item editor closes with OK and these values, or with Cancel when none are given.
    void ScriptEditor(std::optional<Preset> answer) {
        dialog.runItemEditor = [this, answer](CPresetItemEditDlg& editor) {
            editorOpened.push_back({editor.name, editor.width, editor.height, editor.dpi});
            editorAddMode.push_back(editor.addMode);
            if (answer) {
                editor.name = answer->name;
                editor.width = answer->width;
                editor.height = answer->height;
                editor.dpi = answer->dpi;
            }
            return answer.has_value();
        };
    }

    test::RecordingInteraction ui;
    CPresetEditDlg dialog{ui};
    PresetList editorOpened;
    std::vector<bool> editorAddMode;
};

TEST_F(ListEditor, ShowsEveryPresetInColumnsThatFillTheList) {
    Open({{"A4", 2480, 3508, 300}, {"Web", 1920, 1080, 0}});
    const char* const row0[] = {"1", "A4", "2480", "3508", "300"};
    for (int column = 0; column < 5; ++column) {
        EXPECT_EQ(List()->item(0, column)->text().toStdString(), row0[column]);
    }
    EXPECT_EQ(List()->item(1, 4)->text().toStdString(), "0");
    EXPECT_EQ(List()->horizontalHeaderItem(1)->text().toStdString(), "プリセット名");
    const int room = List()->contentsRect().width() -
                     List()->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, List());
    int total = 0;
    for (int column = 0; column < 5; ++column) {
        total += List()->columnWidth(column);
    }
    EXPECT_EQ(total, room);
    EXPECT_EQ(List()->columnWidth(0), room / 10);
    EXPECT_FALSE(List()->horizontalHeader()->sectionsClickable());
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(Enabled(), (std::vector<bool>{true, false, false, false, false}));
}

TEST_F(ListEditor, AddInsertsBeforeTheFirstSelectedRowAndTheSelectionMovesDown) {
    Open(Numbered(5));
    ScriptEditor(Preset{"new", 100, 200, 72});
    Select({3});
    Button(1048)->click();
    EXPECT_EQ(editorOpened, (PresetList{{"", 2480, 3508, 300}}));
    EXPECT_EQ(editorAddMode, std::vector<bool>{true});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1 p1", "2 p2", "3 p3", "4 new", "5 p4", "6 p5"}));
    EXPECT_EQ(dialog.workingList[3], (Preset{"new", 100, 200, 72}));
    EXPECT_EQ(Selected(), std::vector<int>{4});

    List()->clearSelection();
    Button(1048)->click();
    EXPECT_EQ(Rows().back(), "7 new");
}

TEST_F(ListEditor, AddGoesThroughTheItemEditor) {
    Open(Numbered(1));
    dialog.runItemEditor = [](CPresetItemEditDlg& editor) {
        editor.show();
        EXPECT_EQ(editor.windowTitle().toStdString(), "プリセット項目追加");
        FindControlAs<QLineEdit>(&editor, 1049)->setText("Letter");
        FindControlAs<QLineEdit>(&editor, 1011)->setText("216");
        FindControlAs<QLineEdit>(&editor, 1013)->setText("279");
        FindControlAs<QComboBox>(&editor, 1051)->setEditText("96");
        FindControlAs<QPushButton>(&editor, 1054)->click();
        FindControlAs<QPushButton>(&editor, 1)->click();
        return editor.result() == QDialog::Accepted;
    };
    Button(1048)->click();
    EXPECT_EQ(dialog.workingList.back(), (Preset{"Letter", 816, 1054, 96}));
}

TEST_F(ListEditor, EditKeepsThePositionTheNumberAndTheSelection) {
    Open(Numbered(3));
    ScriptEditor(Preset{"renamed", 64, 64, 600});
    Select({1});
    Button(1049)->click();
    EXPECT_EQ(editorOpened, (PresetList{{"p2", 32, 32, 2}}));
    EXPECT_EQ(editorAddMode, std::vector<bool>{false});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1 p1", "2 renamed", "3 p3"}));
    EXPECT_EQ(List()->item(1, 4)->text().toStdString(), "600");
    EXPECT_EQ(Selected(), std::vector<int>{1});
}

TEST_F(ListEditor, CancelledItemEditorChangesNothing) {
    Open(Numbered(3));
    ScriptEditor(std::nullopt);
    Select({1});
    Button(1048)->click();
    Button(1049)->click();
    EXPECT_EQ(editorOpened.size(), 2u);
    EXPECT_EQ(dialog.workingList, Numbered(3));
    EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(ListEditor, DeleteRemovesEverySelectedRowAndLeavesNoSelection) {
    Open(Numbered(5));
    Select({1, 3});
    EXPECT_EQ(Enabled(), (std::vector<bool>{true, false, true, false, false}));
    Button(1032)->click();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1 p1", "2 p3", "3 p5"}));
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(Enabled(), (std::vector<bool>{true, false, false, false, false}));
}

TEST_F(ListEditor, UpAndDownMoveThePresetAndTheSelectionFollows) {
    Open(Numbered(3));
    Select({1});
    Button(1033)->click();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1 p2", "2 p1", "3 p3"}));
    EXPECT_EQ(dialog.workingList[0], (Preset{"p2", 32, 32, 2}));
    EXPECT_EQ(Selected(), std::vector<int>{0});
    EXPECT_EQ(List()->currentIndex().row(), 0);
    EXPECT_EQ(Enabled(), (std::vector<bool>{true, true, true, false, true}));

    dialog.OnUp();  // at the top: nothing moves
    EXPECT_EQ(Rows().front(), "1 p2");
    Button(1034)->click();
    Button(1034)->click();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1 p1", "2 p3", "3 p2"}));
    EXPECT_EQ(Selected(), std::vector<int>{2});
    EXPECT_EQ(Enabled(), (std::vector<bool>{true, true, true, true, false}));
    dialog.OnDown();
    EXPECT_EQ(Rows().back(), "3 p2");
}

TEST_F(ListEditor, AddStopsAtWhatTheNextStartReadsBack) {
    Open(Numbered(static_cast<int>(kPresetLoadLimit)));
    ScriptEditor(Preset{"last", 32, 32, 0});
    EXPECT_FALSE(Button(1048)->isEnabled());
    EXPECT_FALSE(Button(1048)->toolTip().isEmpty());
    dialog.OnAdd();
    EXPECT_TRUE(editorOpened.empty());
    EXPECT_EQ(dialog.workingList.size(), kPresetLoadLimit);

    Select({0});
    Button(1032)->click();
    EXPECT_TRUE(Button(1048)->isEnabled());
    EXPECT_TRUE(Button(1048)->toolTip().isEmpty());
    Button(1048)->click();
    EXPECT_EQ(dialog.workingList.size(), kPresetLoadLimit);
    EXPECT_FALSE(Button(1048)->isEnabled());
}

// Runs EditPresets, acting on its list editor once the modal run has started; whatever `act`
// leaves open is closed, so the run always ends.
std::optional<PresetList> RunEditPresets(const PresetList& current,
                                         const std::function<void(CPresetEditDlg&)>& act) {
    test::RecordingInteraction ui;
    QTimer::singleShot(0, [&act] {
        if (auto* editor = qobject_cast<CPresetEditDlg*>(QApplication::activeModalWidget())) {
            act(*editor);
        }
        if (QWidget* open = QApplication::activeModalWidget()) {
            open->close();
        }
    });
    return EditPresets(nullptr, current, ui);
}

void Press(CPresetEditDlg& editor, int id) {
    FindControlAs<QPushButton>(&editor, id)->click();
}

TEST(EditPresets, HandsBackTheWorkingListOnlyOnOk) {
    const PresetList current = Numbered(3);
    auto deleteAll = [](CPresetEditDlg& editor) {
        FindControlAs<QTableWidget>(&editor, 1047)->selectAll();
        Press(editor, 1032);
    };
    EXPECT_EQ(RunEditPresets(current,
                             [&](CPresetEditDlg& editor) {
                                 deleteAll(editor);
                                 Press(editor, 2);
                             }),
              std::nullopt);
    EXPECT_EQ(RunEditPresets(current, deleteAll), std::nullopt);  // closed by the close box
    EXPECT_EQ(RunEditPresets(current, [](CPresetEditDlg& editor) { Press(editor, 1); }), current);
    EXPECT_EQ(RunEditPresets(current,
                             [&](CPresetEditDlg& editor) {
                                 deleteAll(editor);
                                 Press(editor, 1);
                             }),
              PresetList{});
}

TEST_F(ListEditor, TabReachesEveryButtonAndArrowsMoveTheSelection) {
    Open(Numbered(3));
    Select({1});
    Button(1)->setFocus();
    const std::string forward = "2 1047 1048 1049 1032 1033 1034 1";
    EXPECT_EQ(test::TabChain(&dialog, 8), forward);
    EXPECT_EQ(test::TabChain(&dialog, 8, true), "1034 1033 1032 1049 1048 1047 2 1");
    // The arrow keys move the selection within the list; Tab leaves it and keeps it.
    List()->setFocus();
    List()->setCurrentIndex(List()->model()->index(1, 0));
    QTest::keyClick(List(), Qt::Key_Down);
    EXPECT_EQ(Selected(), std::vector<int>{2});
    QTest::keyClick(List(), Qt::Key_Tab);
    EXPECT_EQ(dialog.focusWidget(), Button(1048));
    EXPECT_EQ(Selected(), std::vector<int>{2});
}

TEST_F(ListEditor, ButtonThatDisablesItselfHandsTheFocusToTheList) {
    const struct {
        int button;
        int row;
    } cases[] = {{1032, 1}, {1033, 1}, {1034, 1}};
    for (const auto& c : cases) {
        dialog.hide();  // showing again fills the list afresh
        Open(Numbered(3));
        QApplication::setActiveWindow(&dialog);
        Select({c.row});
        Button(c.button)->setFocus();
        QTest::keyClick(Button(c.button), Qt::Key_Space);
        ASSERT_FALSE(Button(c.button)->isEnabled()) << c.button;
        EXPECT_EQ(dialog.focusWidget(), List()) << c.button;
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Space);
        EXPECT_TRUE(dialog.isVisible()) << c.button;
    }
}

}  // namespace
}  // namespace korvale
