#include "browse/BrowseTree.h"

#include <functional>

namespace zestrel
{

BrowseTree::BrowseTree(QObject *parent) : QObject(parent), tvUsersSelection(&tvUsers)
{
    connect(&tvUsers, &QAbstractItemModel::rowsAboutToBeRemoved, this, &BrowseTree::forget);
    connect(&tvUsers, &QAbstractItemModel::modelAboutToBeReset, this, [this] { byKey_.clear(); });
}

void BrowseTree::track(QStandardItem *item)
{
    // Keys are unique while their nodes live; the first node keeps a key.
    const QString key = item->data(NodeKeyRole).toString();
    if (!byKey_.contains(key))
        byKey_.insert(key, item);
}

void BrowseTree::forget(const QModelIndex &parent, int first, int last)
{
    const std::function<void(QStandardItem *)> drop = [&](QStandardItem *item) {
        const auto it = byKey_.constFind(item->data(NodeKeyRole).toString());
        if (it != byKey_.cend() && it.value() == item)
            byKey_.erase(it);
        for (int r = 0; r < item->rowCount(); ++r)
            drop(item->child(r));
    };
    QStandardItem *owner =
        parent.isValid() ? tvUsers.itemFromIndex(parent) : tvUsers.invisibleRootItem();
    for (int r = first; r <= last; ++r)
        if (QStandardItem *item = owner->child(r))
            drop(item);
}

qint64 BrowseTree::NextNodeNumber()
{
    return NodeCounter++;
}

QString BrowseTree::NodeKey(const QModelIndex &node)
{
    return node.data(NodeKeyRole).toString();
}

QModelIndex BrowseTree::AddMemberNode(const QString &key, const QString &text)
{
    auto *item = new QStandardItem(text);
    item->setData(key, NodeKeyRole);
    item->setEditable(false);
    tvUsers.appendRow(item);
    track(item);
    return item->index();
}

QList<QModelIndex> BrowseTree::AllNodes() const
{
    QList<QModelIndex> nodes;
    const std::function<void(const QModelIndex &)> walk = [&](const QModelIndex &parent) {
        const int rows = tvUsers.rowCount(parent);
        for (int r = 0; r < rows; ++r) {
            const QModelIndex child = tvUsers.index(r, 0, parent);
            nodes.append(child);
            walk(child);
        }
    };
    walk(QModelIndex());
    return nodes;
}

QModelIndex BrowseTree::FindNode(const QString &key) const
{
    const auto it = byKey_.constFind(key);
    return it == byKey_.cend() ? QModelIndex() : it.value()->index();
}

QModelIndex BrowseTree::FindUser(const QModelIndex &node) const
{
    for (QModelIndex n = node; n.isValid(); n = n.parent())
        if (NodeKey(n).contains(QLatin1Char('U')))
            return n;
    return {};
}

void BrowseTree::RemoveNode(const QModelIndex &node)
{
    if (node.isValid())
        tvUsers.removeRow(node.row(), node.parent());
}

void BrowseTree::RemoveChildren(const QModelIndex &node)
{
    if (node.isValid() && tvUsers.rowCount(node) > 0)
        tvUsers.removeRows(0, tvUsers.rowCount(node), node);
}

bool BrowseTree::AddChildNodes(const QString &parentKey, const QList<NewNode> &children)
{
    if (!byKey_.contains(parentKey))
        return false;
    if (children.isEmpty())
        return true;
    QList<QStandardItem *> items;
    items.reserve(children.size());
    QStandardItem *parentItem = byKey_.value(parentKey);
    for (const NewNode &n : children) {
        auto *item = new QStandardItem(n.text);
        item->setData(n.key, NodeKeyRole);
        item->setEditable(false);
        items.append(item);
    }
    // One insertion, so a view lays out a long list once.
    parentItem->appendRows(items);
    for (QStandardItem *item : items)
        track(item);
    return true;
}

void BrowseTree::SetExpanded(const QModelIndex &node, bool expanded)
{
    if (!node.isValid())
        return;
    NoteExpanded(node, expanded);
    emit expansionRequested(node, expanded);
}

void BrowseTree::NoteExpanded(const QModelIndex &node, bool expanded)
{
    if (node.isValid() && IsExpanded(node) != expanded)
        tvUsers.setData(node, expanded, ExpandedRole);
}

void BrowseTree::RemoveAllNodes()
{
    tvUsers.removeRows(0, tvUsers.rowCount());
}

} // namespace zestrel
