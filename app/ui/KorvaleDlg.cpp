// The main window's life: construction, loading and saving the options, the start-up hand-off
// and closing.
#include "KorvaleDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "AboutDlg.h"
#include "CommandLineFiles.h"
#include "DialogLayout.h"
#include "DropListCtrl.h"
#include "MyGraph.h"
#include "OptionStore.h"
#include "PresetStore.h"
#include "PreviewDlg.h"
#include "QtInteraction.h"
#include "SettingsStore.h"
#include "Text.h"
#include "WindowPlacement.h"

namespace korvale {
namespace {

QString Decoded(const std::string& bytes) {
    return QString::fromStdString(bytes);
}

std::string Encoded(const QString& text) {
    return text.toStdString();
}

}  // namespace

CKorvaleDlg::CKorvaleDlg(Environment environment)
    : QDialog(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                           Qt::WindowCloseButtonHint),
      environment_(std::move(environment)) {
    if (environment_.ui != nullptr) {
        ui_ = environment_.ui;
    } else {
        ownInteraction_ = std::make_unique<QtInteraction>(this);
        ui_ = ownInteraction_.get();
    }
    CreateControls();
    ConnectControls();
    ConnectPreview();
    ConnectThumbnails();
    // The first exchange shows the defaults; the loaded values reach these controls only in
    // the hand-off.
    ExchangeOptionsToControls();
    LoadBatchOptions();
    Control(2)->setFocus();
}

CKorvaleDlg::~CKorvaleDlg() = default;

QWidget* CKorvaleDlg::Control(int id) const {
    return ui::FindControl(this, id);
}

SettingsStore CKorvaleDlg::OpenSettings() const {
    if (!environment_.settingsFile.empty()) {
        return SettingsStore::ForFile(environment_.settingsFile);
    }
    const std::string name = environment_.applicationName.empty()
                                 ? Encoded(QCoreApplication::applicationName())
                                 : environment_.applicationName;
    return SettingsStore::ForApplication(name);
}

void CKorvaleDlg::LoadBatchOptions() {
    // The preset file first: the number of presets decides whether "Preset" is read. Reading
    // the store shows nothing, so this order is not visible.
    LoadedPresets loaded =
        LoadPresets(environment_.presetLocation.value_or(DefaultPresetLocation()), *ui_);
    presetFolder_ = loaded.folder;
    presets_ = std::move(loaded.presets);
    presetBackupPending_ = loaded.hadProblems;
    // The loaded record replaces the defaults at once; the controls that show a value only
    // through the record (targets, folder, ticks but 1055) get it in the hand-off.
    options_ = korvale::LoadBatchOptions(OpenSettings(), presets_.size());

    ControlAs<QRadioButton>(options_.dpiOnly                            ? 1065
                            : options_.method == BatchMethod::CropPaste ? 1025
                                                                        : 1024)
        ->setChecked(true);
    metadataList_->setCurrentIndex(static_cast<int>(options_.metadata));
    ControlAs<QCheckBox>(1070)->setChecked(options_.keepTree);
    clashList_->setCurrentIndex(static_cast<int>(options_.onClash));
    ControlAs<QCheckBox>(1073)->setChecked(options_.keepGoing);
    ControlAs<QCheckBox>(1074)->setChecked(options_.toSrgb);
    interpolationList_->setCurrentIndex(static_cast<int>(options_.interpolation));
    ControlAs<QCheckBox>(1055)->setChecked(options_.keepAspect);
    anchorList_->setCurrentIndex(options_.anchor);
    swatch_->SetPaintRoutine([this](QPainter& painter, const QRect& rect, QWidget*, int) {
        PaintSwatch(painter, rect);
    });
    swatch_->update();
    FillPresetCombo();
    if (!presets_.empty()) {
        presetCombo_->setCurrentIndex(options_.presetIndex);
        ShowPresetValues(options_.presetIndex);
    }
    ControlAs<QRadioButton>(FormatRadio(options_.saveFormat))->setChecked(true);
    qualitySlider_->setRange(0, 100);
    qualitySlider_->setTickInterval(10);
    qualitySlider_->setPageStep(10);
    qualitySlider_->setSingleStep(1);
    qualitySlider_->setValue(options_.jpegQuality);
    qualityNumber_->setText(Decoded(FormatText("%d ", options_.jpegQuality)));
}

namespace {

// Radio button and SaveFormat, in the order of the stored values.
constexpr std::pair<int, SaveFormat> kFormatRadios[] = {
    {1037, SaveFormat::Bmp}, {1038, SaveFormat::Jpeg}, {1039, SaveFormat::SameAsSource},
    {1067, SaveFormat::Png}, {1068, SaveFormat::Tiff}, {1075, SaveFormat::Webp},
    {1076, SaveFormat::Avif}};

}  // namespace

int CKorvaleDlg::FormatRadio(SaveFormat format) {
    for (const auto& [radio, value] : kFormatRadios) {
        if (value == format) {
            return radio;
        }
    }
    return 1039;
}

SaveFormat CKorvaleDlg::CheckedFormat() const {
    for (const auto& [radio, value] : kFormatRadios) {
        if (ControlAs<QRadioButton>(radio)->isChecked()) {
            return value;
        }
    }
    return SaveFormat::SameAsSource;
}

OptionControls CKorvaleDlg::ReadControls() const {
    OptionControls c;
    c.widthText = Encoded(widthField_->text());
    c.heightText = Encoded(heightField_->text());
    c.dpiText = Encoded(dpiField_->text());
    c.folderText = Encoded(folderField_->text());
    c.keepAspect = ControlAs<QCheckBox>(1055)->isChecked();
    c.applyWidth = ControlAs<QCheckBox>(1057)->isChecked();
    c.applyHeight = ControlAs<QCheckBox>(1058)->isChecked();
    c.applyDpi = ControlAs<QCheckBox>(1059)->isChecked();
    c.dpiOnly = ControlAs<QRadioButton>(1065)->isChecked();
    // With DPI only selected, the scaling method chosen before it.
    c.methodIndex = c.dpiOnly                                    ? static_cast<int>(options_.method)
                    : ControlAs<QRadioButton>(1024)->isChecked() ? 0
                                                                 : 1;
    c.metadataIndex = metadataList_->currentIndex();
    c.keepTree = ControlAs<QCheckBox>(1070)->isChecked();
    c.clashIndex = clashList_->currentIndex();
    c.keepGoing = ControlAs<QCheckBox>(1073)->isChecked();
    c.toSrgb = ControlAs<QCheckBox>(1074)->isChecked();
    c.interpolationIndex = interpolationList_->currentIndex();
    c.anchorIndex = anchorList_->currentIndex();
    c.presetIndex = presetCombo_->currentIndex();
    c.saveFormatIndex = static_cast<int>(CheckedFormat());
    c.marginRed = options_.marginRed;
    c.marginGreen = options_.marginGreen;
    c.marginBlue = options_.marginBlue;
    c.jpegQuality = options_.jpegQuality;
    return c;
}

void CKorvaleDlg::SaveBatchOptions() {
    const OptionControls controls = ReadControls();
    options_.keepAspect = controls.keepAspect;
    options_.applyWidth = controls.applyWidth;
    options_.applyHeight = controls.applyHeight;
    options_.applyDpi = controls.applyDpi;
    SettingsStore store = OpenSettings();
    // The client area's place, which is what the next start gives setGeometry; x() and y()
    // include the frame and would move the window down by its title bar at every start.
    const QRect box = geometry();
    SaveWindowBox(store, {box.x(), box.y(), box.width(), box.height()});
    if (const auto failure = korvale::SaveBatchOptions(controls, store)) {
        ui_->ShowDetailedMessage(tr("設定の保存に失敗しました。").toStdString(),
                                 FailureDetail(*failure));
    }
}

void CKorvaleDlg::ExchangeOptionsToControls() {
    OptionControls c;
    korvale::ExchangeOptionsToControls(options_, c);
    widthField_->setText(Decoded(c.widthText));
    heightField_->setText(Decoded(c.heightText));
    folderField_->setText(Decoded(c.folderText));
    dpiField_->setText(Decoded(c.dpiText));
    ControlAs<QCheckBox>(1055)->setChecked(c.keepAspect);
    ControlAs<QCheckBox>(1057)->setChecked(c.applyWidth);
    ControlAs<QCheckBox>(1058)->setChecked(c.applyHeight);
    ControlAs<QCheckBox>(1059)->setChecked(c.applyDpi);
}

bool CKorvaleDlg::ExchangeOptionsFromControls() {
    if (const auto error = korvale::ExchangeOptionsFromControls(ReadControls(), options_)) {
        ui_->ShowMessage(error->message, MessageIcon::None);
        if (QWidget* field = Control(error->field)) {
            field->setFocus();
            if (auto* edit = qobject_cast<QLineEdit*>(field)) {
                edit->selectAll();
            }
        }
        return false;
    }
    return true;
}

void CKorvaleDlg::setVisible(bool visible) {
    if (visible && !placed_) {
        placed_ = true;
        PlaceOnScreen();
    }
    QDialog::setVisible(visible);
    if (visible) {
        // Showing makes the next push button the default one; this window has none, so Enter
        // presses only a button that has the focus.
        for (QPushButton* button : findChildren<QPushButton*>()) {
            button->setDefault(false);
        }
    }
}

namespace {

// The template's run line (status, progress, the options beside the buttons and the buttons):
// it stays in sight when what lies above it scrolls.
constexpr int kRunLineTop = 346;

}  // namespace

void CKorvaleDlg::PlaceOnScreen() {
    const std::optional<WindowBox> remembered = LoadWindowBox(OpenSettings());
    QRect area;
    if (environment_.availableArea) {
        area = *environment_.availableArea;
    } else {
        // The screen the window was on when it still exists, else this one.
        const QScreen* screen = nullptr;
        if (remembered) {
            screen = QGuiApplication::screenAt(
                QRect(remembered->x, remembered->y, remembered->width, remembered->height)
                    .center());
        }
        if (screen == nullptr) {
            screen = this->screen();
        }
        if (screen == nullptr) {
            return;
        }
        area = screen->availableGeometry();
    }
    // The frame is known only once the window manager has drawn one; till then a title bar's
    // height stands for it.
    const QSize frame =
        frameGeometry().size() != size()
            ? frameGeometry().size() - size()
            : QSize(0, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
    const WindowBox available{area.x(), area.y(), area.width() - frame.width(),
                              area.height() - frame.height()};
    // The list gives up rows only down to its heading and two rows, and never so far that the
    // buttons beside it leave its band for the controls below.
    const int listMinimum = list_->horizontalHeader()->sizeHint().height() +
                            2 * list_->verticalHeader()->defaultSectionSize() +
                            2 * list_->frameWidth();
    const QRect listAtTemplate = units_->Rect(6, 12, 268, 124);
    const int besideBottom = units_->Rect(ui::TemplateRect(Control(1064))).bottom();
    listGiveUp_ = std::max(
        0, std::min(listAtTemplate.height() - listMinimum, listAtTemplate.bottom() - besideBottom));
    const WindowPlacement placement =
        PlaceMainWindow(templateSize_.width(), templateSize_.height(), listGiveUp_, available,
                        remembered, style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    if (placement.scrolls && scroller_ == nullptr) {
        ScrollUpperPart();
    }
    setMinimumSize(placement.minimumWidth, placement.minimumHeight);
    setGeometry(placement.box.x, placement.box.y, placement.box.width, placement.box.height);
    PlaceControls();
}

void CKorvaleDlg::ScrollUpperPart() {
    scroller_ = new QScrollArea(this);
    scroller_->setFrameShape(QFrame::NoFrame);
    scroller_->setFocusPolicy(Qt::NoFocus);
    scroller_->setWidgetResizable(false);
    // The page joins the window before the controls move into it, so that they keep their
    // place in the tab order.
    page_ = new QWidget;
    scroller_->setWidget(page_);
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QRect place = ui::TemplateRect(child);
        // Controls placed otherwise (the spin buttons) go with their fields.
        if (child == scroller_ || (place.isValid() && place.top() >= kRunLineTop)) {
            continue;
        }
        const bool hidden = child->isHidden();
        child->setParent(page_);
        child->setVisible(!hidden);
    }
    scroller_->lower();
    // Tab and the access keys bring a control into sight.
    connect(qApp, &QApplication::focusChanged, scroller_, [this](QWidget*, QWidget* now) {
        if (now != nullptr && page_->isAncestorOf(now)) {
            scroller_->ensureWidgetVisible(now);
        }
    });
}

void CKorvaleDlg::PlaceControls() {
    if (!units_) {
        return;
    }
    const QSize extra = size() - templateSize_;
    ui::PlaceAll(this, *units_, extra);
    if (scroller_ == nullptr) {
        list_->SetColumnWidths(extra.width());
        return;
    }
    const int upperHeight = units_->Y(kRunLineTop);
    scroller_->setGeometry(0, 0, width(), std::max(0, upperHeight + extra.height()));
    // The scrolled part at its smallest, or filling the room the scroll bars leave.
    const QSize smallest(templateSize_.width(), upperHeight - listGiveUp_);
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    QSize room = scroller_->size();
    const bool across = smallest.height() > room.height();
    const bool along = smallest.width() > room.width() - (across ? bar : 0);
    const bool acrossToo = across || smallest.height() > room.height() - (along ? bar : 0);
    room -= QSize(acrossToo ? bar : 0, along ? bar : 0);
    const QSize page = smallest.expandedTo(room);
    page_->resize(page);
    const QSize pageExtra(page.width() - templateSize_.width(), page.height() - upperHeight);
    ui::PlaceAll(page_, *units_, pageExtra);
    list_->SetColumnWidths(pageExtra.width());
}

void CKorvaleDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlaceControls();
}

void CKorvaleDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!handOffDone_) {
        handOffDone_ = true;
        // Once the window is up and its event loop runs, as a posted message would.
        QTimer::singleShot(0, this, [this] { StartupHandOff(); });
    }
}

void CKorvaleDlg::StartupHandOff() {
    WaitCursor wait(*ui_);
    AddCommandLineFiles(environment_.commandLine, files_, *ui_, *this);
    ExchangeOptionsToControls();
    UpdateControlStates(true);
}

void CKorvaleDlg::CloseMainWindow() {
    if (running_) {
        return;  // stop the run first
    }
    SaveBatchOptions();
    if (preview_ != nullptr) {
        preview_->close();
    }
    QDialog::reject();
}

void CKorvaleDlg::reject() {
    CloseMainWindow();
}

void CKorvaleDlg::accept() {}

void CKorvaleDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();  // the default command does nothing
        return;
    }
    QDialog::keyPressEvent(event);
}

void CKorvaleDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(tr("Korvaleについて(&A)..."), this, [this] { ShowAbout(); });
    menu.exec(event->globalPos());
}

void CKorvaleDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

}  // namespace korvale
