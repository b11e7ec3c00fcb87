// The directory of online members (`OnlineUsers`) and their nodes at the top of
// the browse tree.
#pragma once

#include "app/AppState.h"
#include "browse/BrowseTree.h"
#include "net/Connection.h"
#include "net/Dispatcher.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QString>

namespace zestrel
{

// One online member.
class cUser
{
  public:
    QString NodeKey() const { return nodeKey_; }
    void SetNodeKey(const QString &key) { nodeKey_ = key; }
    // IP, FieldSep, UserName, FieldSep, WinsockIndex; always current with the parts.
    const QString &UserKey() const { return userKey_; }
    QString WinsockIndex() const { return winsockIndex_; }
    void SetWinsockIndex(const QString &index);
    QString IP() const { return ip_; }
    void SetIP(const QString &ip);
    QString UserName() const { return userName_; }
    void SetUserName(const QString &name);

  private:
    void rebuildKey();

    QString nodeKey_, winsockIndex_, ip_, userName_;
    // Kept with the parts so the many lookups by key need not build it each time.
    QString userKey_ = QString(6, QChar(0));
};

// The ordered collection of online members; positions are 1-based.
class colUsers
{
  public:
    // Appends a member (under the lookup key sKey when it is not empty) and returns it.
    cUser &Add(const QString &IP, const QString &UserName, const QString &WinsockIndex,
               const QString &NodeKey, const QString &sKey = QString());
    // The member at a 1-based position or under a lookup key; nullptr when there is none.
    const cUser *Item(qsizetype position) const;
    const cUser *Item(const QString &key) const;
    qsizetype Count() const { return users_.size(); }
    // Removes the member at a position (later ones move up) or under a key.
    void Remove(qsizetype position);
    void Remove(const QString &key);
    void Clear();
    // True when a member has this UserKey (exact comparison).
    bool Contains(const QString &userKey) const { return keyCounts_.contains(userKey); }

    QList<cUser>::const_iterator begin() const { return users_.cbegin(); }
    QList<cUser>::const_iterator end() const { return users_.cend(); }

  private:
    void forget(const cUser &user);

    QList<cUser> users_;
    QList<QString> lookupKeys_;
    // How many members hold each UserKey: a list of thousands stays linear.
    QHash<QString, int> keyCounts_;
};

class MemberDirectory : public QObject, public MemberTreeAccess
{
    Q_OBJECT
  public:
    MemberDirectory(AppState &app, MessageSender &sender, BrowseTree &tree,
                    QObject *parent = nullptr);

    BrowseTree &tree;
    colUsers OnlineUsers;
    // Empty once their node is removed.
    QPersistentModelIndex MyMemberNode;
    QPersistentModelIndex CurrentMemberNode;

    // Registers 100 and 101 (ProcessUsers), 102 and 902 (RemoveUser).
    void Register(Dispatcher &dispatcher);

    void ProcessUsers(const QString &tmp);
    void RemoveUser(const QString &key);
    bool UserExists(const QString &key) const;
    QModelIndex FindUser(const QModelIndex &node) const { return tree.FindUser(node); }
    QString UserKeyForNode(const QString &nodeKey) const;
    bool IsLocalMember() const;
    static QString UserKeyPart(const QString &key, int part);
    void RefreshMembers() override;
    void ClearBrowseTree();
    void DropMembers() override;
    bool TreeIsEmpty() const override { return tree.IsEmpty(); }
    // The hidden developer button: adds three test member nodes.
    void AddTestMembers();
    // The own node shows the current user name after the settings changed.
    void RenameMyMemberNode(const QString &name);

  signals:
    void membersChanged();

  private:
    AppState &app_;
    MessageSender &sender_;
};

} // namespace zestrel
