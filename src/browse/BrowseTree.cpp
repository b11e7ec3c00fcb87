#include "browse/BrowseTree.h"

#include <functional>

namespace zestrel
{

BrowseTree::BrowseTree(QObject *parent) : QObject(parent), tvUsersSelection(&tvUsers) {}

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
    // Index order, stopping at the first match.
    const std::function<QModelIndex(const QModelIndex &)> walk = [&](const QModelIndex &parent) {
        const int rows = tvUsers.rowCount(parent);
        for (int r = 0; r < rows; ++r) {
            const QModelIndex child = tvUsers.index(r, 0, parent);
            if (NodeKey(child) == key)
                return child;
            if (const QModelIndex found = walk(child); found.isValid())
                return found;
        }
        return QModelIndex();
    };
    return walk(QModelIndex());
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
    const QModelIndex parent = FindNode(parentKey);
    if (!parent.isValid())
        return false;
    if (children.isEmpty())
        return true;
    QList<QStandardItem *> items;
    items.reserve(children.size());
    for (const NewNode &n : children) {
        auto *item = new QStandardItem(n.text);
        item->setData(n.key, NodeKeyRole);
        item->setEditable(false);
        items.append(item);
    }
    // One insertion, so a view lays out a long list once.
    tvUsers.itemFromIndex(parent)->appendRows(items);
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
