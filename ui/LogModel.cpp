#include "LogModel.h"

#include <QByteArray>
#include <QPalette>
#include <QSize>
#include <algorithm>

namespace doplet {

namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 20U;

} // namespace

LogModel::LogModel(int itemHeight, QObject* parent)
    : QAbstractListModel(parent), itemHeight_(itemHeight) {}

void LogModel::clear() {
    beginResetModel();
    blocks_.clear();
    blocks_.shrink_to_fit();
    places_.clear();
    places_.shrink_to_fit();
    endResetModel();
}

void LogModel::append(const std::vector<LogLine>& lines) {
    if (lines.empty()) {
        return;
    }
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(lines.size()) - 1);
    for (const LogLine& line : lines) {
        appendText(line.text(), line.failed());
    }
    endInsertRows();
}

void LogModel::appendText(const std::string& text, bool failed) {
    if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < text.size()) {
        blocks_.emplace_back().reserve(std::max(kBlockBytes, text.size()));
    }
    std::string& block = blocks_.back();
    places_.push_back({static_cast<std::uint32_t>(blocks_.size() - 1),
                       static_cast<std::uint32_t>(block.size()),
                       static_cast<std::uint32_t>(text.size()), failed ? 1U : 0U});
    block += text;
}

QString LogModel::line(int row) const {
    const Place& place = places_[static_cast<std::size_t>(row)];
    return QString::fromUtf8(blocks_[place.block].data() + place.offset,
                             static_cast<qsizetype>(place.size));
}

QString LogModel::text() const {
    QByteArray bytes;
    std::size_t total = places_.size();
    for (const std::string& block : blocks_) {
        total += block.size();
    }
    bytes.reserve(static_cast<qsizetype>(total));
    for (const Place& place : places_) {
        bytes.append(blocks_[place.block].data() + place.offset,
                     static_cast<qsizetype>(place.size));
        bytes.append('\n');
    }
    return QString::fromUtf8(bytes);
}

int LogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(places_.size());
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
    if (role == FailedRole) {
        return places_[static_cast<std::size_t>(index.row())].failed != 0U;
    }
    return {};
}

ErrorColours ErrorColoursFor(const QPalette& palette) {
    const bool darkBase = palette.color(QPalette::Base).lightness() < 128;
    return {darkBase ? QColor(255, 112, 112) : QColor(192, 0, 0), QColor(176, 0, 0),
            QColor(255, 255, 255)};
}

void LogLineDelegate::initStyleOption(QStyleOptionViewItem* option,
                                      const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!index.data(LogModel::FailedRole).toBool()) {
        return;
    }
    const ErrorColours colours = ErrorColoursFor(option->palette);
    option->palette.setColor(QPalette::Text, colours.text);
    option->palette.setColor(QPalette::Highlight, colours.selectedBackground);
    option->palette.setColor(QPalette::HighlightedText, colours.selectedText);
}

} // namespace doplet
