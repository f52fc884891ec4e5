#pragma once

// The copy window's log: one line per copy or failed copy of the current pass, kept compactly
// and shown by a list view without an item per line. Failure lines are drawn in the palette's
// error colour (LogLineDelegate).

#include "SyncPass.h"

#include <QAbstractListModel>
#include <QColor>
#include <QStyledItemDelegate>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace doplet {

class LogModel final : public QAbstractListModel {
    Q_OBJECT

public:
    // True on a failure line.
    static constexpr int FailedRole = Qt::UserRole + 1;

    explicit LogModel(int itemHeight, QObject* parent = nullptr);

    void clear();
    // Appends the lines at the end, in order.
    void append(const std::vector<LogLine>& lines);
    [[nodiscard]] QString line(int row) const;
    // Every line, each followed by a line break.
    [[nodiscard]] QString text() const;

    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

private:
    // Where a line's text lies.
    struct Place {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint32_t size : 31;
        std::uint32_t failed : 1;
    };

    void appendText(const std::string& text, bool failed);

    int itemHeight_;
    // The text in blocks that are filled and never moved: a log that grows never copies what it
    // holds, which on a long pass would hold up the interface thread for tens of milliseconds
    // at a time.
    std::vector<std::string> blocks_;
    std::deque<Place> places_;
};

// The colours of a failure line in a view of this palette: red text on a light background, a
// lighter red on a dark one; when selected, white on dark red.
struct ErrorColours {
    QColor text;
    QColor selectedBackground;
    QColor selectedText;
};
ErrorColours ErrorColoursFor(const QPalette& palette);

// Draws the failure lines of a LogModel in the error colours.
class LogLineDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

} // namespace doplet
