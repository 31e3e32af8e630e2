// Dialog font, dialog units and control identifiers.
#include "DialogLayout.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOption>
#include <QTableView>
#include <QVariant>
#include <algorithm>
#include <cmath>

namespace korvale::ui {
namespace {

constexpr char kControlIdProperty[] = "korvaleControlId";
constexpr char kTemplateRectProperty[] = "korvaleTemplateRect";
constexpr char kSpinProperty[] = "korvaleSpin";
constexpr char kSpinWidthProperty[] = "korvaleSpinWidth";
constexpr char kAnchorProperty[] = "korvaleAnchor";

QString& PreferredFamily() {
    static QString family;
    return family;
}

QSize TextSize(const QFontMetrics& metrics, const QString& text) {
    return metrics.size(Qt::TextShowMnemonic, text);
}

QStyleOptionButton ButtonOption(const QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
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

// The size that holds `text` in the area `style` leaves for it in `inner` of `outer`.
QSize AroundText(QSize text, const QSize& outer, const QRect& inner) {
    return text + (outer - inner.size());
}

QSize ButtonSize(const QAbstractButton* button) {
    const QStyleOptionButton option = ButtonOption(button);
    QStyle* style = button->style();
    const QSize text = TextSize(button->fontMetrics(), button->text());
    if (qobject_cast<const QPushButton*>(button) != nullptr) {
        const QRect contents =
            style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        return AroundText(text, button->size(), contents);
    }
    const bool radio = qobject_cast<const QRadioButton*>(button) != nullptr;
    const QRect contents = style->subElementRect(
        radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option, button);
    const QRect indicator = style->subElementRect(
        radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &option, button);
    QSize need = AroundText(text, button->size(), contents);
    need.setHeight(std::max(need.height(), indicator.height()));
    return need;
}

QSize LabelSize(const QLabel* label) {
    if (label->text().isEmpty() || label->wordWrap()) {
        return {};
    }
    const QFontMetrics metrics = label->fontMetrics();
    QSize need = metrics.size(0, label->text()) + (label->size() - label->contentsRect().size());
    need += QSize(2 * label->margin(), 2 * label->margin());
    // A framed label indents its text by half an "x", as QLabel does.
    if (label->indent() < 0 && label->frameWidth() > 0) {
        need.rwidth() += metrics.horizontalAdvance(QLatin1Char('x')) / 2;
    } else if (label->indent() > 0) {
        need.rwidth() += label->indent();
    }
    return need;
}

QSize ComboSize(const QComboBox* combo) {
    if (combo->count() == 0) {
        return {};
    }
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    option.currentText = combo->currentText();
    option.subControls = QStyle::SC_All;
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, combo);
    const QFontMetrics metrics = combo->fontMetrics();
    int widest = 0;
    for (int i = 0; i < combo->count(); ++i) {
        widest = std::max(widest, metrics.horizontalAdvance(combo->itemText(i)));
    }
    // The label is drawn one pixel in from each side of the field.
    return AroundText(QSize(widest + 2, metrics.height()), combo->size(), field);
}

QSize GroupSize(const QGroupBox* group) {
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect title = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                       QStyle::SC_GroupBoxLabel, group);
    // The title keeps the same distance from the right edge as from the left.
    return QSize(title.right() + 1 + title.left(), 0);
}

// Columns share the view's width: the view needs the width at which every heading fits its
// share.
QSize TableSize(const QTableView* view) {
    const QHeaderView* header = view->horizontalHeader();
    if (header->isHidden() || view->model() == nullptr) {
        return {};
    }
    int used = 0;
    double ratio = 0;
    int height = 0;
    for (int section = 0; section < header->count(); ++section) {
        if (header->isSectionHidden(section)) {
            continue;
        }
        QStyleOptionHeader option;
        option.initFrom(header);
        option.section = section;
        option.text = view->model()->headerData(section, Qt::Horizontal).toString();
        option.textAlignment = header->defaultAlignment();
        const QSize need =
            header->style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header);
        const int size = header->sectionSize(section);
        used += size;
        height = std::max(height, need.height());
        if (size > 0) {
            ratio = std::max(ratio, static_cast<double>(need.width()) / size);
        }
    }
    const int rest = view->width() - used;
    return QSize(static_cast<int>(std::ceil(ratio * used)) + rest, 0);
}

}  // namespace

QFont DialogFont() {
    // Proportional Gothic faces first: they measure like the template's font.
    static const char* const kFamilies[] = {"MS UI Gothic", "IPAPGothic", "IPAGothic",
                                            "Noto Sans CJK JP", "Noto Sans JP"};
    const QStringList installed = QFontDatabase::families();
    QFont font;
    if (!PreferredFamily().isEmpty() && installed.contains(PreferredFamily())) {
        font = QFont(PreferredFamily());
    } else {
        for (const char* family : kFamilies) {
            if (installed.contains(QString::fromUtf8(family))) {
                font = QFont(QString::fromUtf8(family));
                break;
            }
        }
    }
    font.setPointSize(9);
    return font;
}

void PreferDialogFontFamily(const QString& family) {
    PreferredFamily() = family;
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
    return static_cast<int>(std::lround(units * baseX_ / 4));
}
int DialogUnits::Y(int units) const {
    return static_cast<int>(std::lround(units * baseY_ / 8));
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    // Edges, not sizes, are converted, so that touching boxes keep touching.
    return QRect(QPoint(X(x), Y(y)), QPoint(X(x + width) - 1, Y(y + height) - 1));
}

QRect DialogUnits::Rect(const QRect& templateRect) const {
    return Rect(templateRect.x(), templateRect.y(), templateRect.width(), templateRect.height());
}

QSize DialogUnits::Size(int width, int height) const {
    return QSize(X(width), Y(height));
}

DialogUnits DialogUnits::Scaled(double x, double y) const {
    DialogUnits scaled = *this;
    scaled.baseX_ *= x;
    scaled.baseY_ *= y;
    return scaled;
}

DialogUnits PrepareDialog(QWidget* dialog, int width, int height) {
    dialog->setFont(DialogFont());
    const DialogUnits units(dialog->font());
    dialog->setFixedSize(units.Size(width, height));
    return units;
}

void Place(QWidget* widget, const DialogUnits& units, int x, int y, int width, int height) {
    widget->setProperty(kTemplateRectProperty, QRect(x, y, width, height));
    widget->setGeometry(units.Rect(x, y, width, height));
}

void PlaceWithSpin(QWidget* field, QWidget* spin, const DialogUnits& units, int x, int y, int width,
                   int height, int spinWidth) {
    field->setProperty(kTemplateRectProperty, QRect(x, y, width, height));
    field->setProperty(kSpinProperty, QVariant::fromValue(static_cast<QObject*>(spin)));
    field->setProperty(kSpinWidthProperty, spinWidth);
    const QRect whole = units.Rect(x, y, width, height);
    const int spinPixels = units.X(spinWidth);
    field->setGeometry(whole.adjusted(0, 0, -spinPixels, 0));
    spin->setGeometry(whole.right() + 1 - spinPixels, whole.top(), spinPixels, whole.height());
}

void SetAnchor(QWidget* widget, int anchors) {
    widget->setProperty(kAnchorProperty, anchors);
}

QRect TemplateRect(const QWidget* widget) {
    return widget->property(kTemplateRectProperty).toRect();
}

void PlaceAll(QWidget* dialog, const DialogUnits& units, QSize extra) {
    for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QVariant templateRect = child->property(kTemplateRectProperty);
        if (!templateRect.isValid()) {
            continue;
        }
        const int anchors = child->property(kAnchorProperty).toInt();
        QRect rect = units.Rect(templateRect.toRect());
        rect.translate((anchors & kAnchorRight) != 0 ? extra.width() : 0,
                       (anchors & kAnchorBottom) != 0 ? extra.height() : 0);
        if ((anchors & kStretchWidth) != 0) {
            rect.setWidth(rect.width() + extra.width());
        }
        if ((anchors & kStretchHeight) != 0) {
            rect.setHeight(rect.height() + extra.height());
        }
        auto* spin = qobject_cast<QWidget*>(child->property(kSpinProperty).value<QObject*>());
        if (spin == nullptr) {
            child->setGeometry(rect);
            continue;
        }
        const int spinPixels = units.X(child->property(kSpinWidthProperty).toInt());
        child->setGeometry(rect.adjusted(0, 0, -spinPixels, 0));
        spin->setGeometry(rect.right() + 1 - spinPixels, rect.top(), spinPixels, rect.height());
    }
}

QSize SizeForText(const QWidget* control) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        return button->text().isEmpty() ? QSize() : ButtonSize(button);
    }
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        return LabelSize(label);
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(control)) {
        return ComboSize(combo);
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(control)) {
        return GroupSize(group);
    }
    if (const auto* table = qobject_cast<const QTableView*>(control)) {
        return TableSize(table);
    }
    return {};
}

DialogUnits FitTexts(QWidget* dialog, const DialogUnits& units,
                     const std::function<void()>& afterPlacing) {
    DialogUnits fitted = units;
    const auto place = [&] {
        PlaceAll(dialog, fitted);
        if (afterPlacing) {
            afterPlacing();
        }
    };
    place();
    // Margins do not grow with the units, so one stretch by the widest ratio fits; the second
    // round only catches pixels lost to rounding.
    for (int round = 0; round < 4; ++round) {
        double x = 1;
        double y = 1;
        for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->property(kTemplateRectProperty).isValid() || child->width() <= 0 ||
                child->height() <= 0) {
                continue;
            }
            const QSize need = SizeForText(child);
            x = std::max(x, static_cast<double>(need.width()) / child->width());
            y = std::max(y, static_cast<double>(need.height()) / child->height());
        }
        if (x <= 1 && y <= 1) {
            break;
        }
        fitted = fitted.Scaled(x, y);
        place();
    }
    return fitted;
}

DialogUnits FitDialog(QWidget* dialog, const DialogUnits& units, int width, int height,
                      const std::function<void()>& afterPlacing) {
    const DialogUnits fitted = FitTexts(dialog, units, afterPlacing);
    dialog->setFixedSize(fitted.Size(width, height));
    return fitted;
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

QPushButton* AddButton(QWidget* dialog, const DialogUnits& units, int id, const QString& text,
                       int x, int y, int width, int height) {
    auto* button = new QPushButton(text, dialog);
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

QString TemplateText(QString text) {
    return text.replace(QStringLiteral("&&"), QStringLiteral("&"));
}

}  // namespace korvale::ui
