#include "ui/navigation/group_tree_model.h"

#include "opc/client/group.h"
#include "opc/client/server.h"
#include "ui/resources/icons.h"

#include <QFont>

#include <algorithm>

namespace {

// The closed folder when the entry is not selected, the open one when it is.
QIcon FolderIcon(const char* closed, const char* open) {
    QIcon icon = LoadIcon(closed);
    const QIcon opened = LoadIcon(open);
    for (const QSize& size : opened.availableSizes()) icon.addPixmap(opened.pixmap(size), QIcon::Selected);
    return icon;
}

}  // namespace

GroupTreeModel::GroupTreeModel(QObject* parent)
    : QAbstractItemModel(parent),
      serverConnected_(LoadIcon("server_connected")),
      serverNotConnected_(LoadIcon("server_disconnected")),
      groupActive_(FolderIcon("group_active", "group_active_open")),
      groupInactive_(FolderIcon("group_inactive", "group_inactive_open")),
      groupNotCreated_(LoadIcon("group_not_created")) {}

GroupTreeModel::~GroupTreeModel() = default;

GroupTreeModel::Node* GroupTreeModel::NodeAt(const QModelIndex& index) const {
    return index.isValid() && index.model() == this ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

const std::vector<std::unique_ptr<GroupTreeModel::Node>>& GroupTreeModel::Siblings(const Node* parent) const {
    return parent ? parent->children : servers_;
}

QModelIndex GroupTreeModel::IndexOf(const Node* node) const {
    if (!node) return {};
    const auto& siblings = Siblings(node->parent);
    const auto found =
        std::find_if(siblings.begin(), siblings.end(), [node](const auto& sibling) { return sibling.get() == node; });
    if (found == siblings.end()) return {};
    return createIndex(static_cast<int>(found - siblings.begin()), 0, const_cast<Node*>(node));
}

QModelIndex GroupTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    const Node* parentNode = NodeAt(parent);
    if (parent.isValid() && !parentNode) return {};
    const auto& siblings = Siblings(parentNode);
    if (static_cast<std::size_t>(row) >= siblings.size()) return {};
    return createIndex(row, 0, siblings[static_cast<std::size_t>(row)].get());
}

QModelIndex GroupTreeModel::parent(const QModelIndex& child) const {
    const Node* node = NodeAt(child);
    return node ? IndexOf(node->parent) : QModelIndex();
}

int GroupTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return static_cast<int>(servers_.size());
    const Node* node = NodeAt(parent);
    return node ? static_cast<int>(node->children.size()) : 0;
}

int GroupTreeModel::columnCount(const QModelIndex&) const { return 1; }

QString GroupTreeModel::TextOf(const Node& node) const {
    if (!node.parent) return QString::fromStdString(static_cast<const CVServer*>(node.object)->progId);
    return QString::fromStdString(static_cast<const CVGroup*>(node.object)->Name());
}

QVariant GroupTreeModel::data(const QModelIndex& index, int role) const {
    const Node* node = NodeAt(index);
    if (!node) return {};
    switch (role) {
    case Qt::DisplayRole: return TextOf(*node);
    case Qt::DecorationRole:
        switch (ImageOf(index)) {
        case TreeImage::kServerConnected: return serverConnected_;
        case TreeImage::kServerNotConnected: return serverNotConnected_;
        case TreeImage::kGroupActive: return groupActive_;
        case TreeImage::kGroupInactive: return groupInactive_;
        case TreeImage::kGroupNotCreated: return groupNotCreated_;
        }
        return {};
    case Qt::FontRole: {
        if (node != bold_) return {};
        QFont font;
        font.setBold(true);
        return font;
    }
    default: return {};
    }
}

int GroupTreeModel::SortedRow(const std::vector<std::unique_ptr<Node>>& siblings, const QString& text) const {
    const auto after = std::find_if(siblings.begin(), siblings.end(), [this, &text](const auto& sibling) {
        return QString::localeAwareCompare(TextOf(*sibling), text) > 0;
    });
    return static_cast<int>(after - siblings.begin());
}

QModelIndex GroupTreeModel::InsertServer(CVServer* server) {
    if (!server || nodes_.contains(server)) return IndexOfServer(server);
    const int row = SortedRow(servers_, QString::fromStdString(server->progId));
    beginInsertRows(QModelIndex(), row, row);
    auto node = std::make_unique<Node>(Node{server, nullptr, {}});
    nodes_[server] = node.get();
    servers_.insert(servers_.begin() + row, std::move(node));
    endInsertRows();
    return index(row, 0);
}

QModelIndex GroupTreeModel::InsertGroup(CVGroup* group) {
    if (!group || nodes_.contains(group)) return IndexOfGroup(group);
    const auto owner = nodes_.find(group->server);
    if (owner == nodes_.end()) return {};
    Node* serverNode = owner->second;
    const QModelIndex parentIndex = IndexOf(serverNode);
    const int row = SortedRow(serverNode->children, QString::fromStdString(group->Name()));
    beginInsertRows(parentIndex, row, row);
    auto node = std::make_unique<Node>(Node{group, serverNode, {}});
    nodes_[group] = node.get();
    serverNode->children.insert(serverNode->children.begin() + row, std::move(node));
    endInsertRows();
    return index(row, 0, parentIndex);
}

void GroupTreeModel::Forget(const Node& node) {
    for (const auto& child : node.children) Forget(*child);
    if (bold_ == &node) bold_ = nullptr;
    nodes_.erase(node.object);
}

void GroupTreeModel::RemoveServer(const CVServer* server) {
    const QModelIndex entry = IndexOfServer(server);
    if (!entry.isValid()) return;
    beginRemoveRows(QModelIndex(), entry.row(), entry.row());
    Forget(*servers_[static_cast<std::size_t>(entry.row())]);
    servers_.erase(servers_.begin() + entry.row());
    endRemoveRows();
}

void GroupTreeModel::RemoveGroup(const CVGroup* group) {
    const QModelIndex entry = IndexOfGroup(group);
    if (!entry.isValid()) return;
    Node* serverNode = NodeAt(entry)->parent;
    beginRemoveRows(entry.parent(), entry.row(), entry.row());
    Forget(*serverNode->children[static_cast<std::size_t>(entry.row())]);
    serverNode->children.erase(serverNode->children.begin() + entry.row());
    endRemoveRows();
}

void GroupTreeModel::Clear() {
    beginResetModel();
    servers_.clear();
    nodes_.clear();
    bold_ = nullptr;
    endResetModel();
}

QModelIndex GroupTreeModel::IndexOfServer(const CVServer* server) const {
    const auto found = nodes_.find(server);
    return found != nodes_.end() && !found->second->parent ? IndexOf(found->second) : QModelIndex();
}

QModelIndex GroupTreeModel::IndexOfGroup(const CVGroup* group) const {
    const auto found = nodes_.find(group);
    return found != nodes_.end() && found->second->parent ? IndexOf(found->second) : QModelIndex();
}

CVServer* GroupTreeModel::ServerAt(const QModelIndex& index) const {
    const Node* node = NodeAt(index);
    return node && !node->parent ? static_cast<CVServer*>(node->object) : nullptr;
}

CVGroup* GroupTreeModel::GroupAt(const QModelIndex& index) const {
    const Node* node = NodeAt(index);
    return node && node->parent ? static_cast<CVGroup*>(node->object) : nullptr;
}

TreeImage GroupTreeModel::ImageOf(const QModelIndex& index) const {
    if (const CVServer* server = ServerAt(index))
        return server->IsConnected() ? TreeImage::kServerConnected : TreeImage::kServerNotConnected;
    const CVGroup* group = GroupAt(index);
    if (!group || !group->onServer) return TreeImage::kGroupNotCreated;
    return group->active ? TreeImage::kGroupActive : TreeImage::kGroupInactive;
}

void GroupTreeModel::SetBoldEntry(const QModelIndex& index) {
    const Node* node = NodeAt(index);
    if (node == bold_) return;
    const QModelIndex old = IndexOf(bold_);
    bold_ = node;
    if (old.isValid()) emit dataChanged(old, old, {Qt::FontRole});
    if (index.isValid()) emit dataChanged(index, index, {Qt::FontRole});
}
