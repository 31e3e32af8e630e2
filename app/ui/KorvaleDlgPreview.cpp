// The main window's side of the preview: the request as the controls show it now, the plan of
// the whole list for the outliers, and a refresh after every change the preview depends on.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "DropListCtrl.h"
#include "FileListModel.h"
#include "ImageEngine.h"
#include "KorvaleDlg.h"
#include "Plan.h"
#include "PlanSummary.h"
#include "PreviewDlg.h"
#include "Text.h"
#include "ThumbnailCache.h"

namespace korvale {
namespace {

// Beside the main window where the screen has room, so that neither hides the other.
void PlaceBeside(QWidget& preview, const QWidget& main) {
    const QRect frame = main.frameGeometry();
    QPoint at(frame.right() + 8, frame.top());
    if (const QScreen* screen = main.screen()) {
        const QRect room = screen->availableGeometry();
        if (at.x() + preview.width() > room.right()) {
            at.setX(std::max(room.left(), frame.left() - preview.width() - 8));
        }
        at.setY(
            std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - preview.height())));
    }
    preview.move(at);
}

// On the thumbnail worker: the engine (waited for there) decodes and fits the file.
std::optional<QImage> EngineThumbnail(const std::string& path, int side) {
    const ImageEngine* engine = LoadedImageEngine();
    ThumbnailPixels pixels;
    if (engine == nullptr || !engine->makeThumbnail(path, side, pixels)) {
        return std::nullopt;
    }
    return QImage(pixels.rgba.data(), pixels.width, pixels.height, pixels.width * 4,
                  QImage::Format_RGBA8888)
        .copy();
}

}  // namespace

void CKorvaleDlg::ConnectThumbnails() {
    list_->EnableThumbnails(EngineThumbnail, ThumbnailCacheRoot());
}

void CKorvaleDlg::ConnectPreview() {
    connect(ControlAs<QAbstractButton>(1069), &QAbstractButton::clicked, this,
            [this] { OpenPreview(); });
    for (int id : {1007, 1008, 1020, 1015}) {
        connect(ControlAs<QLineEdit>(id), &QLineEdit::textChanged, this,
                [this] { SchedulePreview(); });
    }
    for (int id :
         {1024, 1025, 1065, 1055, 1057, 1058, 1059, 1037, 1038, 1039, 1067, 1068, 1075, 1076}) {
        connect(ControlAs<QAbstractButton>(id), &QAbstractButton::toggled, this,
                [this] { SchedulePreview(); });
    }
    for (QComboBox* list : {interpolationList_, anchorList_}) {
        connect(list, &QComboBox::currentIndexChanged, this, [this] { SchedulePreview(); });
    }
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { SchedulePreview(); });
}

void CKorvaleDlg::OpenPreview() {
    if (preview_ == nullptr) {
        preview_ = new CPreviewDlg(this);
        preview_->onOutlierPicked = [this](size_t row) { SelectListRow(row); };
        preview_->onResized = [this] { SchedulePreview(); };
        PlaceBeside(*preview_, *this);
    }
    preview_->show();
    preview_->raise();
    preview_->activateWindow();
    SchedulePreview();
}

void CKorvaleDlg::SchedulePreview() {
    if (preview_ == nullptr || !preview_->isVisible() || previewScheduled_) {
        return;
    }
    // Once per burst of changes: applying a preset sets three fields at once.
    previewScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        previewScheduled_ = false;
        UpdatePreview();
    });
}

void CKorvaleDlg::UpdatePreview() {
    if (preview_ == nullptr || !preview_->isVisible()) {
        return;
    }
    // The fields as the run would read them, checked the same way, without any message box.
    BatchOptions typed = options_;
    if (const auto error = korvale::ExchangeOptionsFromControls(ReadControls(), typed)) {
        preview_->SetOutliers({}, {});
        preview_->ShowText(error->message);
        return;
    }
    const BatchRequest request = MakeBatchRequest(typed, ReadControls());
    const std::vector<FilePlan> plans = PlanBatch(request, files_, PlanSizes::AsListed);
    preview_->SetOutliers(FindOutliers(plans), plans);
    if (files_.empty()) {
        preview_->ShowText(tr("ファイルがありません。").toStdString());
        return;
    }
    const std::vector<size_t> selected = list_->SelectedRows();
    const size_t row = selected.empty() ? 0 : selected.front();
    preview_->setWindowTitle(
        tr("プレビュー - No.%1 %2")
            .arg(static_cast<qulonglong>(row + 1))
            .arg(QString::fromStdString(std::string(FileNameOf(files_[row].path)))));
    preview_->Request({files_[row].path, request, plans[row]});
}

void CKorvaleDlg::SelectListRow(size_t row) {
    if (row >= files_.size()) {
        return;
    }
    const QModelIndex index = model_->index(static_cast<int>(row), 0);
    list_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list_->scrollTo(index);
}

}  // namespace korvale
