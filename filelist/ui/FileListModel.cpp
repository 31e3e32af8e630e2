// The file list as a table model.
#include "FileListModel.h"

#include <QFile>

#include "ListStatistics.h"

namespace korvale {

FileListModel::FileListModel(const FileList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {}

void FileListModel::Refresh() {
    beginResetModel();
    endResetModel();
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kFileColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= list_.size()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        // Names are file-system bytes; decode them as the file system does.
        return QFile::decodeName(QByteArray::fromStdString(FileCellText(
            list_, static_cast<size_t>(index.row()), static_cast<FileColumn>(index.column()))));
    }
    if (role == Qt::ToolTipRole) {
        // The name column shows the file's name only; the row tells its folder on hovering.
        return QFile::decodeName(
            QByteArray::fromStdString(list_[static_cast<size_t>(index.row())].path));
    }
    if (role == kPathRole) {
        return QByteArray::fromStdString(list_[static_cast<size_t>(index.row())].path);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    static const char* const kHeaders[kFileColumnCount] = {
        "No.", QT_TR_NOOP("ファイル名"), QT_TR_NOOP("幅(dot)"), QT_TR_NOOP("高さ(dot)"), "DPI"};
    return section >= 0 && section < kFileColumnCount ? tr(kHeaders[section]) : QVariant();
}

}  // namespace korvale
