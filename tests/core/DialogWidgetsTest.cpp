// The shared widgets: spin buttons on a digit field, dialog units and control identifiers.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "DialogLayout.h"
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

}  // namespace
}  // namespace korvale::ui
