// The add item dialog's list of leaves: names in ascending order, each with the image of a leaf
// not yet added (0) or added in this run of the dialog (1). Built whole for each listing, from
// names sorted off the GUI thread.
#pragma once

#include <QAbstractListModel>
#include <QIcon>

#include <string>
#include <vector>

class LeafListModel : public QAbstractListModel {
public:
    explicit LeafListModel(QObject* parent = nullptr);

    // Names already in ascending order.
    void SetSortedLeaves(std::vector<std::string> names);
    void Clear() { SetSortedLeaves({}); }
    const std::string& NameAt(int row) const { return leaves_[static_cast<std::size_t>(row)].name; }
    bool IsAdded(int row) const { return leaves_[static_cast<std::size_t>(row)].added; }
    void MarkAdded(int row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    struct Leaf {
        std::string name;
        bool added = false;
    };
    std::vector<Leaf> leaves_;
    QIcon notAdded_;
    QIcon added_;
};
