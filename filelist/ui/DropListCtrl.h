// The main window's file list view: a report-style table with grid lines, full-row multiple
// selection and no sorting, which accepts local files and folders dropped onto it.
#pragma once

#include <QTableView>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ThumbnailCache.h"

namespace korvale {

class ThumbnailQueue;

class CDropListCtrl : public QTableView {
    Q_OBJECT

public:
    explicit CDropListCtrl(QWidget* parent);
    ~CDropListCtrl() override;

    // Sets the five column widths from the view's width, as the list's template does.
    // `extra`: how much wider than its template the list is; the file name column takes it.
    void SetColumnWidths(int extra = 0);
    // The selected rows, ascending.
    std::vector<size_t> SelectedRows() const;

    // Hovering a row shows its thumbnail under its path: from the cache at `cacheRoot`, else
    // made by `make` on a worker thread and kept there. The model must be set first.
    void EnableThumbnails(MakeThumbnail make, std::string cacheRoot);
    // The tooltip a row shows now: its path, with its thumbnail once one is known.
    QString ToolTipOf(int row) const;

signals:
    // Paths in the order of the drop, as file-system byte strings.
    void FilesDropped(const std::vector<std::string>& paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // On the user-interface thread, with the `<img>` of the thumbnail (empty: there is none).
    void ThumbnailArrived(const std::string& path, const QString& image);
    std::string PathOf(int row) const;

    std::unique_ptr<ThumbnailQueue> thumbnails_;
    // The last thumbnails shown, as `<img>` elements, oldest first out.
    std::map<std::string, QString> known_;
    std::deque<std::string> knownOrder_;
    std::string hovered_;
};

}  // namespace korvale
