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
#include <iterator>
#include <map>

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

// The ordered collection of online members; positions are 1-based. Members are found
// by their UserKey and by their NodeKey through hashes, so arrivals and departures in
// a directory of tens of thousands never walk it; only access by position does.
class colUsers
{
    using Map = std::map<quint64, cUser>;

  public:
    // Appends a member (under the lookup key sKey when it is not empty) and returns it.
    const cUser &Add(const QString &IP, const QString &UserName, const QString &WinsockIndex,
                     const QString &NodeKey, const QString &sKey = QString());
    // The member at a 1-based position or under a lookup key; nullptr when there is none.
    const cUser *Item(qsizetype position) const;
    const cUser *Item(const QString &key) const;
    qsizetype Count() const { return qsizetype(users_.size()); }
    // Removes the member at a position (later ones move up) or under a key.
    void Remove(qsizetype position);
    void Remove(const QString &key);
    void Clear();
    // True when a member has this UserKey (exact comparison).
    bool Contains(const QString &userKey) const { return byUserKey_.contains(userKey); }
    // Removes the first member with this UserKey; its NodeKey, or empty text when none.
    QString RemoveUserKey(const QString &userKey);
    // The first member with this NodeKey, or nullptr.
    const cUser *FindNodeKey(const QString &nodeKey) const;

    class const_iterator
    {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = cUser;
        using difference_type = std::ptrdiff_t;
        using pointer = const cUser *;
        using reference = const cUser &;
        const_iterator() = default;
        explicit const_iterator(Map::const_iterator it) : it_(it) {}
        reference operator*() const { return it_->second; }
        pointer operator->() const { return &it_->second; }
        const_iterator &operator++()
        {
            ++it_;
            return *this;
        }
        bool operator==(const const_iterator &o) const { return it_ == o.it_; }
        bool operator!=(const const_iterator &o) const { return it_ != o.it_; }

      private:
        Map::const_iterator it_;
    };
    const_iterator begin() const { return const_iterator(users_.cbegin()); }
    const_iterator end() const { return const_iterator(users_.cend()); }

  private:
    void erase(Map::const_iterator it);

    // In order of arrival, by a number that only grows.
    Map users_;
    quint64 next_ = 0;
    // The numbers of the members under each key, in order of arrival.
    QHash<QString, QList<quint64>> byUserKey_, byNodeKey_, byLookupKey_;
    QHash<quint64, QString> lookupKeys_;
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
    // Member nodes of the messages between these are added to the tree at once.
    void BeginUpdates() override;
    void EndUpdates() override;
    // The hidden developer button: adds three test member nodes.
    void AddTestMembers();
    // The own node shows the current user name after the settings changed.
    void RenameMyMemberNode(const QString &name);

  signals:
    void membersChanged();

  private:
    // Selects the own node once it is in the tree.
    void takeOwnNode();

    AppState &app_;
    MessageSender &sender_;
    // The own node's key while its node waits to be added to the tree.
    QString pendingOwnNode_;
};

} // namespace zestrel
