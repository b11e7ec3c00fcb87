// The browse tree `tvUsers`: member nodes at the top, then recipe types,
// categories, letter groups and recipes below them. Each node carries its key
// (a level letter and a number from NextNodeNumber) in NodeKeyRole.
#pragma once

#include <QHash>
#include <QItemSelectionModel>
#include <QList>
#include <QObject>
#include <QStandardItemModel>
#include <QString>

namespace zestrel
{

// Every node of tvUsers carries its key ("U17", "T18", ...) in this role.
inline constexpr int NodeKeyRole = Qt::UserRole + 1;
// Whether the node is meant to be expanded; the view follows it and writes it back.
inline constexpr int ExpandedRole = Qt::UserRole + 2;

class BrowseTree : public QObject
{
    Q_OBJECT
  public:
    explicit BrowseTree(QObject *parent = nullptr);

    QStandardItemModel tvUsers;
    QItemSelectionModel tvUsersSelection;
    qint64 NodeCounter = 0;

    qint64 NextNodeNumber();
    bool IsEmpty() const { return tvUsers.rowCount() == 0 && pendingMembers_.isEmpty(); }

    // Between these, member nodes are gathered and appended in one insertion at the
    // end (or as soon as anything reads the tree), so a burst of arrivals costs the
    // view one layout instead of one per member. They nest.
    void BeginUpdates() { ++updates_; }
    void EndUpdates();
    bool Updating() const { return updates_ > 0; }
    // Appends the gathered member nodes now.
    void Flush() const;

    static QString NodeKey(const QModelIndex &node);
    // Appends a top-level (member) node. While updates are gathered the node is only
    // gathered and the index returned is invalid; FindNode gives it after the insertion.
    QModelIndex AddMemberNode(const QString &key, const QString &text);
    // Removes the first node with this key (with its subtree), also one still gathered.
    // False when there is none.
    bool RemoveNodeByKey(const QString &key);
    // Every node in index order (each node before its children).
    QList<QModelIndex> AllNodes() const;
    // The first node in index order with this key; invalid when none.
    QModelIndex FindNode(const QString &key) const;
    // The member node at or above the node; invalid when there is none.
    QModelIndex FindUser(const QModelIndex &node) const;
    void RemoveNode(const QModelIndex &node);
    void RemoveAllNodes();
    // Removes the node's own children (with their subtrees); the node stays.
    void RemoveChildren(const QModelIndex &node);

    // Appends children, in order, under the first node with parentKey. False (and
    // nothing added) when no node has that key.
    struct NewNode {
        QString key, text;
    };
    bool AddChildNodes(const QString &parentKey, const QList<NewNode> &children);

    bool IsExpanded(const QModelIndex &node) const { return node.data(ExpandedRole).toBool(); }
    // Expands or collapses a node (the view follows expansionRequested).
    void SetExpanded(const QModelIndex &node, bool expanded);
    // The view reports what the member folded or opened by hand.
    void NoteExpanded(const QModelIndex &node, bool expanded);

  signals:
    void expansionRequested(const QModelIndex &node, bool expanded);

  private:
    void track(QStandardItem *item);
    void forget(const QModelIndex &parent, int first, int last);

    // Every node by its key, so a reply finds its parent without walking a tree of
    // thousands of nodes. Kept by the add routines and the model's removals.
    QHash<QString, QStandardItem *> byKey_;
    // Member nodes gathered for the next insertion.
    mutable QList<QStandardItem *> pendingMembers_;
    int updates_ = 0;
};

} // namespace zestrel
