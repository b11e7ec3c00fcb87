#include "browse/MemberDirectory.h"

#include "app/Wait.h"
#include "protocol/Protocol.h"
#include "wire/Frame.h"
#include "wire/Payloads.h"

#include <utility>

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

const cUser &colUsers::Add(const QString &IP, const QString &UserName, const QString &WinsockIndex,
                           const QString &NodeKey, const QString &sKey)
{
    cUser user;
    user.SetUserName(UserName);
    user.SetIP(IP);
    user.SetWinsockIndex(WinsockIndex);
    user.SetNodeKey(NodeKey);
    const quint64 n = next_++;
    byUserKey_[user.UserKey()].append(n);
    byNodeKey_[NodeKey].append(n);
    if (!sKey.isEmpty()) {
        byLookupKey_[sKey].append(n);
        lookupKeys_.insert(n, sKey);
    }
    return users_.emplace_hint(users_.end(), n, std::move(user))->second;
}

const cUser *colUsers::Item(qsizetype position) const
{
    if (position < 1 || position > Count())
        return nullptr;
    return &std::next(users_.cbegin(), position - 1)->second;
}

const cUser *colUsers::Item(const QString &key) const
{
    const auto it = byLookupKey_.constFind(key);
    if (key.isEmpty() || it == byLookupKey_.cend())
        return nullptr;
    return &users_.at(it->first());
}

const cUser *colUsers::FindNodeKey(const QString &nodeKey) const
{
    const auto it = byNodeKey_.constFind(nodeKey);
    return it == byNodeKey_.cend() ? nullptr : &users_.at(it->first());
}

void colUsers::erase(Map::const_iterator it)
{
    const quint64 n = it->first;
    const auto unlist = [n](QHash<QString, QList<quint64>> &index, const QString &key) {
        const auto at = index.find(key);
        if (at == index.end())
            return;
        at->removeOne(n);
        if (at->isEmpty())
            index.erase(at);
    };
    unlist(byUserKey_, it->second.UserKey());
    unlist(byNodeKey_, it->second.NodeKey());
    const auto lookup = lookupKeys_.constFind(n);
    if (lookup != lookupKeys_.cend()) {
        unlist(byLookupKey_, lookup.value());
        lookupKeys_.erase(lookup);
    }
    users_.erase(it);
}

void colUsers::Remove(qsizetype position)
{
    if (position < 1 || position > Count())
        return;
    erase(std::next(users_.cbegin(), position - 1));
}

void colUsers::Remove(const QString &key)
{
    const auto it = byLookupKey_.constFind(key);
    if (key.isEmpty() || it == byLookupKey_.cend())
        return;
    erase(users_.find(it->first()));
}

QString colUsers::RemoveUserKey(const QString &userKey)
{
    const auto it = byUserKey_.constFind(userKey);
    if (it == byUserKey_.cend())
        return {};
    const auto user = users_.find(it->first());
    const QString nodeKey = user->second.NodeKey();
    erase(user);
    return nodeKey;
}

void colUsers::Clear()
{
    users_.clear();
    byUserKey_.clear();
    byNodeKey_.clear();
    byLookupKey_.clear();
    lookupKeys_.clear();
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
        tree.AddMemberNode(key, member.name);
        OnlineUsers.Add(member.ip, member.name, member.index, key, QString());
        if (record == app_.MyUserKey)
            pendingOwnNode_ = key;
    }
    if (!tree.Updating())
        takeOwnNode();
    CurrentMemberNode = MyMemberNode;
    emit membersChanged();
}

void MemberDirectory::takeOwnNode()
{
    if (pendingOwnNode_.isEmpty())
        return;
    const QModelIndex node = tree.FindNode(std::exchange(pendingOwnNode_, {}));
    if (!node.isValid())
        return; // it left again before it was shown
    MyMemberNode = node;
    tree.tvUsersSelection.setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
    CurrentMemberNode = MyMemberNode;
}

void MemberDirectory::BeginUpdates()
{
    tree.BeginUpdates();
}

void MemberDirectory::EndUpdates()
{
    tree.EndUpdates();
    if (!tree.Updating())
        takeOwnNode();
}

void MemberDirectory::RemoveUser(const QString &key)
{
    const QString nodeKey = OnlineUsers.RemoveUserKey(key);
    if (nodeKey.isEmpty())
        return;
    if (nodeKey == pendingOwnNode_)
        pendingOwnNode_.clear();
    tree.RemoveNodeByKey(nodeKey);
    emit membersChanged();
}

bool MemberDirectory::UserExists(const QString &key) const
{
    return OnlineUsers.Contains(key);
}

QString MemberDirectory::UserKeyForNode(const QString &nodeKey) const
{
    const cUser *user = OnlineUsers.FindNodeKey(nodeKey);
    return user ? user->UserKey() : QString();
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
    pendingOwnNode_.clear();
    tree.NodeCounter = 0;
    emit membersChanged();
}

void MemberDirectory::DropMembers()
{
    tree.RemoveAllNodes();
    OnlineUsers.Clear();
    pendingOwnNode_.clear();
    MyMemberNode = QPersistentModelIndex();
    emit membersChanged();
}

void MemberDirectory::AddTestMembers()
{
    const auto add = [this](const QString &ip, const QString &name, const QString &index,
                            const QString &text) {
        const QString key = QStringLiteral("U") + QString::number(tree.NextNodeNumber());
        tree.AddMemberNode(key, text);
        OnlineUsers.Add(ip, name, index, key, QString());
        return tree.FindNode(key);
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
