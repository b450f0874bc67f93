// The group tree's entries: the project's servers at the root, each server's groups below.
// An entry holds only its object; text, images and the bold selection are produced when the
// tree paints. Entries are inserted in sorted position by their text at that moment, and
// nothing else reorders them.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>

#include <memory>
#include <unordered_map>
#include <vector>

class CVGroup;
class CVServer;

// The entry images, numbered as in the program's tree image strip.
enum class TreeImage {
    kServerConnected = 0,
    kGroupActive = 2,
    kGroupInactive = 3,
    kServerNotConnected = 6,
    kGroupNotCreated = 7,
};

class GroupTreeModel : public QAbstractItemModel {
public:
    explicit GroupTreeModel(QObject* parent = nullptr);
    ~GroupTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Each returns the new entry; a group whose server has no entry gets none.
    QModelIndex InsertServer(CVServer* server);
    QModelIndex InsertGroup(CVGroup* group);
    // Removes the entry (a server's with its groups' entries); unknown objects are ignored.
    void RemoveServer(const CVServer* server);
    void RemoveGroup(const CVGroup* group);
    void Clear();

    QModelIndex IndexOfServer(const CVServer* server) const;
    QModelIndex IndexOfGroup(const CVGroup* group) const;
    // The entry's object: a server at the root, a group below; null for other indexes.
    CVServer* ServerAt(const QModelIndex& index) const;
    CVGroup* GroupAt(const QModelIndex& index) const;

    // The entry's image; a selected group shows its open folder (drawn from the same image).
    TreeImage ImageOf(const QModelIndex& index) const;

    // The entry drawn bold (the selection); an invalid index for none.
    void SetBoldEntry(const QModelIndex& index);

private:
    struct Node {
        void* object;
        Node* parent;  // null for a server
        std::vector<std::unique_ptr<Node>> children;
    };

    Node* NodeAt(const QModelIndex& index) const;
    QModelIndex IndexOf(const Node* node) const;
    const std::vector<std::unique_ptr<Node>>& Siblings(const Node* parent) const;
    QString TextOf(const Node& node) const;
    // Where an entry with `text` goes among `siblings`: after every entry that sorts before
    // it or equal.
    int SortedRow(const std::vector<std::unique_ptr<Node>>& siblings, const QString& text) const;
    void Forget(const Node& node);

    std::vector<std::unique_ptr<Node>> servers_;
    std::unordered_map<const void*, Node*> nodes_;
    const Node* bold_ = nullptr;
    QIcon serverConnected_, serverNotConnected_, groupActive_, groupInactive_, groupNotCreated_;
};
