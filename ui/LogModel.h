#pragma once

// The copy window's log: one line per copy or failed copy of the current pass, kept compactly
// and shown by a list view without an item per line.

#include "SyncPass.h"

#include <QAbstractListModel>
#include <cstdint>
#include <deque>
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
    // Where a line's text lies.
    struct Place {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint32_t size;
    };

    void appendText(const std::string& text);

    int itemHeight_;
    // The text in blocks that are filled and never moved: a log that grows never copies what it
    // holds, which on a long pass would hold up the interface thread for tens of milliseconds
    // at a time.
    std::vector<std::string> blocks_;
    std::deque<Place> places_;
};

} // namespace doplet
