#include "browse/Browser.h"

#include "app/Text.h"
#include "app/Wait.h"
#include "browse/Preview.h"
#include "protocol/Protocol.h"
#include "store/Answers.h"
#include "store/TransferText.h"
#include "wire/Payloads.h"

#include <QCursor>
#include <QGuiApplication>

namespace zestrel
{

namespace
{

// The busy mouse pointer while a routine runs (only where there is a screen).
class BusyPointer
{
  public:
    BusyPointer() : on_(qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr)
    {
        if (on_)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~BusyPointer()
    {
        if (on_)
            QGuiApplication::restoreOverrideCursor();
    }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

  private:
    bool on_;
};

bool Truth(const QString &text)
{
    return ReadTruthValue(text).value_or(false);
}

} // namespace

Browser::Browser(AppState &app, MessageSender &sender, MemberDirectory &members,
                 ProfileBoxes &profile, StorageBox &storage, QObject *parent)
    : QObject(parent), app_(app), sender_(sender), members_(members), tree_(members.tree),
      profile_(profile), storage_(storage)
{
}

void Browser::Register(Dispatcher &dispatcher)
{
    namespace code = protocol::code;
    dispatcher.Register(code::CategoriesReply,
                        [this](const QString &, const QString &p) { ProcessCategories(p); });
    dispatcher.Register(code::LettersReply,
                        [this](const QString &, const QString &p) { ProcessRecipeLetters(p); });
    dispatcher.Register(code::RecipesReply,
                        [this](const QString &, const QString &p) { ProcessRecipes(p); });
    dispatcher.Register(code::RecipeReply,
                        [this](const QString &, const QString &p) { storage_.ProcessRecipe(p); });
}

QModelIndex Browser::SelectedNode() const
{
    return tree_.tvUsersSelection.currentIndex();
}

QChar Browser::NodeLevel(const QString &key)
{
    for (QChar level : {u'U', u'T', u'C', u'L', u'R'})
        if (key.contains(level))
            return level;
    return {};
}

QString Browser::newKey(QChar level)
{
    return QString(level) + QString::number(tree_.NextNodeNumber());
}

bool Browser::allRecipes() const
{
    return Truth(app_.Setting(QStringLiteral("ALLRECIPES")));
}

void Browser::send(int code, const QString &payload)
{
    const QString destination =
        members_.UserKeyForNode(BrowseTree::NodeKey(members_.CurrentMemberNode));
    emit requestSent(code);
    sender_.SendMessage(code, app_.MyUserKey, destination, payload);
}

// --- node click ----------------------------------------------------------

void Browser::tvUsers_NodeClick(const QModelIndex &clicked)
{
    if (!members_.CurrentMemberNode.isValid())
        members_.CurrentMemberNode = tree_.FindUser(clicked);
    if (LastTreeButton == RightButton)
        return;
    // From here on a failure ends the click without a message.
    const QPersistentModelIndex node(clicked);
    if (!node.isValid())
        return;
    lastClick_.start();
    const QModelIndex m = tree_.FindUser(node);
    if (!m.isValid())
        return;
    if (BrowseTree::NodeKey(m) != BrowseTree::NodeKey(members_.CurrentMemberNode) ||
        !members_.CurrentMemberNode.isValid()) {
        members_.CurrentMemberNode = m;
        profile_.SetText(0, m.data(Qt::DisplayRole).toString());
        profile_.SetText(1, members_.UserKeyForNode(BrowseTree::NodeKey(m)));
        profile_.SetText(2, QString());
        profile_.SetText(3, QString());
        ShowMemberProfile();
    }
    // Sending may let other handlers run: the node may be gone since.
    if (!node.isValid())
        return;
    if (tree_.tvUsers.rowCount(node) == 0) {
        switch (NodeLevel(BrowseTree::NodeKey(node)).unicode()) {
        case u'U':
            GetRecipeTypes();
            break;
        case u'T':
            GetCategories();
            break;
        case u'C':
            GetRecipeLetters();
            break;
        case u'L':
            GetRecipes();
            break;
        case u'R':
            PreviewRecipe(0);
            break;
        default:
            break;
        }
    }
    if (node.isValid() && Truth(app_.Setting(QStringLiteral("AUTOEXPANDNODES"))))
        tree_.SetExpanded(node, true);
}

// --- Get routines --------------------------------------------------------

void Browser::GetRecipeTypes()
{
    const QModelIndex s = SelectedNode();
    if (!s.isValid())
        return;
    QList<BrowseTree::NewNode> types;
    for (const char *type : {"Food", "Drink", "Other"})
        types.append({newKey(u'T'), QString::fromLatin1(type)});
    tree_.AddChildNodes(BrowseTree::NodeKey(s), types);
}

void Browser::GetCategories()
{
    const QModelIndex s = SelectedNode();
    if (!s.isValid())
        return;
    BusyPointer busy;
    const QString type = s.data().toString(), key = BrowseTree::NodeKey(s);
    if (members_.IsLocalMember()) {
        if (db_)
            ProcessCategories(ListCategories(*db_, type, allRecipes()) + app_.ArgSep + key);
        return;
    }
    send(protocol::code::CategoriesRequest,
         wire::Encode(
             wire::CategoriesRequest{type, key, app_.Setting(QStringLiteral("ALLRECIPES"))}));
}

void Browser::GetRecipeLetters()
{
    const QModelIndex s = SelectedNode();
    const QModelIndex p = s.parent();
    if (!s.isValid() || !p.isValid())
        return;
    BusyPointer busy;
    const QString type = p.data().toString(), category = s.data().toString(),
                  key = BrowseTree::NodeKey(s);
    if (members_.IsLocalMember()) {
        if (db_)
            ProcessRecipeLetters(ListLetterGroups(*db_, type, category, allRecipes()) +
                                 app_.ArgSep + key);
        return;
    }
    send(protocol::code::LettersRequest,
         wire::Encode(wire::LettersRequest{type, category, key,
                                           app_.Setting(QStringLiteral("ALLRECIPES"))}));
}

void Browser::GetRecipes()
{
    const QModelIndex s = SelectedNode();
    const QModelIndex p = s.parent();
    const QModelIndex g = p.parent();
    if (!s.isValid() || !p.isValid() || !g.isValid())
        return;
    BusyPointer busy;
    const QString type = g.data().toString(), category = p.data().toString(),
                  group = s.data().toString(), key = BrowseTree::NodeKey(s);
    if (members_.IsLocalMember()) {
        if (db_)
            ProcessRecipes(ListGroupRecipes(*db_, type, category, group, allRecipes()) +
                           app_.ArgSep + key);
        return;
    }
    send(protocol::code::RecipesRequest,
         wire::Encode(wire::RecipesRequest{type, category, group, key,
                                           app_.Setting(QStringLiteral("ALLRECIPES"))}));
}

// --- readers -------------------------------------------------------------

namespace
{
QStringList ListItems(const QString &list, const QString &listSep)
{
    return list.isEmpty() ? QStringList() : list.split(listSep);
}
} // namespace

void Browser::ProcessCategories(const QString &tmp)
{
    const auto reply = wire::DecodeBrowseReply(tmp);
    if (!reply || !tree_.FindNode(reply->nodeKey).isValid())
        return;
    const bool exclude =
        NumericValueOf(app_.Setting(QStringLiteral("EXCLUDEMULTICATEGORIES"))) != 0;
    QList<BrowseTree::NewNode> nodes;
    for (const QString &item : ListItems(reply->list, app_.ListSep))
        if (!exclude || !item.contains(QLatin1Char(',')))
            nodes.append({newKey(u'C'), item});
    tree_.AddChildNodes(reply->nodeKey, nodes);
}

QString Browser::LetterGroupText(const QString &first, const QString &last, const QString &group,
                                 qsizetype itemCount)
{
    QString text = LeftChars(group + QStringLiteral(":    "), 6) + first;
    if (!(first == last && itemCount <= 2))
        text += QStringLiteral(" -> ") + last;
    return text;
}

void Browser::ProcessRecipeLetters(const QString &tmp)
{
    const auto reply = wire::DecodeBrowseReply(tmp);
    if (!reply || !tree_.FindNode(reply->nodeKey).isValid())
        return;
    const QStringList items = ListItems(reply->list, app_.ListSep);
    QList<BrowseTree::NewNode> nodes;
    for (const QString &item : items) {
        const QStringList f = item.split(app_.FieldSep);
        if (f.size() < 3)
            break; // a broken item ends the reader; the groups before it stay
        nodes.append({newKey(u'L'), LetterGroupText(f[0], f[1], f[2], items.size())});
    }
    tree_.AddChildNodes(reply->nodeKey, nodes);
}

void Browser::ProcessRecipes(const QString &tmp)
{
    const auto reply = wire::DecodeBrowseReply(tmp);
    if (!reply || !tree_.FindNode(reply->nodeKey).isValid())
        return;
    QList<BrowseTree::NewNode> nodes;
    for (const QString &item : ListItems(reply->list, app_.ListSep)) {
        const QStringList f = item.split(app_.FieldSep);
        if (f.size() < 2)
            break;
        nodes.append({newKey(u'R'), f[1] + QStringLiteral(" (") + f[0] + QLatin1Char(')')});
    }
    tree_.AddChildNodes(reply->nodeKey, nodes);
}

// --- recipe request ------------------------------------------------------

void Browser::PreviewRecipe(int pIndex)
{
    BusyPointer busy;
    const QString id = RecipeIdFromText(SelectedNode().data().toString());
    if (members_.IsLocalMember()) {
        if (!db_)
            return;
        if (const auto text = BrowsePreviewText(*db_, id))
            storage_.ProcessRecipe(*text);
        return;
    }
    send(protocol::code::RecipeRequest,
         wire::Encode(wire::RecipeRequest{id, QString::number(pIndex)}));
}

// --- selected-member panel -----------------------------------------------

void Browser::ShowMemberProfile()
{
    if (members_.IsLocalMember()) {
        profile_.SetText(2, app_.Setting(QStringLiteral("DESCRIPTION")));
        profile_.SetText(3, app_.Setting(QStringLiteral("EXTENDED")));
    } else {
        profile_.SetText(2, QString());
        profile_.SetText(3, QString());
        if (Truth(app_.Setting(QStringLiteral("GETALLPROFILEDATA"))))
            send(protocol::code::ProfileRequest, app_.UserName);
    }
    ArrangeProfilePanel();
}

void Browser::ArrangeProfilePanel()
{
    profilePanelShown_ = Truth(app_.Setting(QStringLiteral("GETALLPROFILEDATA")));
    emit profilePanelArranged(profilePanelShown_);
}

QString Browser::lblProfile_0() const
{
    return profilePanelShown_ ? QStringLiteral("Selected User") : QStringLiteral("Preview");
}

// --- keyboard brake and mouse buttons ------------------------------------

bool Browser::tvUsers_KeyDown(int)
{
    // A key arriving while the brake waits is swallowed, not waited on again.
    if (braking_)
        return true;
    const QModelIndex s = SelectedNode();
    if (!s.isValid() || tree_.tvUsers.rowCount(s) > 0)
        return false;
    if (!lastClick_.isValid() || lastClick_.elapsed() >= BrakeMilliseconds)
        return false;
    braking_ = true;
    // A click during the wait moves LastClickTime, and the wait with it.
    while (lastClick_.elapsed() < BrakeMilliseconds)
        PauseWithEvents(double(BrakeMilliseconds - lastClick_.elapsed()) / 1000.0);
    braking_ = false;
    return true;
}

void Browser::tvUsers_MouseDown(int button)
{
    LastTreeButton = button;
}

void Browser::setSubNodeDelEnabled(bool enabled)
{
    if (subNodeDelEnabled_ == enabled)
        return;
    subNodeDelEnabled_ = enabled;
    emit subNodeDelEnabledChanged(enabled);
}

void Browser::tvUsers_MouseUp(int button)
{
    if (button == RightButton) {
        const QModelIndex s = SelectedNode();
        setSubNodeDelEnabled(s.isValid() && tree_.tvUsers.rowCount(s) > 0);
        if (PopupBrowseMenu)
            PopupBrowseMenu();
        setSubNodeDelEnabled(true);
    }
    LastTreeButton = 0;
}

// --- folding buttons and menu --------------------------------------------

void Browser::cmdNodes_Click(int index)
{
    static const char *const kCollapsed[] = {"UTC", "TC", "C", "X"};
    if (index < 0 || index >= int(std::size(kCollapsed)))
        return;
    BusyPointer busy;
    const QString levels = QLatin1String(kCollapsed[index]);
    for (const QModelIndex &node : tree_.AllNodes()) {
        const QString key = BrowseTree::NodeKey(node);
        tree_.SetExpanded(node, !(!key.isEmpty() && levels.contains(key.front())));
    }
}

void Browser::mnuReset_Click()
{
    for (int i = 0; i < ProfileBoxes::Count; ++i)
        profile_.SetText(i, QString());
    members_.RefreshMembers();
}

void Browser::mnuNodeDel_Click()
{
    const QModelIndex s = SelectedNode();
    if (s.isValid())
        tree_.RemoveNode(s);
}

void Browser::mnuSubNodeDel_Click()
{
    // Only the selected node's own children (not every node with the same text).
    tree_.RemoveChildren(SelectedNode());
}

void Browser::mnuRefreshNode_Click()
{
    mnuSubNodeDel_Click();
    LastTreeButton = LeftButton;
    const QModelIndex s = SelectedNode();
    if (s.isValid())
        tvUsers_NodeClick(s);
}

} // namespace zestrel
