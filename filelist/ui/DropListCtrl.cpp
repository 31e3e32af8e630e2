// The file list view.
#include "DropListCtrl.h"

#include <QDragEnterEvent>
#include <QFile>
#include <QHeaderView>
#include <QMimeData>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>
#include <algorithm>

namespace korvale {
namespace {

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
