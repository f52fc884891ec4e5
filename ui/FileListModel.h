#pragma once

// A file list as a list view shows it: a view over the engine's entries, with nothing stored per
// line, so a million entries fill and scroll at once. The entries are shared with any pass that
// started from them; listing anew swaps in a new list and leaves theirs alone.

#include "FolderListing.h"

#include <QAbstractListModel>
#include <memory>

namespace doplet {

class FileListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    // `tag` links the list to its size label (1 or 2); `itemHeight` is the height of a line.
    FileListModel(int tag, int itemHeight, QObject* parent = nullptr);

    [[nodiscard]] int tag() const { return tag_; }
    [[nodiscard]] const std::shared_ptr<const FileList>& list() const { return list_; }
    void setList(std::shared_ptr<const FileList> list);

    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

private:
    int tag_;
    int itemHeight_;
    std::shared_ptr<const FileList> list_;
};

} // namespace doplet
