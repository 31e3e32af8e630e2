// The main window's file list view: a report-style table with grid lines, full-row multiple
// selection and no sorting, which accepts local files and folders dropped onto it.
#pragma once

#include <QTableView>
#include <string>
#include <vector>

namespace korvale {

class CDropListCtrl : public QTableView {
    Q_OBJECT

public:
    explicit CDropListCtrl(QWidget* parent);

    // Sets the five column widths from the view's width, as the list's template does.
    // `extra`: how much wider than its template the list is; the file name column takes it.
    void SetColumnWidths(int extra = 0);
    // The selected rows, ascending.
    std::vector<size_t> SelectedRows() const;

signals:
    // Paths in the order of the drop, as file-system byte strings.
    void FilesDropped(const std::vector<std::string>& paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

}  // namespace korvale
