#include "FileListModel.h"

#include <QSize>
#include <utility>

namespace doplet {

FileListModel::FileListModel(int tag, int itemHeight, QObject* parent)
    : QAbstractListModel(parent), tag_(tag), itemHeight_(itemHeight),
      list_(std::make_shared<FileList>(tag)) {}

void FileListModel::setList(std::shared_ptr<const FileList> list) {
    beginResetModel();
    list_ = list ? std::move(list) : std::make_shared<FileList>(tag_);
    endResetModel();
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list_->size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        // Display only: a name that is not valid UTF-8 shows with replacement characters, while
        // the pass works on the entry's bytes.
        const std::string_view entry = list_->at(static_cast<std::size_t>(index.row()));
        return QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size()));
    }
    if (role == Qt::SizeHintRole) {
        return QSize(1, itemHeight_);
    }
    return {};
}

} // namespace doplet
