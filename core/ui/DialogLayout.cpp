// Dialog font, dialog units and control identifiers.
#include "DialogLayout.h"

#include <QAbstractButton>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVariant>
#include <algorithm>
#include <cmath>

namespace korvale::ui {
namespace {

constexpr char kControlIdProperty[] = "korvaleControlId";

int MulDiv(int value, int numerator, int denominator) {
    return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

}  // namespace

QFont DialogFont() {
    // Proportional Gothic faces first: they measure like the template's font.
    static const char* const kFamilies[] = {"MS UI Gothic", "IPAPGothic", "IPAGothic",
                                            "Noto Sans CJK JP", "Noto Sans JP"};
    const QStringList installed = QFontDatabase::families();
    QFont font;
    for (const char* family : kFamilies) {
        if (installed.contains(QString::fromUtf8(family))) {
            font = QFont(QString::fromUtf8(family));
            break;
        }
    }
    font.setPointSize(9);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width of the 52 Latin letters, rounded as the dialog framework does.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (letters / 26 + 1) / 2;
    baseY_ = metrics.height();
}

int DialogUnits::X(int units) const {
    return MulDiv(units, baseX_, 4);
}
int DialogUnits::Y(int units) const {
    return MulDiv(units, baseY_, 8);
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}

QSize DialogUnits::Size(int width, int height) const {
    return QSize(X(width), Y(height));
}

DialogUnits PrepareDialog(QWidget* dialog, int width, int height) {
    dialog->setFont(DialogFont());
    const DialogUnits units(dialog->font());
    dialog->setFixedSize(units.Size(width, height));
    return units;
}

void Place(QWidget* widget, const DialogUnits& units, int x, int y, int width, int height) {
    widget->setGeometry(units.Rect(x, y, width, height));
}

void PlaceWithSpin(QWidget* field, QWidget* spin, const DialogUnits& units, int x, int y, int width,
                   int height, int spinWidth) {
    const QRect whole = units.Rect(x, y, width, height);
    const int spinPixels = units.X(spinWidth);
    field->setGeometry(whole.adjusted(0, 0, -spinPixels, 0));
    spin->setGeometry(whole.right() + 1 - spinPixels, whole.top(), spinPixels, whole.height());
}

void SetControlId(QWidget* widget, int id) {
    widget->setProperty(kControlIdProperty, id);
    widget->setObjectName(QStringLiteral("control%1").arg(id));
}

int ControlId(const QWidget* widget) {
    const QVariant id = widget->property(kControlIdProperty);
    return id.isValid() ? id.toInt() : 0;
}

QWidget* FindControl(const QWidget* root, int id) {
    return root->findChild<QWidget*>(QStringLiteral("control%1").arg(id));
}

QPushButton* AddButton(QWidget* dialog, const DialogUnits& units, int id, const char* text, int x,
                       int y, int width, int height) {
    auto* button = new QPushButton(QString::fromUtf8(text), dialog);
    SetControlId(button, id);
    Place(button, units, x, y, width, height);
    return button;
}

QLabel* MakeValueBox(QWidget* parent) {
    auto* box = new QLabel(parent);
    box->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return box;
}

QLineEdit* MakeDigitField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
    return field;
}

namespace {

// Moves the choice of a radio group with the arrow keys, since only one member takes Tab.
class RadioArrowKeys : public QObject {
public:
    RadioArrowKeys(std::vector<QAbstractButton*> group, QObject* parent)
        : QObject(parent), group_(std::move(group)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        const int key = static_cast<QKeyEvent*>(event)->key();
        int step = 0;
        if (key == Qt::Key_Left || key == Qt::Key_Up) {
            step = -1;
        } else if (key == Qt::Key_Right || key == Qt::Key_Down) {
            step = +1;
        } else {
            return false;
        }
        const auto from = std::find(group_.begin(), group_.end(), watched);
        if (from == group_.end()) {
            return false;
        }
        const int count = static_cast<int>(group_.size());
        int index = static_cast<int>(from - group_.begin());
        for (int tried = 1; tried < count; ++tried) {
            index = (index + step + count) % count;
            QAbstractButton* next = group_[static_cast<size_t>(index)];
            if (next->isEnabled() && next->isVisible()) {
                next->setFocus(Qt::TabFocusReason);
                next->click();
                break;
            }
        }
        return true;
    }

private:
    std::vector<QAbstractButton*> group_;
};

}  // namespace

void TabStopAtCheckedButton(const std::vector<QAbstractButton*>& group) {
    if (group.empty()) {
        return;
    }
    const auto update = [group] {
        const bool anyChecked = std::any_of(group.begin(), group.end(),
                                            [](QAbstractButton* b) { return b->isChecked(); });
        for (QAbstractButton* button : group) {
            // With none checked the first one stands for the group.
            const bool stop = anyChecked ? button->isChecked() : button == group.front();
            button->setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
        }
    };
    auto* arrows = new RadioArrowKeys(group, group.front());
    for (QAbstractButton* button : group) {
        QObject::connect(button, &QAbstractButton::toggled, button, update);
        button->installEventFilter(arrows);
    }
    update();
}

QString TemplateText(const char* utf8) {
    return QString::fromUtf8(utf8).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

}  // namespace korvale::ui
