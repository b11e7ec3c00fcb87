#include "browse/MemberDirectory.h"

#include "app/Wait.h"
#include "protocol/Protocol.h"
#include "wire/Frame.h"
#include "wire/Payloads.h"

namespace zestrel
{

// --- cUser / colUsers ----------------------------------------------------

void cUser::rebuildKey()
{
    userKey_ = ip_ + wire::FieldSep() + userName_ + wire::FieldSep() + winsockIndex_;
}

void cUser::SetWinsockIndex(const QString &index)
{
    winsockIndex_ = index;
    rebuildKey();
}

void cUser::SetIP(const QString &ip)
{
    ip_ = ip;
    rebuildKey();
}

void cUser::SetUserName(const QString &name)
{
    userName_ = name;
    rebuildKey();
}

cUser &colUsers::Add(const QString &IP, const QString &UserName, const QString &WinsockIndex,
                     const QString &NodeKey, const QString &sKey)
{
    cUser user;
    user.SetUserName(UserName);
    user.SetIP(IP);
    user.SetWinsockIndex(WinsockIndex);
    user.SetNodeKey(NodeKey);
    ++keyCounts_[user.UserKey()];
    users_.append(user);
    lookupKeys_.append(sKey);
    return users_.last();
}

const cUser *colUsers::Item(qsizetype position) const
{
    if (position < 1 || position > users_.size())
        return nullptr;
    return &users_[position - 1];
}

const cUser *colUsers::Item(const QString &key) const
{
    if (key.isEmpty())
        return nullptr;
    const qsizetype at = lookupKeys_.indexOf(key);
    return at < 0 ? nullptr : &users_[at];
}

void colUsers::forget(const cUser &user)
{
    const auto it = keyCounts_.find(user.UserKey());
    if (it != keyCounts_.end() && --it.value() <= 0)
        keyCounts_.erase(it);
}

void colUsers::Remove(qsizetype position)
{
    if (position < 1 || position > users_.size())
        return;
    forget(users_[position - 1]);
    users_.removeAt(position - 1);
    lookupKeys_.removeAt(position - 1);
}

void colUsers::Remove(const QString &key)
{
    if (key.isEmpty())
        return;
    const qsizetype at = lookupKeys_.indexOf(key);
    if (at >= 0)
        Remove(at + 1);
}

void colUsers::Clear()
{
    users_.clear();
    lookupKeys_.clear();
    keyCounts_.clear();
}

// --- MemberDirectory -----------------------------------------------------

MemberDirectory::MemberDirectory(AppState &app, MessageSender &sender, BrowseTree &tree_,
                                 QObject *parent)
    : QObject(parent), tree(tree_), app_(app), sender_(sender)
{
}

void MemberDirectory::Register(Dispatcher &dispatcher)
{
    namespace code = protocol::code;
    const auto process = [this](const QString &, const QString &p) { ProcessUsers(p); };
    const auto remove = [this](const QString &, const QString &p) { RemoveUser(p); };
    dispatcher.Register(code::UsersList, process);
    dispatcher.Register(code::UsersAdded, process);
    dispatcher.Register(code::UserLeft, remove);
    dispatcher.Register(code::UserUnavailable, remove);
}

void MemberDirectory::ProcessUsers(const QString &tmp)
{
    const wire::MemberList list = wire::DecodeMembers(tmp);
    // A record that is not a member key is skipped; the members around it still arrive.
    if (list.malformed > 0)
        app_.diag.ShowMessage(QStringLiteral("9: Zestrel\r\n\r\nSubscript out of range"),
                              QString());
    for (const wire::MemberKey &member : list.members) {
        const QString record = member.Key();
        if (UserExists(record))
            continue;
        const QString key = QStringLiteral("U") + QString::number(tree.NextNodeNumber());
        const QModelIndex node = tree.AddMemberNode(key, member.name);
        OnlineUsers.Add(member.ip, member.name, member.index, key, QString());
        if (record == app_.MyUserKey) {
            MyMemberNode = node;
            tree.tvUsersSelection.setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
        }
    }
    CurrentMemberNode = MyMemberNode;
    emit membersChanged();
}

void MemberDirectory::RemoveUser(const QString &key)
{
    QString nodeKey;
    qsizetype position = 1;
    for (const cUser &user : OnlineUsers) {
        if (user.UserKey() == key) {
            nodeKey = user.NodeKey();
            OnlineUsers.Remove(position);
            break;
        }
        ++position;
    }
    if (nodeKey.isEmpty())
        return;
    tree.RemoveNode(tree.FindNode(nodeKey));
    emit membersChanged();
}

bool MemberDirectory::UserExists(const QString &key) const
{
    return OnlineUsers.Contains(key);
}

QString MemberDirectory::UserKeyForNode(const QString &nodeKey) const
{
    for (const cUser &user : OnlineUsers)
        if (user.NodeKey() == nodeKey)
            return user.UserKey();
    return {};
}

bool MemberDirectory::IsLocalMember() const
{
    if (!CurrentMemberNode.isValid())
        return false;
    return UserKeyForNode(BrowseTree::NodeKey(CurrentMemberNode)) == app_.MyUserKey &&
           CurrentMemberNode.data(Qt::DisplayRole).toString() != QLatin1String("TestExternalUser");
}

QString MemberDirectory::UserKeyPart(const QString &key, int part)
{
    return zestrel::UserKeyPart(key, part);
}

void MemberDirectory::RefreshMembers()
{
    ClearBrowseTree();
    LetEventsRun();
    sender_.SendMessage(protocol::code::RequestUsers, app_.MyUserKey, app_.MyUserKey, QString());
}

void MemberDirectory::ClearBrowseTree()
{
    tree.RemoveAllNodes();
    OnlineUsers.Clear();
    tree.NodeCounter = 0;
    emit membersChanged();
}

void MemberDirectory::DropMembers()
{
    tree.RemoveAllNodes();
    OnlineUsers.Clear();
    MyMemberNode = QPersistentModelIndex();
    emit membersChanged();
}

void MemberDirectory::AddTestMembers()
{
    const auto add = [this](const QString &ip, const QString &name, const QString &index,
                            const QString &text) {
        const QString key = QStringLiteral("U") + QString::number(tree.NextNodeNumber());
        const QModelIndex node = tree.AddMemberNode(key, text);
        OnlineUsers.Add(ip, name, index, key, QString());
        return node;
    };
    add(app_.LocalIp, app_.UserName, app_.ConnectionIndex, QStringLiteral("TestExternalUser"));
    add(app_.LocalIp, app_.UserName, app_.ConnectionIndex, QStringLiteral("TestLocalUser"));
    CurrentMemberNode = add(QStringLiteral("Any IP"), QStringLiteral("UserDoesn'tExist"),
                            QStringLiteral("Any Index"), QStringLiteral("UserDoesn'tExist"));
    emit membersChanged();
}

void MemberDirectory::RenameMyMemberNode(const QString &name)
{
    if (MyMemberNode.isValid())
        tree.tvUsers.setData(MyMemberNode, name, Qt::DisplayRole);
}

} // namespace zestrel
