#pragma once

// The copy window's log: one line per copy or failed copy of the current pass, kept compactly
// and shown by a list view without an item per line.

#include "SyncPass.h"

#include <QAbstractListModel>
#include <cstddef>
#include <string>
#include <vector>

namespace doplet {

class LogModel final : public QAbstractListModel {
    Q_OBJECT

public:
    explicit LogModel(int itemHeight, QObject* parent = nullptr);

    void clear();
    // Appends the lines at the end, in order.
    void append(const std::vector<LogLine>& lines);
    [[nodiscard]] QString line(int row) const;

    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

private:
    int itemHeight_;
    std::string bytes_;
    std::vector<std::size_t> ends_;
};

} // namespace doplet
