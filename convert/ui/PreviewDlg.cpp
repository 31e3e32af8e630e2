// The preview window and its worker.
#include "PreviewDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cmath>

#include "AtomicFile.h"
#include "DialogLayout.h"
#include "ImageEngine.h"
#include "Preview.h"
#include "Text.h"
#include "Words.h"

namespace korvale {

struct CPreviewDlg::Result {
    uint64_t generation = 0;
    std::string line;
    std::shared_ptr<const PreviewSource> source;
    PreviewPicture picture;
    bool engineMissing = false;  // the engine could not be loaded; `line` says why
};

// Draws the picture centred, scaled down to fit, with the output's frame over it.
class PreviewCanvas : public QWidget {
public:
    explicit PreviewCanvas(QWidget* parent) : QWidget(parent) {
        setMinimumSize(320, 240);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

    void Show(QImage image, QRect output, QRect placed) {
        image_ = std::move(image);
        output_ = output;
        placed_ = placed;
        update();
    }
    void Clear() {
        image_ = QImage();
        update();
    }
    const QImage& image() const { return image_; }

    // Room for the picture in device pixels, so that a high-density screen gets a sharp one.
    PixelSize Box() const {
        const double ratio = devicePixelRatioF();
        return {std::max(1, static_cast<int>((width() - 8) * ratio)),
                std::max(1, static_cast<int>((height() - 8) * ratio))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().window());
        if (image_.isNull()) {
            return;
        }
        const double ratio = devicePixelRatioF();
        const double fit = std::min(
            {1.0 / ratio, (width() - 8.0) / image_.width(), (height() - 8.0) / image_.height()});
        const QSizeF size(image_.width() * fit, image_.height() * fit);
        const QPointF origin((width() - size.width()) / 2, (height() - size.height()) / 2);
        const auto map = [&](const QRect& r) {
            return QRectF(origin.x() + r.x() * fit, origin.y() + r.y() * fit, r.width() * fit,
                          r.height() * fit);
        };
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(origin, size), image_);
        // The scaled or placed source inside the margins, then the frame of what is written.
        if (placed_ != output_) {
            painter.setPen(QPen(QColor(0, 120, 215), 1, Qt::DotLine));
            painter.drawRect(map(placed_).adjusted(0, 0, -1, -1));
        }
        painter.setPen(QPen(QColor(220, 0, 0), 2));
        painter.drawRect(map(output_).adjusted(-1, -1, 1, 1));
    }

private:
    QImage image_;
    QRect output_;
    QRect placed_;
};

namespace {

constexpr const char* kOutlierNames[] = {QT_TRANSLATE_NOOP("korvale::CPreviewDlg", "最大の拡大"),
                                         QT_TRANSLATE_NOOP("korvale::CPreviewDlg", "最大の縮小"),
                                         QT_TRANSLATE_NOOP("korvale::CPreviewDlg", "切り取り最大"),
                                         QT_TRANSLATE_NOOP("korvale::CPreviewDlg", "余白最大")};

QRect ToQRect(const cv::Rect& r) {
    return QRect(r.x, r.y, r.width, r.height);
}

QImage ToQImage(const cv::Mat& rgba) {
    // A deep copy: the image outlives the matrix of the worker.
    return QImage(rgba.data, rgba.cols, rgba.rows, static_cast<qsizetype>(rgba.step),
                  QImage::Format_RGBA8888)
        .copy();
}

}  // namespace

CPreviewDlg::CPreviewDlg(QWidget* parent) : QDialog(parent, Qt::Window) {
    setWindowTitle(tr("プレビュー"));
    setFont(ui::DialogFont());
    setModal(false);
    // One conversion at a time: a newer request waits for the running one and replaces any
    // other waiting one, so at most one stale picture is ever made.
    pool_.setMaxThreadCount(1);
    auto* layout = new QVBoxLayout(this);
    auto* outliers = new QHBoxLayout;
    outliers->addWidget(new QLabel(tr("極端なファイル："), this));
    for (int i = 0; i < 4; ++i) {
        outlierButtons_[i] = new QPushButton(tr(kOutlierNames[i]), this);
        outlierButtons_[i]->setEnabled(false);
        outlierButtons_[i]->setAutoDefault(false);
        outliers->addWidget(outlierButtons_[i]);
        connect(outlierButtons_[i], &QPushButton::clicked, this, [this, i] {
            if (outlierRows_[i] && onOutlierPicked) {
                onOutlierPicked(*outlierRows_[i]);
            }
        });
    }
    outliers->addStretch();
    layout->addLayout(outliers);
    canvas_ = new PreviewCanvas(this);
    layout->addWidget(canvas_, 1);
    line_ = new QLabel(this);
    line_->setTextFormat(Qt::PlainText);
    line_->setWordWrap(true);
    line_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(line_);
    resize(560, 480);
}

CPreviewDlg::~CPreviewDlg() {
    // The worker posts its result to this window; it must be done before the window goes.
    pool_.waitForDone();
}

void CPreviewDlg::Request(PreviewJob job) {
    ++generation_;
    if (busy_) {
        pending_.emplace(std::move(job), generation_);
        return;
    }
    Start(std::move(job), generation_);
}

void CPreviewDlg::Start(PreviewJob job, uint64_t generation) {
    busy_ = true;
    const PixelSize box = canvas_->Box();
    std::shared_ptr<const PreviewSource> cached =
        source_ && source_->path == job.path ? source_ : nullptr;
    pool_.start([this, job = std::move(job), generation, box, cached]() mutable {
        auto result = std::make_shared<Result>();
        result->generation = generation;
        result->line = Words(PlanLine(job.plan, job.request.method));
        result->source = std::move(cached);
        std::string error;
        if (const ImageEngine* engine = LoadedImageEngine(&error)) {
            if (!result->source && job.plan.headerRead) {
                // Room to spare for a crop of part of the source; the decoder's scaling steps
                // are powers of two, so a 12 MP JPEG is decoded at a quarter here.
                const int longSide = engine->previewDecodeSide(box);
                if (auto loaded = engine->loadPreviewSource(job.path, longSide)) {
                    result->source = std::make_shared<const PreviewSource>(std::move(*loaded));
                }
            }
            if (result->source) {
                result->picture = engine->makePreview(*result->source, job.request, job.plan, box);
            } else {
                result->picture.result = ConvertResult::ReadFailed;
            }
        } else {
            result->line = Words(Message(MessageId::ImageEngineLoadFailed) + "\n" + error);
            result->engineMissing = true;
        }
        QMetaObject::invokeMethod(
            this, [this, result] { Finished(result); }, Qt::QueuedConnection);
    });
}

void CPreviewDlg::Finished(const std::shared_ptr<Result>& result) {
    busy_ = false;
    if (result->source) {
        source_ = result->source;
    }
    if (pending_) {
        auto next = std::move(*pending_);
        pending_.reset();
        Start(std::move(next.first), next.second);
    }
    if (result->generation != generation_) {
        return;  // the options or the selection changed meanwhile
    }
    const PreviewPicture& picture = result->picture;
    QString line = QString::fromStdString(result->line);
    if (result->engineMissing) {
        canvas_->Clear();
    } else if (picture.result == ConvertResult::Ok) {
        canvas_->Show(ToQImage(picture.shown), ToQRect(picture.output), ToQRect(picture.placed));
    } else {
        canvas_->Clear();
        QString failure = QString::fromStdString(Words(ConvertResultMessage(picture.result)));
        if (picture.lackedMemory) {
            failure += QStringLiteral("\n") + QString::fromStdString(Words(ReasonOf(ENOMEM)));
        }
        if (!line.contains(failure)) {
            line = line.isEmpty() ? failure : line + QStringLiteral("\n") + failure;
        }
    }
    line_->setText(line);
    ++shownCount_;
}

void CPreviewDlg::ShowText(const std::string& text) {
    ++generation_;
    pending_.reset();
    canvas_->Clear();
    line_->setText(QString::fromStdString(text));
}

void CPreviewDlg::SetOutliers(const PlanOutliers& outliers, const std::vector<FilePlan>& plans) {
    const std::optional<size_t> rows[] = {outliers.largestEnlargement, outliers.largestReduction,
                                          outliers.mostCut, outliers.mostMargin};
    for (int i = 0; i < 4; ++i) {
        outlierRows_[i] = rows[i];
        outlierButtons_[i]->setEnabled(rows[i].has_value());
        QString tip;
        if (rows[i]) {
            const FilePlan& plan = plans[*rows[i]];
            tip = QString::fromStdString(FormatText("No.%zu ", *rows[i] + 1)) +
                  QString::fromStdString(std::string(FileNameOf(plan.sourcePath)));
        }
        outlierButtons_[i]->setToolTip(tip);
    }
}

void CPreviewDlg::ForgetSource() {
    if (!busy_) {
        source_.reset();
    }
}

QString CPreviewDlg::planText() const {
    return line_->text();
}

QImage CPreviewDlg::picture() const {
    return canvas_->image();
}

void CPreviewDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (onResized) {
        onResized();
    }
}

}  // namespace korvale
