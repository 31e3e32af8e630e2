// The preset item editor: its template, the calculation helpers and the checks at OK.
#include "PresetItemEditDlg.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QValidator>
#include <algorithm>
#include <iterator>

#include "DialogLayout.h"
#include "SpinButton.h"

namespace korvale {

// Keeps a field's UTF-8 text within a byte limit while the user types or pastes: what was just
// inserted (it ends at the cursor) is cut to fit, whole characters only. A longer text given as
// the baseline, such as a long name read from the preset file, stays but cannot grow.
class ByteLimitValidator : public QValidator {
public:
    ByteLimitValidator(int maxBytes, QObject* parent) : QValidator(parent), maxBytes_(maxBytes) {}

    void SetBaseline(const QString& text) { acceptedBytes_ = Utf8Bytes(text); }

    State validate(QString& input, int& pos) const override {
        int bytes = Utf8Bytes(input);
        const int allowed = std::max(maxBytes_, acceptedBytes_);
        if (bytes > allowed) {
            int start = std::clamp(pos, 0, static_cast<int>(input.size()));
            const int end = start;
            while (bytes > allowed && start > 0) {
                const bool pair = start >= 2 && input.at(start - 1).isLowSurrogate() &&
                                  input.at(start - 2).isHighSurrogate();
                const int units = pair ? 2 : 1;
                bytes -= Utf8Bytes(QStringView(input).mid(start - units, units));
                start -= units;
            }
            if (bytes > allowed) {
                return Invalid;
            }
            input.remove(start, end - start);
            pos = start;
        }
        acceptedBytes_ = bytes;
        return Acceptable;
    }

private:
    static int Utf8Bytes(QStringView text) { return static_cast<int>(text.toUtf8().size()); }

    int maxBytes_;
    mutable int acceptedBytes_ = 0;  // bytes of the text last let through
};

namespace {

constexpr char kEditTitle[] =
    QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "プリセット項目編集");
constexpr char kAddTitle[] = QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "プリセット項目追加");
constexpr char kApplyCaption[] = QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "<= 適用   ");
constexpr char kSelectPaperMessage[] =
    QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "用紙を選択してください。");
// The paper names of the paper table that are words rather than sizes, for the translation.
[[maybe_unused]] constexpr const char* kPaperWords[] = {
    QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "ハガキ"),
    QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "L判写真"),
    QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "名刺")};

QString Translated(const char* text) {
    return QCoreApplication::translate("korvale::CPresetItemEditDlg", text);
}

// Combo boxes show the height of a field; the template's height is that of the open list.
constexpr int kComboHeight = 14;
constexpr int kListItemHeight = 8;

QLabel* AddLabel(QWidget* dialog, const ui::DialogUnits& units, const char* text, int x, int y,
                 int width, int height) {
    auto* label = new QLabel(Translated(text), dialog);
    ui::Place(label, units, x, y, width, height);
    return label;
}

// A caption above a digit field with its spin buttons: caption 8 units above, field 54 x 14.
QLineEdit* AddNumberField(QWidget* dialog, const ui::DialogUnits& units, const char* caption, int x,
                          int y, int fieldId, int spinId, int minimum, int maximum) {
    AddLabel(dialog, units, caption, x, y - 8, 34, 8);
    QLineEdit* field = ui::MakeDigitField(dialog);
    ui::SetControlId(field, fieldId);
    auto* spin = new ui::SpinButton(field, dialog);
    ui::SetControlId(spin, spinId);
    spin->SetRange(minimum, maximum);
    ui::PlaceWithSpin(field, spin, units, x, y, 54, 14);
    return field;
}

QComboBox* AddComboBox(QWidget* dialog, const ui::DialogUnits& units, int id, int x, int y,
                       int width, int listHeight) {
    auto* box = new QComboBox(dialog);
    ui::SetControlId(box, id);
    ui::Place(box, units, x, y, width, kComboHeight);
    box->setMaxVisibleItems((listHeight - kComboHeight) / kListItemHeight);
    return box;
}

void AddGroup(QWidget* dialog, const ui::DialogUnits& units, const char* title, int x, int y,
              int width, int height) {
    auto* group = new QGroupBox(Translated(title), dialog);
    ui::Place(group, units, x, y, width, height);
}

// The thin solid bars that connect the pixel fields, the millimetre group and the paper group.
void AddConnector(QWidget* dialog, const ui::DialogUnits& units, int x, int y, int width,
                  int height) {
    auto* bar = new QFrame(dialog);
    bar->setAutoFillBackground(true);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::WindowText));
    bar->setPalette(palette);
    ui::Place(bar, units, x, y, width, height);
}

}  // namespace

CPresetItemEditDlg::CPresetItemEditDlg(UserInteraction& ui, QWidget* parent)
    : QDialog(parent), ui_(ui) {
    const ui::DialogUnits units = ui::PrepareDialog(this, 278, 158);  // fitted at the end
    setWindowTitle(tr(kEditTitle));

    // Created in template order, which is also the tab order.
    QPushButton* ok = ui::AddButton(this, units, 1, "OK", 88, 136, 50, 18);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CPresetItemEditDlg::accept);
    QPushButton* cancel = ui::AddButton(this, units, 2, tr("キャンセル"), 142, 136, 50, 18);
    connect(cancel, &QPushButton::clicked, this, &CPresetItemEditDlg::reject);

    AddLabel(this, units, QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "プリセット名"), 8, 6,
             54, 8);
    nameEdit_ = new QLineEdit(this);
    ui::SetControlId(nameEdit_, kItemNameField);
    ui::Place(nameEdit_, units, 8, 14, 102, 12);
    nameLimit_ = new ByteLimitValidator(static_cast<int>(kPresetNameMaxBytes), nameEdit_);
    nameEdit_->setValidator(nameLimit_);

    const int maxSize = static_cast<int>(kPresetMaxSize);
    const int minSize = static_cast<int>(kPresetMinSize);
    widthEdit_ =
        AddNumberField(this, units, QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "幅(dot)"), 56,
                       40, kItemWidthField, 1009, minSize, maxSize);
    heightEdit_ =
        AddNumberField(this, units, QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "高さ(dot)"),
                       56, 66, kItemHeightField, 1010, minSize, maxSize);
    dpiEdit_ = AddNumberField(this, units, "DPI", 56, 92, kItemDpiField, 1021, 0,
                              static_cast<int>(kPresetMaxDpi));

    AddGroup(this, units,
             QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "mm単位のサイズとDPIで計算"), 124, 16,
             146, 114);
    mmWidthEdit_ =
        AddNumberField(this, units, QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "幅(mm)"), 130,
                       40, kMmWidthField, 1012, kMinMillimetres, kMaxMillimetres);
    mmHeightEdit_ =
        AddNumberField(this, units, QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "高さ(mm)"),
                       130, 66, kMmHeightField, 1014, kMinMillimetres, kMaxMillimetres);
    calcDpiBox_ = AddComboBox(this, units, kCalcDpiField, 130, 92, 54, 70);
    calcDpiBox_->setEditable(true);
    // A typed DPI is used as it stands, never added to the choices.
    calcDpiBox_->setInsertPolicy(QComboBox::NoInsert);
    for (int32_t choice : kCalcDpiChoices) {
        calcDpiBox_->addItem(QString::number(choice));
    }
    QPushButton* applyMm = ui::AddButton(this, units, 1054, tr(kApplyCaption), 130, 110, 54, 16);
    connect(applyMm, &QPushButton::clicked, this, &CPresetItemEditDlg::OnApplyMm);

    AddGroup(this, units, QT_TRANSLATE_NOOP("korvale::CPresetItemEditDlg", "定形用紙"), 198, 28, 66,
             62);
    paperBox_ = AddComboBox(this, units, 1050, 202, 40, 56, 102);
    for (const PaperSize& paper : kPaperSizes) {
        paperBox_->addItem(tr(paper.name));
    }
    portrait_ = new QRadioButton(tr("縦"), this);
    ui::SetControlId(portrait_, 1052);
    ui::Place(portrait_, units, 202, 56, 24, 10);
    landscape_ = new QRadioButton(tr("横"), this);
    ui::SetControlId(landscape_, 1053);
    ui::Place(landscape_, units, 234, 56, 24, 10);
    ui::TabStopAtCheckedButton({portrait_, landscape_});
    QPushButton* applyPaper = ui::AddButton(this, units, 1055, tr(kApplyCaption), 202, 70, 56, 16);
    connect(applyPaper, &QPushButton::clicked, this, &CPresetItemEditDlg::OnApplyPaper);

    AddConnector(this, units, 116, 40, 2, 66);
    AddConnector(this, units, 190, 40, 2, 40);
    AddConnector(this, units, 116, 72, 8, 3);
    AddConnector(this, units, 190, 58, 8, 3);
    AddLabel(this, units, "DPI", 130, 84, 34, 8);
    ui::FitDialog(this, units, 278, 158);
}

void CPresetItemEditDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        InitDialog();
    }
    QDialog::showEvent(event);
}

void CPresetItemEditDlg::InitDialog() {
    setWindowTitle(tr(addMode ? kAddTitle : kEditTitle));
    paperBox_->setCurrentIndex(kDefaultPaperIndex);
    mmWidthEdit_->setText(QStringLiteral("210"));
    mmHeightEdit_->setText(QStringLiteral("297"));
    calcDpiBox_->setCurrentIndex(kDefaultCalcDpiIndex);
    portrait_->setChecked(true);
    const QString shownName = QString::fromStdString(name);
    nameLimit_->SetBaseline(shownName);
    nameEdit_->setText(shownName);
    widthEdit_->setText(QString::number(width));
    heightEdit_->setText(QString::number(height));
    dpiEdit_->setText(QString::number(dpi));
}

void CPresetItemEditDlg::Refuse(const PresetFieldError& error) {
    ui_.ShowMessage(error.message);
    QWidget* field = ui::FindControl(this, error.field);
    field->setFocus();
    if (auto* box = qobject_cast<QComboBox*>(field)) {
        field = box->lineEdit();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->selectAll();
    }
}

void CPresetItemEditDlg::OnApplyMm() {
    PixelCalculation pixels;
    if (auto error =
            CalculatePixels(mmWidthEdit_->text().toStdString(), mmHeightEdit_->text().toStdString(),
                            calcDpiBox_->currentText().toStdString(), pixels)) {
        Refuse(*error);
        return;
    }
    widthEdit_->setText(QString::number(pixels.width));
    heightEdit_->setText(QString::number(pixels.height));
    dpiEdit_->setText(QString::number(pixels.dpi));
}

void CPresetItemEditDlg::OnApplyPaper() {
    const int index = paperBox_->currentIndex();
    if (index < 0 || index >= static_cast<int>(std::size(kPaperSizes))) {
        ui_.ShowMessage(tr(kSelectPaperMessage).toStdString());
        paperBox_->setFocus();
        return;
    }
    const auto [mmWidth, mmHeight] = PaperMillimetres(kPaperSizes[index], landscape_->isChecked());
    mmWidthEdit_->setText(QString::number(mmWidth));
    mmHeightEdit_->setText(QString::number(mmHeight));
}

void CPresetItemEditDlg::accept() {
    const PresetItemTexts texts{nameEdit_->text().toStdString(), widthEdit_->text().toStdString(),
                                heightEdit_->text().toStdString(), dpiEdit_->text().toStdString()};
    Preset entered;
    if (auto error = CheckPresetItem(texts, entered)) {
        Refuse(*error);
        return;
    }
    name = std::move(entered.name);
    width = entered.width;
    height = entered.height;
    dpi = entered.dpi;
    QDialog::accept();
}

}  // namespace korvale
