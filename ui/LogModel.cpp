#include "LogModel.h"

#include <QSize>

namespace doplet {

LogModel::LogModel(int itemHeight, QObject* parent)
    : QAbstractListModel(parent), itemHeight_(itemHeight) {}

void LogModel::clear() {
    beginResetModel();
    bytes_.clear();
    bytes_.shrink_to_fit();
    ends_.clear();
    ends_.shrink_to_fit();
    endResetModel();
}

void LogModel::append(const std::vector<LogLine>& lines) {
    if (lines.empty()) {
        return;
    }
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(lines.size()) - 1);
    for (const LogLine& line : lines) {
        bytes_ += line.text();
        ends_.push_back(bytes_.size());
    }
    endInsertRows();
}

QString LogModel::line(int row) const {
    const std::size_t index = static_cast<std::size_t>(row);
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return QString::fromUtf8(bytes_.data() + begin, static_cast<qsizetype>(ends_[index] - begin));
}

int LogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(ends_.size());
}

QVariant LogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return line(index.row());
    }
    if (role == Qt::SizeHintRole) {
        return QSize(1, itemHeight_);
    }
    return {};
}

} // namespace doplet
