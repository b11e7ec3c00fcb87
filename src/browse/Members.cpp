#include "browse/Members.h"

#include "app/Wait.h"
#include "net/Wire.h"
#include "protocol/protocol.h"

#include <functional>

namespace zestrel
{

namespace
{
const QString &FieldSepText()
{
    static const QString sep = FromWire(protocol::kFieldSep);
    return sep;
}
const QString &ListSepText()
{
    static const QString sep = FromWire(protocol::kListSep);
    return sep;
}
} // namespace

// --- cUser / colUsers ----------------------------------------------------

void cUser::rebuildKey()
{
    userKey_ = ip_ + FieldSepText() + userName_ + FieldSepText() + winsockIndex_;
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

// --- Members -------------------------------------------------------------

Members::Members(AppState &app, MessageSender &sender, QObject *parent)
    : QObject(parent), tvUsersSelection(&tvUsers), app_(app), sender_(sender)
{
}

void Members::Register(Dispatcher &dispatcher)
{
    namespace code = protocol::code;
    const auto process = [this](const QString &, const QString &p) { ProcessUsers(p); };
    const auto remove = [this](const QString &, const QString &p) { RemoveUser(p); };
    dispatcher.Register(code::UsersList, process);
    dispatcher.Register(code::UsersAdded, process);
    dispatcher.Register(code::UserLeft, remove);
    dispatcher.Register(code::UserUnavailable, remove);
}

QString Members::NodeKey(const QModelIndex &node)
{
    return node.data(NodeKeyRole).toString();
}

QModelIndex Members::AddMemberNode(const QString &key, const QString &text)
{
    auto *item = new QStandardItem(text);
    item->setData(key, NodeKeyRole);
    item->setEditable(false);
    tvUsers.appendRow(item);
    return item->index();
}

QList<QModelIndex> Members::AllNodes() const
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

QModelIndex Members::FindNode(const QString &key) const
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

void Members::RemoveNode(const QModelIndex &node)
{
    if (node.isValid())
        tvUsers.removeRow(node.row(), node.parent());
}

void Members::RemoveAllNodes()
{
    tvUsers.removeRows(0, tvUsers.rowCount());
}

void Members::ProcessUsers(const QString &tmp)
{
    if (!tmp.isEmpty()) {
        bool reported = false;
        for (const QString &record : tmp.split(ListSepText())) {
            if (record.isEmpty())
                continue; // a trailing separator, not a member
            const QStringList fields = record.split(FieldSepText());
            if (fields.size() != 3) {
                // A record that is not a member key is skipped; the members around it
                // still arrive.
                if (!reported)
                    app_.diag.ShowMessage(
                        QStringLiteral("9: Zestrel\r\n\r\nSubscript out of range"), QString());
                reported = true;
                continue;
            }
            if (UserExists(record))
                continue;
            const QString key = QStringLiteral("U") + QString::number(NextNodeNumber());
            const QModelIndex node = AddMemberNode(key, fields[1]);
            OnlineUsers.Add(fields[0], fields[1], fields[2], key, QString());
            if (record == app_.MyUserKey) {
                MyMemberNode = node;
                tvUsersSelection.setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
            }
        }
    }
    CurrentMemberNode = MyMemberNode;
    emit membersChanged();
}

void Members::RemoveUser(const QString &key)
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
    RemoveNode(FindNode(nodeKey));
    emit membersChanged();
}

bool Members::UserExists(const QString &key) const
{
    return OnlineUsers.Contains(key);
}

QModelIndex Members::FindUser(const QModelIndex &node) const
{
    for (QModelIndex n = node; n.isValid(); n = n.parent())
        if (NodeKey(n).contains(QLatin1Char('U')))
            return n;
    return {};
}

QString Members::UserKeyForNode(const QString &nodeKey) const
{
    for (const cUser &user : OnlineUsers)
        if (user.NodeKey() == nodeKey)
            return user.UserKey();
    return {};
}

bool Members::IsLocalMember() const
{
    if (!CurrentMemberNode.isValid())
        return false;
    return UserKeyForNode(NodeKey(CurrentMemberNode)) == app_.MyUserKey &&
           CurrentMemberNode.data(Qt::DisplayRole).toString() != QLatin1String("TestExternalUser");
}

QString Members::UserKeyPart(const QString &key, int part)
{
    return zestrel::UserKeyPart(key, part);
}

qint64 Members::NextNodeNumber()
{
    return NodeCounter++;
}

void Members::RefreshMembers()
{
    ClearBrowseTree();
    LetEventsRun();
    sender_.SendMessage(protocol::code::RequestUsers, app_.MyUserKey, app_.MyUserKey, QString());
}

void Members::ClearBrowseTree()
{
    RemoveAllNodes();
    OnlineUsers.Clear();
    NodeCounter = 0;
    emit membersChanged();
}

void Members::DropMembers()
{
    RemoveAllNodes();
    OnlineUsers.Clear();
    MyMemberNode = QPersistentModelIndex();
    emit membersChanged();
}

void Members::cmdTest_Click()
{
    const auto add = [this](const QString &ip, const QString &name, const QString &index,
                            const QString &text) {
        const QString key = QStringLiteral("U") + QString::number(NextNodeNumber());
        const QModelIndex node = AddMemberNode(key, text);
        OnlineUsers.Add(ip, name, index, key, QString());
        return node;
    };
    add(app_.LocalIp, app_.UserName, app_.ConnectionIndex, QStringLiteral("TestExternalUser"));
    add(app_.LocalIp, app_.UserName, app_.ConnectionIndex, QStringLiteral("TestLocalUser"));
    CurrentMemberNode = add(QStringLiteral("Any IP"), QStringLiteral("UserDoesn'tExist"),
                            QStringLiteral("Any Index"), QStringLiteral("UserDoesn'tExist"));
    emit membersChanged();
}

void Members::RenameMyMemberNode(const QString &name)
{
    if (MyMemberNode.isValid())
        tvUsers.setData(MyMemberNode, name, Qt::DisplayRole);
}

} // namespace zestrel
