// The file list view.
#include "DropListCtrl.h"

#include <QCursor>
#include <QDragEnterEvent>
#include <QFile>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>
#include <QUrl>
#include <algorithm>

#include "FileListModel.h"
#include "ThumbnailQueue.h"

namespace korvale {
namespace {

// Enough rows for a mouse going back and forth; each holds one PNG of some 50 kB.
constexpr size_t kKnownThumbnails = 64;

QString ImageElement(const ThumbnailLookUp& found) {
    if (!found.thumbnail) {
        return {};
    }
    const QImage& image = found.thumbnail->image;
    return QStringLiteral("<br><img src=\"data:image/png;base64,%1\" width=\"%2\" height=\"%3\">")
        .arg(QString::fromLatin1(found.thumbnail->png.toBase64()))
        .arg(image.width())
        .arg(image.height());
}

bool HasLocalFiles(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return false;
    }
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

}  // namespace

CDropListCtrl::CDropListCtrl(QWidget* parent) : QTableView(parent) {
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The arrow keys move the selection; Tab goes on to the next control, as in a report list.
    setTabKeyNavigation(false);
    setWordWrap(false);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

CDropListCtrl::~CDropListCtrl() = default;

void CDropListCtrl::EnableThumbnails(MakeThumbnail make, std::string cacheRoot) {
    thumbnails_ = std::make_unique<ThumbnailQueue>(
        [make = std::move(make), cacheRoot = std::move(cacheRoot)](const std::string& path) {
            return CachedOrMadeThumbnail(path, cacheRoot, make);
        },
        [this](const std::string& path, const ThumbnailLookUp& found) {
            // Encoded here, off the user-interface thread; the queue is joined before `this`
            // goes, and Qt drops the posted call of a deleted object.
            QMetaObject::invokeMethod(
                this, [this, path, image = ImageElement(found)] { ThumbnailArrived(path, image); },
                Qt::QueuedConnection);
        });
    // The files may have been rewritten in place.
    connect(model(), &QAbstractItemModel::modelReset, this, [this] {
        known_.clear();
        knownOrder_.clear();
    });
}

std::string CDropListCtrl::PathOf(int row) const {
    return model()->index(row, 0).data(FileListModel::kPathRole).toByteArray().toStdString();
}

QString CDropListCtrl::ToolTipOf(int row) const {
    const QString path = model()->index(row, 0).data(Qt::ToolTipRole).toString();
    const auto known = known_.find(PathOf(row));
    if (known == known_.end() || known->second.isEmpty()) {
        return path;
    }
    return QStringLiteral("<p style=\"white-space:pre\">%1%2</p>")
        .arg(path.toHtmlEscaped(), known->second);
}

bool CDropListCtrl::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip || !thumbnails_) {
        return QTableView::viewportEvent(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    if (!index.isValid()) {
        return QTableView::viewportEvent(event);
    }
    hovered_ = PathOf(index.row());
    if (known_.count(hovered_) == 0) {
        thumbnails_->Request(hovered_);
    }
    QToolTip::showText(help->globalPos(), ToolTipOf(index.row()), viewport(), visualRect(index));
    return true;
}

void CDropListCtrl::ThumbnailArrived(const std::string& path, const QString& image) {
    if (known_.emplace(path, image).second) {
        knownOrder_.push_back(path);
        if (knownOrder_.size() > kKnownThumbnails) {
            known_.erase(knownOrder_.front());
            knownOrder_.pop_front();
        }
    }
    // Shown at once when the mouse still rests on that row.
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(QCursor::pos()));
    if (path == hovered_ && !image.isEmpty() && QToolTip::isVisible() && index.isValid() &&
        PathOf(index.row()) == path) {
        QToolTip::showText(QCursor::pos(), ToolTipOf(index.row()), viewport(), visualRect(index));
    }
}

void CDropListCtrl::SetColumnWidths(int extra) {
    // W: the client width less a vertical scroll bar, integer divisions; what the list is wider
    // than that goes to the file name.
    const int w =
        width() - extra - 2 * frameWidth() - style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int widths[] = {w / 10, w - 2 * (w / 7) - w / 9 - w / 10 + extra, w / 7, w / 7, w / 9};
    for (int column = 0; column < 5; ++column) {
        setColumnWidth(column, widths[column]);
    }
}

std::vector<size_t> CDropListCtrl::SelectedRows() const {
    std::vector<size_t> rows;
    if (selectionModel() == nullptr) {
        return rows;
    }
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.push_back(static_cast<size_t>(index.row()));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CDropListCtrl::dragEnterEvent(QDragEnterEvent* event) {
    if (HasLocalFiles(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CDropListCtrl::dragMoveEvent(QDragMoveEvent* event) {
    if (HasLocalFiles(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CDropListCtrl::dropEvent(QDropEvent* event) {
    if (!HasLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            // Folders are taken too: they fail the probe and count as unreadable.
            QString path = url.toLocalFile();
            while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
                path.chop(1);
            }
            paths.push_back(QFile::encodeName(path).toStdString());
        }
    }
    event->acceptProposedAction();
    emit FilesDropped(paths);
}

}  // namespace korvale
