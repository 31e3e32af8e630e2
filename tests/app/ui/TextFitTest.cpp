// Every text of every window shows whole: each label, button, radio, check box, group title,
// list entry and column heading fits the area its style draws it in, with both Japanese faces.
// CTest runs this at several scale factors (QT_SCALE_FACTOR), in Japanese and in English (LANG).
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTableWidget>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>

#include "AboutDlg.h"
#include "DialogLayout.h"
#include "KorvaleDlg.h"
#include "OverwriteDialog.h"
#include "PresetEditDlg.h"
#include "PresetItemEditDlg.h"
#include "PreviewDlg.h"
#include "RecordingInteraction.h"
#include "TestFiles.h"
#include "UiTranslation.h"

namespace korvale {
namespace {

QString Describe(const QWidget* control, const QString& text, const QSize& need,
                 const QSize& room) {
    return QStringLiteral("%1 %2 \"%3\": needs %4x%5, has %6x%7")
        .arg(QString::fromLatin1(control->metaObject()->className()), control->objectName(), text)
        .arg(need.width())
        .arg(need.height())
        .arg(room.width())
        .arg(room.height());
}

bool Fits(const QSize& need, const QSize& room) {
    return need.width() <= room.width() && need.height() <= room.height();
}

QStyleOptionButton ButtonOption(const QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (const auto* push = qobject_cast<const QPushButton*>(button)) {
        if (push->autoDefault()) {
            option.features |= QStyleOptionButton::AutoDefaultButton;
        }
        if (push->isDefault()) {
            option.features |= QStyleOptionButton::DefaultButton;
        }
    }
    return option;
}

void CheckButton(const QAbstractButton* button, QStringList& clipped) {
    if (button->text().isEmpty()) {
        return;
    }
    const QStyleOptionButton option = ButtonOption(button);
    const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
    QStyle* style = button->style();
    QRect room;
    if (qobject_cast<const QPushButton*>(button) != nullptr) {
        room = style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    } else {
        const bool radio = qobject_cast<const QRadioButton*>(button) != nullptr;
        room = style->subElementRect(
            radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option, button);
        const QRect indicator = style->subElementRect(
            radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &option,
            button);
        if (!button->rect().contains(indicator)) {
            clipped << Describe(button, QStringLiteral("(indicator)"), indicator.size(),
                                button->size());
        }
    }
    if (!Fits(text, room.size())) {
        clipped << Describe(button, button->text(), text, room.size());
    }
}

void CheckLabel(const QLabel* label, QStringList& clipped) {
    if (label->text().isEmpty() || label->wordWrap()) {
        return;
    }
    const QFontMetrics metrics = label->fontMetrics();
    QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                -label->margin());
    const int indent = label->indent() >= 0      ? label->indent()
                       : label->frameWidth() > 0 ? metrics.horizontalAdvance(QLatin1Char('x')) / 2
                                                 : 0;
    room.setWidth(room.width() - indent);
    const QSize text = metrics.size(0, label->text());
    if (!Fits(text, room.size())) {
        clipped << Describe(label, label->text(), text, room.size());
    }
}

void CheckCombo(const QComboBox* combo, QStringList& clipped) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    option.subControls = QStyle::SC_All;
    // The label is drawn one pixel in from each side of the field.
    const QRect room =
        combo->style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
            .adjusted(1, 0, -1, 0);
    const QFontMetrics metrics = combo->fontMetrics();
    for (int i = 0; i < combo->count(); ++i) {
        const QSize text(metrics.horizontalAdvance(combo->itemText(i)), metrics.height());
        if (!Fits(text, room.size())) {
            clipped << Describe(combo, combo->itemText(i), text, room.size());
        }
    }
}

void CheckGroup(const QGroupBox* group, QStringList& clipped) {
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect title = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                       QStyle::SC_GroupBoxLabel, group);
    if (!group->rect().contains(title)) {
        clipped << Describe(group, group->title(), title.size(), group->size());
    }
}

void CheckTable(const QTableView* view, QStringList& clipped) {
    const QHeaderView* header = view->horizontalHeader();
    QAbstractItemModel* model = view->model();
    if (model == nullptr) {
        return;
    }
    const int cellMargin =
        2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
    for (int column = 0; column < model->columnCount(); ++column) {
        if (!header->isHidden()) {
            QStyleOptionHeader option;
            option.initFrom(header);
            option.section = column;
            option.text = model->headerData(column, Qt::Horizontal).toString();
            option.textAlignment = header->defaultAlignment();
            const QSize need = header->style()->sizeFromContents(QStyle::CT_HeaderSection, &option,
                                                                 QSize(), header);
            const QSize room(header->sectionSize(column), header->height());
            if (!Fits(need, room)) {
                clipped << Describe(header, option.text, need, room);
            }
        }
        for (int row = 0; row < model->rowCount(); ++row) {
            const QString text = model->index(row, column).data().toString();
            const QSize need(view->fontMetrics().horizontalAdvance(text) + cellMargin,
                             view->fontMetrics().height());
            const QSize room(view->columnWidth(column), view->rowHeight(row));
            if (!Fits(need, room)) {
                clipped << Describe(view, text, need, room);
            }
        }
    }
}

// The radios of one group lie inside the frame that holds the first of them.
void CheckRadioGroups(const QWidget* window, QStringList& clipped) {
    const QList<QGroupBox*> frames = window->findChildren<QGroupBox*>();
    for (const QButtonGroup* radios : window->findChildren<QButtonGroup*>()) {
        const QList<QAbstractButton*> buttons = radios->buttons();
        if (buttons.isEmpty()) {
            continue;
        }
        const QPoint first = buttons.front()->geometry().center();
        for (const QGroupBox* frame : frames) {
            if (frame->parentWidget() != buttons.front()->parentWidget() ||
                !frame->geometry().contains(first)) {
                continue;
            }
            for (const QAbstractButton* button : buttons) {
                if (!frame->geometry().contains(button->geometry())) {
                    clipped << Describe(button, button->text(), button->size(), frame->size()) +
                                   QStringLiteral(" outside ") + frame->title();
                }
            }
        }
    }
}

QStringList ClippedTexts(const QWidget* window) {
    QStringList clipped;
    for (const QWidget* control : window->findChildren<QWidget*>()) {
        if (control->isHidden() || control->isWindow()) {
            continue;
        }
        if (control->parentWidget() == window && !window->rect().contains(control->geometry())) {
            clipped << Describe(control, QStringLiteral("(outside the window)"), control->size(),
                                window->size());
        }
        if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
            CheckButton(button, clipped);
        } else if (const auto* label = qobject_cast<const QLabel*>(control)) {
            CheckLabel(label, clipped);
        } else if (const auto* combo = qobject_cast<const QComboBox*>(control)) {
            CheckCombo(combo, clipped);
        } else if (const auto* group = qobject_cast<const QGroupBox*>(control)) {
            CheckGroup(group, clipped);
        } else if (const auto* table = qobject_cast<const QTableView*>(control)) {
            CheckTable(table, clipped);
        }
    }
    CheckRadioGroups(window, clipped);
    return clipped;
}

class EveryWindow : public ::testing::TestWithParam<const char*> {
protected:
    EveryWindow() {
        std::filesystem::create_directories(home_.File("data"));
        test::WriteFile(home_.File("data/KVPreset.csv"),
                        Bytes("\"A4 300dpi\",2480,3508,300\n\"Small\",640,480,72\n"));
    }
    ~EveryWindow() override { ui::PreferDialogFontFamily({}); }

    static test::Bytes Bytes(const std::string& text) { return {text.begin(), text.end()}; }

    // Each window as a user first sees it.
    std::vector<std::pair<const char*, std::function<std::unique_ptr<QWidget>()>>> Windows() {
        return {
            {"main window",
             [this] {
                 KorvaleEnvironment environment;
                 environment.ui = &ui_;
                 environment.settingsFile = home_.File("settings.ini");
                 environment.presetLocation = PresetLocation{home_.File("data"), {}};
                 // At the template's size, whatever the test screen's size.
                 environment.availableArea = QRect(0, 0, 4000, 3000);
                 return std::make_unique<CKorvaleDlg>(std::move(environment));
             }},
            {"about box", [] { return std::make_unique<CAboutDlg>(); }},
            {"overwrite question",
             [this] { return std::make_unique<COverwriteInQDlg>(home_.File("out/a.jpg")); }},
            {"preset list editor",
             [this] {
                 auto editor = std::make_unique<CPresetEditDlg>(ui_);
                 editor->workingList = {{"A4 300dpi", 2480, 3508, 300}, {"Small", 640, 480, 72}};
                 return editor;
             }},
            {"preset item editor", [this] { return std::make_unique<CPresetItemEditDlg>(ui_); }},
            {"preview", [] { return std::make_unique<CPreviewDlg>(nullptr); }},
        };
    }

    test::TempDir home_;
    test::RecordingInteraction ui_;
};

TEST_P(EveryWindow, EveryTextFitsItsControl) {
    const QString family = QString::fromUtf8(GetParam());
    if (!QFontDatabase::families().contains(family)) {
        GTEST_SKIP() << GetParam() << " is not installed; its texts are not checked";
    }
    ui::PreferDialogFontFamily(family);
    const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
    int total = 0;
    for (const auto& [name, make] : Windows()) {
        std::unique_ptr<QWidget> window = make();
        window->show();
        QCoreApplication::processEvents();
        EXPECT_EQ(window->font().family().toStdString(), GetParam()) << name;
        const QStringList clipped = ClippedTexts(window.get());
        total += static_cast<int>(clipped.size());
        EXPECT_TRUE(clipped.isEmpty())
            << name << ", " << GetParam() << ", scale " << scale.toStdString() << ":\n  "
            << clipped.join(QStringLiteral("\n  ")).toStdString();
    }
    std::cout << "clipped texts, scale " << scale.toStdString() << ", " << GetParam() << ": "
              << total << "\n";
}

INSTANTIATE_TEST_SUITE_P(Faces, EveryWindow, ::testing::Values("IPAGothic", "Noto Sans CJK JP"),
                         [](const auto& info) {
                             std::string name = info.param;
                             name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
                             return name;
                         });

}  // namespace
}  // namespace korvale
