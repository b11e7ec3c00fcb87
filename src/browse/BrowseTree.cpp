#include "browse/BrowseTree.h"

#include <functional>
#include <utility>

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
    track(item);
    if (updates_ > 0) {
        pendingMembers_.append(item);
        return {};
    }
    Flush(); // keeps the order of arrival
    tvUsers.appendRow(item);
    return item->index();
}

void BrowseTree::EndUpdates()
{
    if (updates_ > 0 && --updates_ == 0)
        Flush();
}

void BrowseTree::Flush() const
{
    if (pendingMembers_.isEmpty())
        return;
    const QList<QStandardItem *> items = std::exchange(pendingMembers_, {});
    // One insertion for all of them; the model owns the items from here.
    const_cast<QStandardItemModel &>(tvUsers).invisibleRootItem()->appendRows(items);
}

bool BrowseTree::RemoveNodeByKey(const QString &key)
{
    const auto it = byKey_.constFind(key);
    if (it == byKey_.cend())
        return false;
    QStandardItem *item = it.value();
    const qsizetype pending = pendingMembers_.indexOf(item);
    if (pending >= 0) {
        // Never shown: it goes without the model hearing of it.
        byKey_.erase(it);
        pendingMembers_.removeAt(pending);
        delete item;
        return true;
    }
    RemoveNode(item->index());
    return true;
}

QList<QModelIndex> BrowseTree::AllNodes() const
{
    Flush();
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
    Flush();
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
    // A valid index is a node in the model; the gathered ones behind it keep waiting, so
    // members arriving and leaving in turn still arrive in one insertion.
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
    Flush();
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
    for (QStandardItem *item : std::exchange(pendingMembers_, {})) {
        byKey_.remove(item->data(NodeKeyRole).toString());
        delete item;
    }
    tvUsers.removeRows(0, tvUsers.rowCount());
}

} // namespace zestrel
