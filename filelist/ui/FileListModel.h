// A read-only table over the FileList: the five columns, cell texts computed when drawn, so a
// refresh of 10000 rows costs no more than a reset.
#pragma once

#include <QAbstractTableModel>

#include "FileList.h"

namespace korvale {

class FileListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // The row's path as file-system bytes (a QByteArray), whatever its encoding.
    static constexpr int kPathRole = Qt::UserRole;

    FileListModel(const FileList& list, QObject* parent);

    // Rebuilds the rows from the list (the selection is gone afterwards).
    void Refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const FileList& list_;
};

}  // namespace korvale
