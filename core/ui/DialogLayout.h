// Laying out windows as their templates describe them: the Japanese dialog font at 9 points,
// dialog units converted to pixels with that font's metrics, and numeric control identifiers.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <functional>
#include <vector>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace korvale::ui {

// "MS UI Gothic" when installed, else a Japanese Gothic (IPA or Noto CJK), at 9 points; or the
// installed family named by PreferDialogFontFamily.
QFont DialogFont();
// Makes every dialog made from now on use `family` when it is installed; empty: the default
// choice again.
void PreferDialogFontFamily(const QString& family);

// Dialog units to pixels: x by the font's average character width / 4, y by its height / 8.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;
    QRect Rect(const QRect& templateRect) const;
    QSize Size(int width, int height) const;
    // The same units stretched by `x` and `y`.
    DialogUnits Scaled(double x, double y) const;

private:
    double baseX_;
    double baseY_;
};

// Gives a dialog its font and fixed size from its template size in dialog units; returns the
// units for placing its controls.
DialogUnits PrepareDialog(QWidget* dialog, int width, int height);

// Places a child at its template rectangle, which it keeps for FitTexts and PlaceAll.
void Place(QWidget* widget, const DialogUnits& units, int x, int y, int width, int height);

// Places a field at its template rectangle with its spin buttons attached inside at the right
// edge, as the template's right-aligned up-down controls sit.
void PlaceWithSpin(QWidget* field, QWidget* spin, const DialogUnits& units, int x, int y, int width,
                   int height, int spinWidth = 10);

// Which window edges a placed child follows when the window is larger than its template.
enum Anchor {
    kAnchorLeftTop = 0,
    kAnchorRight = 1,
    kAnchorBottom = 2,
    kStretchWidth = 4,
    kStretchHeight = 8
};
void SetAnchor(QWidget* widget, int anchors);
// The rectangle a child was placed at, in dialog units; invalid for one placed otherwise.
QRect TemplateRect(const QWidget* widget);

// Places every child at its template rectangle in `units`, moved or stretched by its anchors
// when the window exceeds the template by `extra` pixels.
void PlaceAll(QWidget* dialog, const DialogUnits& units, QSize extra = {});

// The smallest size of a control that shows its whole text (and indicator) with its style's
// margins; an axis with no text to fit gives 0.
QSize SizeForText(const QWidget* control);

// Units stretched so that every placed child with a text holds it at its template rectangle,
// with the template's arrangement kept; the children are placed in them.
// `afterPlacing` runs after every placement, for what follows the controls' sizes (columns).
DialogUnits FitTexts(QWidget* dialog, const DialogUnits& units,
                     const std::function<void()>& afterPlacing = {});

// FitTexts, then the dialog's fixed size from the fitted units.
DialogUnits FitDialog(QWidget* dialog, const DialogUnits& units, int width, int height,
                      const std::function<void()>& afterPlacing = {});

// Controls keep their template identifiers, so rules and tests can name "control 1007".
void SetControlId(QWidget* widget, int id);
int ControlId(const QWidget* widget);
QWidget* FindControl(const QWidget* root, int id);
template <typename T>
T* FindControlAs(const QWidget* root, int id) {
    return qobject_cast<T*>(FindControl(root, id));
}

// A push button with its identifier at its template rectangle.
QPushButton* AddButton(QWidget* dialog, const DialogUnits& units, int id, const QString& text,
                       int x, int y, int width, int height);

// A read-only value box: sunken edge, text on the right.
QLabel* MakeValueBox(QWidget* parent);

// A field that takes digits only; its text is kept as typed, an empty one included.
QLineEdit* MakeDigitField(QWidget* parent);

// Of a group of radio buttons only the checked one is a tab stop, as in a dialog template's
// group: Tab enters the group at its choice, the arrow keys move within it.
void TabStopAtCheckedButton(const std::vector<QAbstractButton*>& group);

// Template texts use "&&" for a shown ampersand; Qt labels without mnemonics show it as is.
QString TemplateText(QString text);

}  // namespace korvale::ui
