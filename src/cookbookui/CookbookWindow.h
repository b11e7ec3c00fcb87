// The Cookbook window: the member's recipes in a list on the left, the recipe being
// edited in the middle, and on the right the recipe as other members will see it.
#pragma once

#include "app/AppState.h"
#include "app/Diagnostics.h"
#include "app/Prompter.h"
#include "cookbook/Cookbook.h"

#include <QAbstractListModel>
#include <QMainWindow>

class QAction;
class QCheckBox;
class QComboBox;
class QCompleter;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPlainTextEdit;
class QStringListModel;
class QTableWidget;

namespace zestrel::cookbookui
{

// The recipe list: every entry of the cookbook in list order, and the ones the filter shows.
class RecipeListModel : public QAbstractListModel
{
    Q_OBJECT
  public:
    using QAbstractListModel::QAbstractListModel;
    static constexpr int IdRole = Qt::UserRole + 1;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    void SetEntries(QList<cookbook::RecipeEntry> entries);
    // Adds or replaces one entry at its place in the order, or removes it (nothing).
    void Put(qint64 id, const std::optional<cookbook::RecipeEntry> &entry);
    void SetFilter(const cookbook::RecipeFilter &filter);
    int Total() const { return int(all_.size()); }
    int Shown() const { return int(shown_.size()); }
    int RowOf(qint64 id) const;
    qint64 IdAt(int row) const;

  private:
    void Refilter(bool narrowing);

    QList<cookbook::RecipeEntry> all_;
    QList<int> shown_; // indexes into all_
    cookbook::RecipeFilter filter_;
};

class CookbookWindow : public QMainWindow
{
    Q_OBJECT
  public:
    explicit CookbookWindow(Prompter &prompter, QWidget *parent = nullptr);
    ~CookbookWindow() override;

    // Opens the cookbook in FOLDER; a missing one is offered to be created. False when
    // there is none (the member said no) or it cannot be opened (the member was told).
    bool OpenFolder(const QString &folder);

    // For the commands other parts of the program add (import, export, duplicates).
    QMenu *FileMenu() const { return fileMenu_; }
    QMenu *ToolsMenu() const { return toolsMenu_; }
    cookbook::Cookbook &Store() { return store_; }
    Prompter &prompter() { return prompter_; }
    // The recipes selected in the list, in list order.
    QList<qint64> SelectedIds() const;
    // Reads the list again (after something else wrote to the cookbook); the recipe
    // being edited stays as it is.
    void Reload();
    // Shows a recipe of the list in the editor (asking first about unsaved changes).
    bool Select(qint64 id);

    // The recipe as the editor holds it now, and whether it differs from the saved one.
    cookbook::Recipe EditorRecipe() const;
    bool HasUnsavedChanges() const;

    // The window's commands.
    void NewRecipe();
    void DuplicateRecipe();
    bool SaveRecipe();
    void RevertRecipe();
    void DeleteRecipes();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void BuildWidgets();
    void BuildMenus();
    void ShowRecipe(const cookbook::Recipe &recipe);
    void Edited();
    void UpdateShared();
    void UpdateCount();
    void CurrentRowChanged(const QModelIndex &current, const QModelIndex &previous);
    // Asks about unsaved changes: true when the caller may go on (saved or dropped).
    bool SettleChanges();
    void Tell(const QString &text, PromptIcon icon = PromptIcon::Warning);
    void FocusField(const QString &field);

    Prompter &prompter_;
    Diagnostics diag_;
    AppState app_;
    cookbook::Cookbook store_;
    cookbook::Recipe saved_; // what the editor started from (id 0: not saved yet)
    bool loading_ = false;   // the editor is being filled, not edited

    RecipeListModel *model_ = nullptr;
    QMenu *fileMenu_ = nullptr, *toolsMenu_ = nullptr;
    QLineEdit *txtFilter_ = nullptr;
    QComboBox *cboType_ = nullptr;
    QListView *lvwRecipes_ = nullptr;
    QLabel *lblCount_ = nullptr;
    QLineEdit *txtTitle_ = nullptr, *txtCategory_ = nullptr, *txtCuisine_ = nullptr,
              *txtServings_ = nullptr, *txtPrepTime_ = nullptr, *txtCookTime_ = nullptr,
              *txtRating_ = nullptr, *txtSource_ = nullptr;
    QComboBox *cboRecipeType_ = nullptr;
    QCheckBox *chkPrivate_ = nullptr;
    QTableWidget *tblIngredients_ = nullptr, *tblDirections_ = nullptr;
    QPlainTextEdit *txtNotes_ = nullptr, *txtShared_ = nullptr;
    QCompleter *categoryCompleter_ = nullptr;
    QStringListModel *categories_ = nullptr;
    QAction *actSave_ = nullptr, *actRevert_ = nullptr, *actDelete_ = nullptr,
            *actDuplicate_ = nullptr;
};

} // namespace zestrel::cookbookui
