// The browse tree's behaviour and the recipe request: node
// clicks with their requests over the relay (or the own lists, for the own member),
// the readers of the replies, the selected-member panel, the keyboard brake, the
// mouse-button rules, the folding buttons `cmdNodes` and the "&Browse" menu.
// No widget here: the browse tab forwards its events and follows the models.
#pragma once

#include "app/AppState.h"
#include "browse/BrowseTree.h"
#include "browse/MemberDirectory.h"
#include "browse/ProfileBoxes.h"
#include "browse/StorageBox.h"
#include "net/Dispatcher.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPersistentModelIndex>
#include <functional>

namespace zestrel
{

class RecipeDatabase;

class Browser : public QObject
{
    Q_OBJECT
  public:
    // Mouse buttons as LastTreeButton holds them.
    static constexpr int LeftButton = 1, RightButton = 2, MiddleButton = 4;
    // The keyboard brake: keys on an unloaded node wait this long after the last click.
    static constexpr qint64 BrakeMilliseconds = 500;

    Browser(AppState &app, MessageSender &sender, MemberDirectory &members, ProfileBoxes &profile,
            StorageBox &storage, QObject *parent = nullptr);

    // The own member's lists come from this database (which must outlive the browser).
    void BrowseFrom(RecipeDatabase *db) { db_ = db; }

    // Registers 110, 120 and 112 (the readers) and 105 (ProcessRecipe).
    void Register(Dispatcher &dispatcher);

    // --- tree events
    void tvUsers_NodeClick(const QModelIndex &node);
    // True when the key is swallowed (the brake held it back).
    bool tvUsers_KeyDown(int keyCode);
    void tvUsers_MouseDown(int button);
    void tvUsers_MouseUp(int button);
    // The view pops the "&Browse" menu up here (modal); unset in headless use.
    std::function<void()> PopupBrowseMenu;

    // --- the Get routines, on the tree's selected node
    void GetRecipeTypes();
    void GetCategories();
    void GetRecipeLetters();
    void GetRecipes();

    // --- the readers: list ArgSep parent key
    void ProcessCategories(const QString &tmp);
    void ProcessRecipeLetters(const QString &tmp);
    void ProcessRecipes(const QString &tmp);

    // --- the recipe request (window number 0 from the tree)
    void PreviewRecipe(int pIndex);

    // --- the selected-member panel
    void ShowMemberProfile();
    void ArrangeProfilePanel();
    bool ProfilePanelShown() const { return profilePanelShown_; }
    QString lblProfile_0() const;

    // --- folding buttons and the "&Browse" menu
    void cmdNodes_Click(int index);
    void mnuReset_Click();
    void mnuNodeDel_Click();
    void mnuSubNodeDel_Click();
    void mnuRefreshNode_Click();
    bool SubNodeDelEnabled() const { return subNodeDelEnabled_; }

    // LastClickTime: now (the search tab sets it too when a search result is clicked).
    void NoteClickTime() { lastClick_.start(); }
    int LastTreeButton = 0;
    // True while the brake waits.
    bool Braking() const { return braking_; }

    QModelIndex SelectedNode() const;
    // The level letter of a key: the first of U, T, C, L, R that it contains; 0 for none.
    static QChar NodeLevel(const QString &key);
    // A letter-group node's text (the label rules of ProcessRecipeLetters).
    static QString LetterGroupText(const QString &first, const QString &last, const QString &group,
                                   qsizetype itemCount);

  signals:
    void profilePanelArranged(bool shown);
    void subNodeDelEnabledChanged(bool enabled);
    // A request went out or a list was filled locally (tests and the benchmark count).
    void requestSent(int code);

  private:
    void send(int code, const QString &payload);
    bool allRecipes() const;
    void setSubNodeDelEnabled(bool enabled);
    QString newKey(QChar level);

    AppState &app_;
    MessageSender &sender_;
    MemberDirectory &members_;
    BrowseTree &tree_;
    ProfileBoxes &profile_;
    StorageBox &storage_;
    RecipeDatabase *db_ = nullptr;
    QElapsedTimer lastClick_;
    bool braking_ = false;
    bool profilePanelShown_ = false;
    bool subNodeDelEnabled_ = true;
};

} // namespace zestrel
