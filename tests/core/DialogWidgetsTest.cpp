// The shared widgets: spin buttons on a digit field, dialog units and control identifiers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <utility>
#include <vector>

#include "DialogLayout.h"
#include "MessageBox.h"
#include "SpinButton.h"

namespace korvale::ui {
namespace {

TEST(SpinButton, StepsWithinTheRangeFromWhateverTheFieldHolds) {
    QWidget dialog;
    QLineEdit* field = MakeDigitField(&dialog);
    SpinButton spin(field, &dialog);
    spin.SetRange(32, 65535);
    const struct {
        const char* text;
        int direction;
        const char* expected;
    } cases[] = {
        {"100", +1, "101"}, {"100", -1, "99"},      {"65535", +1, "65535"}, {"32", -1, "32"},
        {"", +1, "33"},     {"70000", -1, "65534"}, {"0050", +1, "51"},
    };
    for (const auto& c : cases) {
        field->setText(QString::fromUtf8(c.text));
        spin.Step(c.direction);
        EXPECT_EQ(field->text().toStdString(), c.expected) << c.text << " " << c.direction;
    }
}

TEST(SpinButton, ArrowKeysInTheFieldStep) {
    QWidget dialog;
    QLineEdit* field = MakeDigitField(&dialog);
    SpinButton spin(field, &dialog);
    spin.SetRange(0, 10000);
    field->setText("300");
    QTest::keyClick(field, Qt::Key_Up);
    EXPECT_EQ(field->text(), "301");
    QTest::keyClick(field, Qt::Key_Down);
    QTest::keyClick(field, Qt::Key_Down);
    EXPECT_EQ(field->text(), "299");
}

TEST(DigitField, TakesDigitsOnlyAndMayBeEmpty) {
    QWidget dialog;
    QLineEdit* field = MakeDigitField(&dialog);
    QTest::keyClicks(field, "12a-3 4");
    EXPECT_EQ(field->text(), "1234");
    field->clear();
    EXPECT_TRUE(field->hasAcceptableInput());
}

TEST(DialogLayout, UnitsScaleWithTheFontAndControlsAreFoundById) {
    QWidget dialog;
    const DialogUnits units = PrepareDialog(&dialog, 334, 406);
    EXPECT_EQ(dialog.size(), units.Size(334, 406));
    EXPECT_GT(units.X(4), 3);
    EXPECT_GT(units.Y(8), 8);
    EXPECT_EQ(dialog.font().pointSize(), 9);
    QLabel* box = MakeValueBox(&dialog);
    SetControlId(box, 1011);
    Place(box, units, 228, 2, 46, 10);
    EXPECT_EQ(FindControl(&dialog, 1011), box);
    EXPECT_EQ(ControlId(box), 1011);
    EXPECT_EQ(box->geometry(), units.Rect(228, 2, 46, 10));
    EXPECT_EQ(FindControl(&dialog, 9999), nullptr);
    EXPECT_EQ(TemplateText("Drag&&Drop").toStdString(), "Drag&Drop");
}

// Whatever the executable is called, a message box is titled with the program's name.
TEST(MessageBox, EveryBoxIsTitledKorvale) {
    const std::pair<const char*, std::function<void()>> boxes[] = {
        {"message", [] { ShowMessageBox(nullptr, "完了", MessageIcon::Information); }},
        {"detailed message", [] { ShowMessageBox(nullptr, "失敗", MessageIcon::None, "why"); }},
        {"question", [] { AskYesNo(nullptr, "作成しますか？"); }},
    };
    for (const auto& [what, show] : boxes) {
        QString title;
        QTimer::singleShot(0, [&title] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                title = box->windowTitle();
                box->close();
            }
        });
        show();
        EXPECT_EQ(title.toStdString(), "Korvale") << what;
    }
}

// A window larger than its template: a stretched child takes the extra room, anchored ones keep
// their distance to their edge, the rest keep their place.
TEST(DialogLayout, AnchoredChildrenFollowTheirEdges) {
    QWidget dialog;
    const DialogUnits units = PrepareDialog(&dialog, 100, 100);
    const struct {
        int anchors;
        QPoint moved;
        QSize grown;
    } cases[] = {
        {0, {0, 0}, {0, 0}},
        {kAnchorRight, {30, 0}, {0, 0}},
        {kAnchorBottom, {0, 20}, {0, 0}},
        {kAnchorRight | kAnchorBottom, {30, 20}, {0, 0}},
        {kStretchWidth | kStretchHeight, {0, 0}, {30, 20}},
    };
    std::vector<QWidget*> children;
    for (const auto& c : cases) {
        auto* child = new QWidget(&dialog);
        Place(child, units, 10, 10, 20, 20);
        SetAnchor(child, c.anchors);
        children.push_back(child);
    }
    PlaceAll(&dialog, units, QSize(30, 20));
    for (size_t i = 0; i < children.size(); ++i) {
        const QRect base = units.Rect(10, 10, 20, 20);
        EXPECT_EQ(children[i]->geometry(),
                  QRect(base.topLeft() + cases[i].moved, base.size() + cases[i].grown))
            << "anchors " << cases[i].anchors;
    }
}

// Texts wider than their boxes stretch the units, the same for every control, so the template's
// arrangement stays; texts that fit leave the units as they are.
TEST(DialogLayout, FitTextsStretchesTheUnitsByTheWidestRatio) {
    QWidget dialog;
    const DialogUnits units = PrepareDialog(&dialog, 100, 40);
    auto* narrow = new QPushButton(QStringLiteral("とても長いボタンの文字列"), &dialog);
    Place(narrow, units, 4, 4, 20, 14);
    auto* beside = new QLabel(QStringLiteral("x"), &dialog);
    Place(beside, units, 30, 4, 20, 14);
    const DialogUnits fitted = FitTexts(&dialog, units);
    EXPECT_GE(narrow->width(), SizeForText(narrow).width());
    EXPECT_GE(narrow->height(), SizeForText(narrow).height());
    EXPECT_EQ(narrow->geometry(), fitted.Rect(4, 4, 20, 14));
    EXPECT_EQ(beside->geometry(), fitted.Rect(30, 4, 20, 14));
    EXPECT_GT(fitted.X(100), units.X(100));

    QWidget roomy;
    const DialogUnits roomyUnits = PrepareDialog(&roomy, 100, 40);
    Place(new QLabel(QStringLiteral("x"), &roomy), roomyUnits, 4, 4, 60, 14);
    EXPECT_EQ(FitTexts(&roomy, roomyUnits).Size(100, 40), roomyUnits.Size(100, 40));
}

}  // namespace
}  // namespace korvale::ui
