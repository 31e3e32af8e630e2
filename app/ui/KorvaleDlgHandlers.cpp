// The main window's handlers: the file list, the control rules, the statistics and targets,
// the quality slider, the margin colour, the folder, the presets and the batch run.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "BatchClashes.h"
#include "DropListCtrl.h"
#include "FileListModel.h"
#include "FolderFiles.h"
#include "ImageEngine.h"
#include "KorvaleDlg.h"
#include "MemoryTuning.h"
#include "MyGraph.h"
#include "PresetStore.h"
#include "PreviewDlg.h"
#include "RegisterFiles.h"
#include "Text.h"

namespace korvale {

void CKorvaleDlg::ConnectControls() {
    auto onClick = [this](int id, auto handler) {
        connect(ControlAs<QAbstractButton>(id), &QAbstractButton::clicked, this, handler);
    };
    onClick(2, [this] { CloseMainWindow(); });
    onClick(1000, [this] { AddFilesFromDialog(); });
    onClick(kAddFolderId, [this] { AddFolderFromDialog(); });
    onClick(1032, [this] { RemoveSelectedFiles(files_, list_->SelectedRows(), *this); });
    onClick(1033, [this] { RemoveAllFiles(files_, *this); });
    onClick(1063, [this] { RemoveOddNumberedFiles(files_, *this); });
    onClick(1064, [this] { RemoveEvenNumberedFiles(files_, *this); });
    for (const ArrowButton& button : ArrowButtons()) {
        onClick(button.id, [this, &button] { CopyStatisticToTarget(button); });
    }
    for (int id : {1024, 1025, 1065, 1055, 1057, 1058, 1059}) {
        onClick(id, [this] {
            TakeChoices(ReadControls(), options_);
            UpdateControlStates(true);
        });
    }
    // The output options change the plan's paths: the preview follows them.
    for (int id : {1070, 1073}) {
        onClick(id, [this] { SchedulePreview(); });
    }
    connect(clashList_, &QComboBox::activated, this, [this] { SchedulePreview(); });
    onClick(1028, [this] { ChooseMarginColour(); });
    onClick(1016, [this] { BrowseOutputFolder(); });
    onClick(1013, [this] { RunBatch(); });
    onClick(1014, [this] { StopBatch(); });
    onClick(1035, [this] { OnApplyPreset(); });
    onClick(1036, [this] { OnEditPresets(); });
    connect(presetCombo_, &QComboBox::activated, this, [this] { OnSelchangePreset(); });
    connect(list_, &CDropListCtrl::FilesDropped, this,
            [this](const std::vector<std::string>& paths) { AddPaths(paths); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateControlStates(true); });
    // A button that had the focus would otherwise keep looking like the default one after the
    // focus moved to a field, where Enter does nothing.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now != nullptr && now->window() == this && qobject_cast<QPushButton*>(now) == nullptr) {
            for (QPushButton* button : findChildren<QPushButton*>()) {
                button->setDefault(false);
            }
        }
    });
    // The slider's own actions, mapped onto the window's arithmetic.
    connect(qualitySlider_, &QSlider::actionTriggered, this, [this](int action) {
        int code = -1;
        switch (action) {
            case QAbstractSlider::SliderSingleStepSub:
                code = 0;
                break;
            case QAbstractSlider::SliderSingleStepAdd:
                code = 1;
                break;
            case QAbstractSlider::SliderPageStepSub:
                code = 2;
                break;
            case QAbstractSlider::SliderPageStepAdd:
                code = 3;
                break;
            case QAbstractSlider::SliderMove:
                code = 5;
                break;
            case QAbstractSlider::SliderToMinimum:
                code = 6;
                break;
            case QAbstractSlider::SliderToMaximum:
                code = 7;
                break;
            default:
                return;
        }
        JpegQualityScrolled(code, qualitySlider_->sliderPosition());
    });
    connect(qualitySlider_, &QSlider::sliderReleased, this,
            [this] { JpegQualityScrolled(4, qualitySlider_->sliderPosition()); });
}

void CKorvaleDlg::RegisterFiles(const std::vector<std::string>& batch) {
    korvale::RegisterFiles(files_, batch, *ui_, *this);
}

void CKorvaleDlg::AddFilesFromDialog() {
    if (const auto chosen = ui_->ChooseImageFiles()) {
        RegisterFiles(*chosen);
    }
}

void CKorvaleDlg::AddPaths(const std::vector<std::string>& paths) {
    RegisterPaths(files_, paths, *ui_, *this);
}

void CKorvaleDlg::AddFolderFromDialog() {
    if (const auto chosen = ui_->ChooseFolder(lastAddedFolder_, tr("フォルダ追加").toStdString())) {
        lastAddedFolder_ = *chosen;
        AddPaths({*chosen});
    }
}

void CKorvaleDlg::RefreshFileList() {
    model_->Refresh();
    ComputeListStatistics(files_, statistics_);
    fileCount_->setText(QString::fromStdString(FileCountText(files_.size())));
    const auto texts = StatisticTexts(statistics_, files_.empty());
    for (size_t i = 0; i < texts.size(); ++i) {
        statisticBoxes_[i]->setText(QString::fromStdString(texts[i]));
    }
    if (preview_ != nullptr) {
        preview_->ForgetSource();  // a file added again may have changed on disk
    }
    SchedulePreview();
}

void CKorvaleDlg::UpdateControlStates(bool interactive) {
    ControlStateInputs in;
    in.interactive = interactive;
    in.fileCount = static_cast<int>(files_.size());
    in.selectedRows = static_cast<int>(list_->SelectedRows().size());
    in.crop = ControlAs<QRadioButton>(1025)->isChecked();
    in.dpiOnly = ControlAs<QRadioButton>(1065)->isChecked();
    in.keepAspect = ControlAs<QCheckBox>(1055)->isChecked();
    in.presetSelected = presetCombo_->currentIndex() >= 0;
    in.applyWidth = ControlAs<QCheckBox>(1057)->isChecked();
    in.applyHeight = ControlAs<QCheckBox>(1058)->isChecked();
    in.applyDpi = ControlAs<QCheckBox>(1059)->isChecked();
    const auto states = ControlStates(in);
    if (interactive) {
        // A button that disables itself (a removal that leaves nothing to remove) would pass
        // the focus on to the next button, where one more Space could empty the list.
        QWidget* focus = focusWidget();
        for (const auto& [id, enabled] : states) {
            if (!enabled && focus != nullptr && Control(id) == focus) {
                list_->setEnabled(true);
                list_->setFocus(Qt::OtherFocusReason);
                break;
            }
        }
    }
    for (const auto& [id, enabled] : states) {
        Control(id)->setEnabled(enabled);
    }
    // Beyond the template: the preview, usable like the run button.
    Control(1069)->setEnabled(interactive && !files_.empty());
}

void CKorvaleDlg::CopyStatisticToTarget(const ArrowButton& button) {
    if (files_.empty()) {
        return;
    }
    ControlAs<QLineEdit>(button.targetField)
        ->setText(QString::fromStdString(StatisticFieldText(statistics_, button)));
}

void CKorvaleDlg::JpegQualityScrolled(int code, int position) {
    options_.jpegQuality = JpegQualityAfter(code, position, options_.jpegQuality);
    qualityNumber_->setText(QString::fromStdString(FormatText("%d ", options_.jpegQuality)));
}

void CKorvaleDlg::ChooseMarginColour() {
    const Rgb current{options_.marginRed, options_.marginGreen, options_.marginBlue};
    if (const auto chosen = ui_->ChooseColour(current)) {
        options_.marginRed = chosen->red & 0xFF;
        options_.marginGreen = chosen->green & 0xFF;
        options_.marginBlue = chosen->blue & 0xFF;
        swatch_->update();
        SchedulePreview();
    }
}

void CKorvaleDlg::PaintSwatch(QPainter& painter, const QRect& rect) {
    painter.fillRect(rect, QColor(options_.marginRed & 0xFF, options_.marginGreen & 0xFF,
                                  options_.marginBlue & 0xFF));
    // The sunken frame is drawn in shades of the window colour, which a dark colour on a dark
    // palette swallows; a line in the text colour keeps the swatch's edge in sight on any.
    painter.setPen(swatch_->palette().color(QPalette::WindowText));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
}

void CKorvaleDlg::BrowseOutputFolder() {
    const std::string start = QFile::encodeName(folderField_->text()).toStdString();
    if (const auto chosen = ui_->ChooseFolder(start, "Save Folder")) {
        folderField_->setText(QFile::decodeName(QByteArray::fromStdString(*chosen)));
    }
}

void CKorvaleDlg::FillPresetCombo() {
    presetCombo_->clear();
    for (const Preset& preset : presets_) {
        presetCombo_->addItem(QString::fromStdString(preset.name));
    }
    // Nothing is selected until a caller says which entry.
    presetCombo_->setCurrentIndex(-1);
}

void CKorvaleDlg::ShowPresetValues(int index) {
    const Preset& preset = presets_[static_cast<size_t>(index)];
    const uint32_t values[] = {preset.width, preset.height, preset.dpi};
    for (int i = 0; i < 3; ++i) {
        presetValues_[i]->setText(QString::fromStdString(FormatText("%u ", values[i])));
    }
}

void CKorvaleDlg::OnSelchangePreset() {
    const int index = presetCombo_->currentIndex();
    if (index >= 0 && static_cast<size_t>(index) < presets_.size()) {
        ShowPresetValues(index);
    }
}

void CKorvaleDlg::OnApplyPreset() {
    const int index = presetCombo_->currentIndex();
    if (index < 0 || static_cast<size_t>(index) >= presets_.size()) {
        return;
    }
    const Preset& preset = presets_[static_cast<size_t>(index)];
    widthField_->setText(QString::fromStdString(FormatText("%u", preset.width)));
    heightField_->setText(QString::fromStdString(FormatText("%u", preset.height)));
    dpiField_->setText(QString::fromStdString(FormatText("%u", preset.dpi)));
}

void CKorvaleDlg::OnEditPresets() {
    if (!environment_.editPresets) {
        return;
    }
    std::optional<PresetList> edited = environment_.editPresets(this, presets_, *ui_);
    if (!edited) {
        return;  // cancelled: nothing changes and nothing is written
    }
    presets_ = std::move(*edited);
    FillPresetCombo();
    if (!presets_.empty()) {
        presetCombo_->setCurrentIndex(0);
        ShowPresetValues(0);
    }
    UpdateControlStates(true);
    if (SavePresets(presetFolder_, presets_, *ui_, presetBackupPending_)) {
        presetBackupPending_ = false;  // the original is kept once, before the first save
    }
}

void CKorvaleDlg::RunBatch() {
    if (!ExchangeOptionsFromControls()) {
        return;
    }
    std::string error;
    const ImageEngine* engine = LoadedImageEngine(&error);
    if (engine == nullptr) {
        ui_->ShowDetailedMessage(Message(MessageId::ImageEngineLoadFailed), error);
        return;
    }
    BatchRequest request = MakeBatchRequest(options_, ReadControls());
    failedRows_.clear();
    const BatchEnd end = engine->runBatch(files_, request, running_, *this, *ui_);
    if (end != BatchEnd::NotStarted) {
        // Files converted in place are other files now: their rows and statistics follow.
        ProbeAgain(files_, FindOverlaps(files_, OutputPaths(request, files_)).replacedSources,
                   *this);
        if (!failedRows_.empty()) {
            // The skipped files stay selected, so that 選択 → 削除 of the others redoes them.
            QItemSelection rows;
            for (const size_t row : failedRows_) {
                const QModelIndex index = model_->index(static_cast<int>(row), 0);
                rows.select(index, index);
            }
            list_->selectionModel()->select(
                rows, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            UpdateControlStates(true);
        }
        // The stop button has just disabled itself; Qt would hand the focus on to the close
        // button, where the next Enter would end the program.
        auto* run = ControlAs<QPushButton>(1013);
        run->setFocus(Qt::OtherFocusReason);
        // The window may get its focus events only once it is active again; until then no
        // other button may look like the one Enter presses.
        for (QPushButton* button : findChildren<QPushButton*>()) {
            button->setDefault(button == run && run->isEnabled());
        }
    }
    options_.outputFolder = request.outputFolder;  // the separator the run appended stays
    ReleaseUnusedMemory();
}

void CKorvaleDlg::SetStatusText(const std::string& text) {
    status_->setText(QString::fromStdString(text));
}

void CKorvaleDlg::SetProgressRange(int maximum) {
    progress_->setRange(0, maximum);
}

void CKorvaleDlg::SetProgressPosition(int position) {
    progress_->setValue(position);
}

void CKorvaleDlg::ShowFailedFiles(const std::vector<FailedFile>& failed) {
    failedRows_.clear();
    for (const FailedFile& file : failed) {
        failedRows_.push_back(file.index);
    }
}

}  // namespace korvale
