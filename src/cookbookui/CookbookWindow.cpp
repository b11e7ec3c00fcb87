#include "cookbookui/CookbookWindow.h"

#include "browse/Preview.h"
#include "cookbook/SharedText.h"
#include "store/TransferText.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFont>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QStringListModel>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <tuple>

namespace zestrel::cookbookui
{

using cookbook::Ingredient;
using cookbook::Recipe;
using cookbook::RecipeEntry;
using cookbook::RecipeFilter;

namespace
{

const QString kTitle = QStringLiteral("Zestrel Cookbook");
const char *const kTypeCodes[] = {"F", "D", "O"};

QString CountText(int shown, int total)
{
    const QLocale english(QLocale::English);
    const QString all = english.toString(total) +
                        (total == 1 ? QStringLiteral(" recipe") : QStringLiteral(" recipes"));
    return shown == total ? all : english.toString(shown) + QStringLiteral(" of ") + all;
}

QString Cell(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

void AddRow(QTableWidget *table, int at, const QStringList &texts)
{
    table->insertRow(at);
    for (int c = 0; c < table->columnCount(); ++c)
        table->setItem(at, c, new QTableWidgetItem(texts.value(c)));
}

// The rows of a table with add, remove, up and down buttons under it.
QWidget *Rows(QTableWidget *table, const QString &what, const QString &prefix,
              const std::function<void()> &changed)
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table);
    auto *buttons = new QHBoxLayout;
    struct Button {
        const char *name;
        QString text;
        int move; // 0 add, 1 remove, -1 up, 2 down
    };
    const Button list[] = {{"cmdAdd", QStringLiteral("&Add ") + what, 0},
                           {"cmdRemove", QStringLiteral("Remove"), 1},
                           {"cmdUp", QStringLiteral("Up"), -1},
                           {"cmdDown", QStringLiteral("Down"), 2}};
    for (const Button &b : list) {
        auto *button = new QPushButton(b.text);
        button->setObjectName(QLatin1String(b.name) + prefix);
        buttons->addWidget(button);
        const int move = b.move;
        QObject::connect(button, &QPushButton::clicked, table, [table, move, changed] {
            const int row = table->currentRow();
            if (move == 0) {
                const int at = row < 0 ? table->rowCount() : row + 1;
                AddRow(table, at, {});
                table->setCurrentCell(at, 0);
                table->setFocus();
                table->editItem(table->item(at, 0));
            } else if (move == 1) {
                if (row < 0)
                    return;
                table->removeRow(row);
                table->setCurrentCell(std::min(row, table->rowCount() - 1), 0);
            } else {
                const int to = move < 0 ? row - 1 : row + 1;
                if (row < 0 || to < 0 || to >= table->rowCount())
                    return;
                for (int c = 0; c < table->columnCount(); ++c) {
                    QTableWidgetItem *a = table->takeItem(row, c), *z = table->takeItem(to, c);
                    table->setItem(row, c, z);
                    table->setItem(to, c, a);
                }
                table->setCurrentCell(to, table->currentColumn());
            }
            changed();
        });
    }
    buttons->addStretch();
    layout->addLayout(buttons);
    return box;
}

} // namespace

// ---- the list

int RecipeListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(shown_.size());
}

QVariant RecipeListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= shown_.size())
        return {};
    const RecipeEntry &e = all_[shown_[index.row()]];
    switch (role) {
    case Qt::DisplayRole:
        return e.isPrivate ? e.title + QStringLiteral("   (private)") : e.title;
    case Qt::ToolTipRole:
        return cookbook::TypeName(e.type) + QStringLiteral(", ") +
               (e.category.trimmed().isEmpty() ? QStringLiteral("no category") : e.category) +
               (e.isPrivate ? QStringLiteral(", private: not shared") : QString());
    case Qt::FontRole:
        if (e.isPrivate) {
            QFont f;
            f.setItalic(true);
            return f;
        }
        return {};
    case IdRole:
        return e.id;
    default:
        return {};
    }
}

void RecipeListModel::SetEntries(QList<RecipeEntry> entries)
{
    all_ = std::move(entries);
    Refilter(false);
}

void RecipeListModel::Put(qint64 id, const std::optional<RecipeEntry> &entry)
{
    all_.removeIf([id](const RecipeEntry &e) { return e.id == id; });
    if (entry)
        all_.insert(std::lower_bound(all_.begin(), all_.end(), *entry, cookbook::ListsBefore),
                    *entry);
    Refilter(false);
}

void RecipeListModel::SetFilter(const RecipeFilter &filter)
{
    const QString before = filter_.text.trimmed().toCaseFolded();
    const QString now = filter.text.trimmed().toCaseFolded();
    // Typing one more letter only ever narrows what is shown.
    const bool narrowing = filter.type == filter_.type && now.contains(before);
    filter_ = filter;
    Refilter(narrowing);
}

void RecipeListModel::Refilter(bool narrowing)
{
    beginResetModel();
    if (narrowing) {
        shown_.removeIf([this](int i) { return !cookbook::Matches(all_[i], filter_); });
    } else {
        shown_.clear();
        for (int i = 0; i < all_.size(); ++i) {
            if (cookbook::Matches(all_[i], filter_))
                shown_.append(i);
        }
    }
    endResetModel();
}

int RecipeListModel::RowOf(qint64 id) const
{
    for (int row = 0; row < shown_.size(); ++row) {
        if (all_[shown_[row]].id == id)
            return row;
    }
    return -1;
}

qint64 RecipeListModel::IdAt(int row) const
{
    return row >= 0 && row < shown_.size() ? all_[shown_[row]].id : 0;
}

// ---- the window

CookbookWindow::CookbookWindow(Prompter &prompter, QWidget *parent)
    : QMainWindow(parent), prompter_(prompter), app_(diag_, prompter, QString())
{
    app_.InitSeparators();
    setObjectName(QStringLiteral("frmCookbook"));
    setWindowTitle(kTitle + QStringLiteral("[*]"));
    BuildWidgets();
    BuildMenus();
    ShowRecipe(Recipe{});
    resize(1320, 820);
}

CookbookWindow::~CookbookWindow() = default;

void CookbookWindow::BuildWidgets()
{
    model_ = new RecipeListModel(this);

    // Left: the list.
    auto *left = new QWidget;
    auto *leftLayout = new QVBoxLayout(left);
    txtFilter_ = new QLineEdit;
    txtFilter_->setObjectName(QStringLiteral("txtFilter"));
    txtFilter_->setPlaceholderText(QStringLiteral("Filter: title, category or ingredient"));
    txtFilter_->setClearButtonEnabled(true);
    cboType_ = new QComboBox;
    cboType_->setObjectName(QStringLiteral("cboType"));
    cboType_->addItem(QStringLiteral("All types"), QString());
    for (const char *code : kTypeCodes)
        cboType_->addItem(cookbook::TypeName(QLatin1String(code)), QLatin1String(code));
    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(txtFilter_, 1);
    filterRow->addWidget(cboType_);
    leftLayout->addLayout(filterRow);
    lvwRecipes_ = new QListView;
    lvwRecipes_->setObjectName(QStringLiteral("lvwRecipes"));
    lvwRecipes_->setModel(model_);
    lvwRecipes_->setUniformItemSizes(true); // a cookbook of 100,000 recipes lays out at once
    lvwRecipes_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvwRecipes_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    leftLayout->addWidget(lvwRecipes_, 1);
    lblCount_ = new QLabel;
    lblCount_->setObjectName(QStringLiteral("lblCount"));
    leftLayout->addWidget(lblCount_);
    auto applyFilter = [this] {
        model_->SetFilter({txtFilter_->text(), cboType_->currentData().toString()});
        const int row = model_->RowOf(saved_.id);
        if (row >= 0) {
            const QSignalBlocker block(lvwRecipes_->selectionModel());
            lvwRecipes_->setCurrentIndex(model_->index(row));
        }
        UpdateCount();
    };
    connect(txtFilter_, &QLineEdit::textChanged, this, applyFilter);
    connect(cboType_, &QComboBox::currentIndexChanged, this, applyFilter);
    connect(lvwRecipes_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CookbookWindow::CurrentRowChanged);

    // Middle: the editor.
    auto *editor = new QWidget;
    auto *form = new QFormLayout(editor);
    auto line = [&](QLineEdit *&edit, const char *name, const QString &label) {
        edit = new QLineEdit;
        edit->setObjectName(QLatin1String(name));
        connect(edit, &QLineEdit::textChanged, this, &CookbookWindow::Edited);
        form->addRow(label, edit);
    };
    line(txtTitle_, "txtTitle", QStringLiteral("&Title:"));
    cboRecipeType_ = new QComboBox;
    cboRecipeType_->setObjectName(QStringLiteral("cboRecipeType"));
    for (const char *code : kTypeCodes)
        cboRecipeType_->addItem(cookbook::TypeName(QLatin1String(code)), QLatin1String(code));
    connect(cboRecipeType_, &QComboBox::currentIndexChanged, this, &CookbookWindow::Edited);
    form->addRow(QStringLiteral("T&ype:"), cboRecipeType_);
    line(txtCategory_, "txtCategory", QStringLiteral("&Category:"));
    categories_ = new QStringListModel(this);
    categoryCompleter_ = new QCompleter(categories_, this);
    categoryCompleter_->setCaseSensitivity(Qt::CaseInsensitive);
    txtCategory_->setCompleter(categoryCompleter_);
    line(txtCuisine_, "txtCuisine", QStringLiteral("C&uisine:"));
    auto *times = new QHBoxLayout;
    for (auto [edit, name, label] :
         {std::tuple{&txtServings_, "txtServings", QStringLiteral("Ser&vings:")},
          std::tuple{&txtPrepTime_, "txtPrepTime", QStringLiteral("&Prep time:")},
          std::tuple{&txtCookTime_, "txtCookTime", QStringLiteral("Coo&k time:")},
          std::tuple{&txtRating_, "txtRating", QStringLiteral("Rati&ng:")}}) {
        *edit = new QLineEdit;
        (*edit)->setObjectName(QLatin1String(name));
        connect(*edit, &QLineEdit::textChanged, this, &CookbookWindow::Edited);
        auto *l = new QLabel(label);
        l->setBuddy(*edit);
        times->addWidget(l);
        times->addWidget(*edit, 1);
    }
    form->addRow(times);
    line(txtSource_, "txtSource", QStringLiteral("&Source:"));
    chkPrivate_ = new QCheckBox(QStringLiteral("P&rivate: keep this recipe to myself"));
    chkPrivate_->setObjectName(QStringLiteral("chkPrivate"));
    connect(chkPrivate_, &QCheckBox::toggled, this, &CookbookWindow::Edited);
    form->addRow(QString(), chkPrivate_);

    tblIngredients_ = new QTableWidget(0, 4);
    tblIngredients_->setObjectName(QStringLiteral("tblIngredients"));
    tblIngredients_->setHorizontalHeaderLabels({QStringLiteral("Amount"), QStringLiteral("Measure"),
                                                QStringLiteral("Ingredient"),
                                                QStringLiteral("Cabinet")});
    tblIngredients_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    tblIngredients_->setTabKeyNavigation(false);
    tblIngredients_->setMinimumHeight(170);
    connect(tblIngredients_, &QTableWidget::itemChanged, this, &CookbookWindow::Edited);
    auto *ingredientsLabel = new QLabel(QStringLiteral("&Ingredients:"));
    ingredientsLabel->setBuddy(tblIngredients_);
    form->addRow(ingredientsLabel, Rows(tblIngredients_, QStringLiteral("ingredient"),
                                        QStringLiteral("Ingredient"), [this] { Edited(); }));

    tblDirections_ = new QTableWidget(0, 1);
    tblDirections_->setObjectName(QStringLiteral("tblDirections"));
    tblDirections_->setHorizontalHeaderLabels({QStringLiteral("Step")});
    tblDirections_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    tblDirections_->setWordWrap(true);
    tblDirections_->setTabKeyNavigation(false);
    tblDirections_->setMinimumHeight(150);
    connect(tblDirections_, &QTableWidget::itemChanged, this, &CookbookWindow::Edited);
    auto *directionsLabel = new QLabel(QStringLiteral("&Directions:"));
    directionsLabel->setBuddy(tblDirections_);
    form->addRow(directionsLabel, Rows(tblDirections_, QStringLiteral("step"),
                                       QStringLiteral("Step"), [this] { Edited(); }));

    txtNotes_ = new QPlainTextEdit;
    txtNotes_->setObjectName(QStringLiteral("txtNotes"));
    txtNotes_->setTabChangesFocus(true);
    txtNotes_->setMinimumHeight(80);
    connect(txtNotes_, &QPlainTextEdit::textChanged, this, &CookbookWindow::Edited);
    auto *notesLabel = new QLabel(QStringLiteral("N&otes:"));
    notesLabel->setBuddy(txtNotes_);
    form->addRow(notesLabel, txtNotes_);
    auto *editorScroll = new QScrollArea;
    editorScroll->setWidget(editor);
    editorScroll->setWidgetResizable(true);
    editorScroll->setFrameShape(QFrame::NoFrame);

    // Right: as other members will see it.
    auto *shared = new QGroupBox(QStringLiteral("Shared as"));
    shared->setObjectName(QStringLiteral("fraShared"));
    auto *sharedLayout = new QVBoxLayout(shared);
    txtShared_ = new QPlainTextEdit;
    txtShared_->setObjectName(QStringLiteral("txtShared"));
    txtShared_->setReadOnly(true);
    txtShared_->setTabChangesFocus(true);
    QFont font(QString::fromLatin1(kPreviewFontFamily));
    font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(9);
    txtShared_->setFont(font);
    txtShared_->setTabStopDistance(QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')) *
                                   kPreviewTabColumns);
    sharedLayout->addWidget(txtShared_);

    auto *split = new QSplitter;
    split->addWidget(left);
    split->addWidget(editorScroll);
    split->addWidget(shared);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 4);
    split->setStretchFactor(2, 3);
    split->setSizes({330, 560, 430});
    setCentralWidget(split);
    statusBar();
}

void CookbookWindow::BuildMenus()
{
    auto action = [this](const QString &text, const char *name, const QKeySequence &keys,
                         const std::function<void()> &run) {
        auto *a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        if (!keys.isEmpty())
            a->setShortcut(keys);
        connect(a, &QAction::triggered, this, run);
        return a;
    };
    QAction *actNew =
        action(QStringLiteral("&New recipe"), "mnuNew", QKeySequence::New, [this] { NewRecipe(); });
    actDuplicate_ = action(QStringLiteral("D&uplicate"), "mnuDuplicate", QKeySequence(),
                           [this] { DuplicateRecipe(); });
    actSave_ =
        action(QStringLiteral("&Save"), "mnuSave", QKeySequence::Save, [this] { SaveRecipe(); });
    actRevert_ =
        action(QStringLiteral("&Revert"), "mnuRevert", QKeySequence(), [this] { RevertRecipe(); });
    actDelete_ = action(QStringLiteral("&Delete"), "mnuDelete", QKeySequence::Delete,
                        [this] { DeleteRecipes(); });
    // Delete deletes recipes only from the list; in a text field it deletes text.
    actDelete_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    lvwRecipes_->addAction(actDelete_);

    fileMenu_ = menuBar()->addMenu(QStringLiteral("&File"));
    fileMenu_->setObjectName(QStringLiteral("mnuFile"));
    fileMenu_->addActions({actNew, actDuplicate_, actSave_, actRevert_, actDelete_});
    fileMenu_->addSeparator();
    auto *quit = new QAction(QStringLiteral("&Quit"), this);
    quit->setObjectName(QStringLiteral("mnuQuit"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    fileMenu_->addAction(quit);

    auto *find = new QAction(QStringLiteral("&Find"), this);
    find->setObjectName(QStringLiteral("mnuFind"));
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, this, [this] {
        txtFilter_->setFocus();
        txtFilter_->selectAll();
    });
    QMenu *edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(find);

    toolsMenu_ = menuBar()->addMenu(QStringLiteral("&Tools"));
    toolsMenu_->setObjectName(QStringLiteral("mnuTools"));
    auto *reload = new QAction(QStringLiteral("&Reload the list"), this);
    reload->setObjectName(QStringLiteral("mnuReload"));
    reload->setShortcut(QKeySequence::Refresh);
    connect(reload, &QAction::triggered, this, &CookbookWindow::Reload);
    toolsMenu_->addAction(reload);

    QToolBar *bar = addToolBar(QStringLiteral("Recipe"));
    bar->setObjectName(QStringLiteral("tbrRecipe"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->addActions({actNew, actDuplicate_, actSave_, actRevert_});
    bar->addSeparator();
    // The toolbar's Delete works wherever the focus is; its key only in the list.
    auto *deleteButton = new QAction(QStringLiteral("Delete"), this);
    deleteButton->setObjectName(QStringLiteral("cmdDelete"));
    connect(deleteButton, &QAction::triggered, this, &CookbookWindow::DeleteRecipes);
    bar->addAction(deleteButton);
}

bool CookbookWindow::OpenFolder(const QString &folder)
{
    const QString absolute = QDir(folder).absolutePath();
    QString error;
    if (!cookbook::Cookbook::Exists(absolute)) {
        if (prompter_.MessageBox(QStringLiteral("There is no cookbook in %1 yet.\n\nCreate an "
                                                "empty cookbook there now?")
                                     .arg(QDir::toNativeSeparators(absolute)),
                                 kTitle, PromptIcon::Question,
                                 PromptButtons::YesNo) != PromptAnswer::Yes)
            return false;
        if (!store_.Create(absolute, &error)) {
            Tell(error, PromptIcon::Error);
            return false;
        }
    } else if (!store_.Open(absolute, &error)) {
        Tell(error, PromptIcon::Error);
        return false;
    }
    app_.ProgramFolder = absolute;
    // "[*]" marks unsaved changes.
    setWindowTitle(kTitle + QStringLiteral(" - ") + QDir::toNativeSeparators(absolute) +
                   QStringLiteral("[*]"));
    if (!store_.HasPrivateColumn()) {
        chkPrivate_->setEnabled(false);
        chkPrivate_->setToolTip(
            QStringLiteral("This cookbook was made by a recipe manager older than 2.7: it has "
                           "no place for the private mark, so every recipe in it is shared."));
    }
    Reload();
    if (model_->Shown() > 0)
        Select(model_->IdAt(0));
    else
        NewRecipe();
    return true;
}

void CookbookWindow::Reload()
{
    QString error;
    auto entries = store_.Entries(&error);
    if (!entries) {
        Tell(error);
        return;
    }
    model_->SetEntries(std::move(*entries));
    categories_->setStringList(store_.Categories());
    const int row = model_->RowOf(saved_.id);
    if (row >= 0) {
        const QSignalBlocker block(lvwRecipes_->selectionModel());
        lvwRecipes_->setCurrentIndex(model_->index(row));
    }
    UpdateCount();
}

QList<qint64> CookbookWindow::SelectedIds() const
{
    QList<int> rows;
    for (const QModelIndex &i : lvwRecipes_->selectionModel()->selectedIndexes())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    QList<qint64> ids;
    for (int row : rows)
        ids << model_->IdAt(row);
    return ids;
}

bool CookbookWindow::Select(qint64 id)
{
    if (id != saved_.id && !SettleChanges())
        return false;
    QString error;
    const std::optional<Recipe> recipe = store_.Load(id, &error);
    if (!recipe) {
        Tell(error.isEmpty() ? QStringLiteral("That recipe is no longer in the cookbook.") : error);
        model_->Put(id, std::nullopt);
        UpdateCount();
        return false;
    }
    ShowRecipe(*recipe);
    const int row = model_->RowOf(id);
    if (row >= 0) {
        const QSignalBlocker block(lvwRecipes_->selectionModel());
        lvwRecipes_->setCurrentIndex(model_->index(row));
        lvwRecipes_->selectionModel()->select(model_->index(row),
                                              QItemSelectionModel::ClearAndSelect);
        lvwRecipes_->scrollTo(model_->index(row));
    }
    return true;
}

void CookbookWindow::CurrentRowChanged(const QModelIndex &current, const QModelIndex &previous)
{
    const qint64 id = model_->IdAt(current.row());
    if (!current.isValid() || id == saved_.id)
        return;
    if (!Select(id)) {
        // Stay on the recipe being edited.
        const QSignalBlocker block(lvwRecipes_->selectionModel());
        const int row = model_->RowOf(saved_.id);
        lvwRecipes_->setCurrentIndex(row >= 0 ? model_->index(row) : previous);
    }
}

void CookbookWindow::ShowRecipe(const Recipe &r)
{
    loading_ = true;
    saved_ = r;
    txtTitle_->setText(r.title);
    const int type = cboRecipeType_->findData(r.type);
    cboRecipeType_->setCurrentIndex(type >= 0 ? type : 0);
    txtCategory_->setText(r.category);
    txtCuisine_->setText(r.cuisine);
    txtServings_->setText(r.servings);
    txtPrepTime_->setText(r.prepTime);
    txtCookTime_->setText(r.cookTime);
    txtRating_->setText(r.rating);
    txtSource_->setText(r.source);
    chkPrivate_->setChecked(r.isPrivate && store_.HasPrivateColumn());
    tblIngredients_->setRowCount(0);
    for (const Ingredient &i : r.ingredients)
        AddRow(tblIngredients_, tblIngredients_->rowCount(),
               {i.amount, i.measure, i.ingredient, i.cabinet});
    tblDirections_->setRowCount(0);
    for (const QString &step : r.directions)
        AddRow(tblDirections_, tblDirections_->rowCount(), {step});
    tblDirections_->resizeRowsToContents();
    txtNotes_->setPlainText(r.notes);
    loading_ = false;
    Edited();
}

Recipe CookbookWindow::EditorRecipe() const
{
    Recipe r = saved_; // keeps what the editor does not show (misc)
    r.title = txtTitle_->text();
    r.type = cboRecipeType_->currentData().toString();
    r.category = txtCategory_->text();
    r.cuisine = txtCuisine_->text();
    r.servings = txtServings_->text();
    r.prepTime = txtPrepTime_->text();
    r.cookTime = txtCookTime_->text();
    r.rating = txtRating_->text();
    r.source = txtSource_->text();
    r.isPrivate = chkPrivate_->isChecked();
    r.ingredients.clear();
    for (int row = 0; row < tblIngredients_->rowCount(); ++row)
        r.ingredients.append({Cell(tblIngredients_, row, 0), Cell(tblIngredients_, row, 1),
                              Cell(tblIngredients_, row, 2), Cell(tblIngredients_, row, 3)});
    r.directions.clear();
    for (int row = 0; row < tblDirections_->rowCount(); ++row)
        r.directions << Cell(tblDirections_, row, 0);
    // A plain text edit keeps line breaks as LF; the stored recipes use CR LF.
    r.notes = txtNotes_->toPlainText();
    if (r.notes != QString(saved_.notes).replace(QStringLiteral("\r\n"), QStringLiteral("\n")))
        r.notes.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    else
        r.notes = saved_.notes;
    return r;
}

bool CookbookWindow::HasUnsavedChanges() const
{
    const Recipe now = cookbook::WithoutEmptyRows(EditorRecipe());
    if (saved_.id == 0) // a new recipe counts as changed once anything is in it
        return !(now.title.isEmpty() && now.category.isEmpty() && now.ingredients.isEmpty() &&
                 now.directions.isEmpty() && now.notes.isEmpty() && now.source.isEmpty() &&
                 now.cuisine.isEmpty() && now.servings.isEmpty() && now.prepTime.isEmpty() &&
                 now.cookTime.isEmpty() && now.rating.isEmpty());
    return now != cookbook::WithoutEmptyRows(saved_);
}

void CookbookWindow::Edited()
{
    if (loading_)
        return;
    const bool changed = HasUnsavedChanges();
    actSave_->setEnabled(changed || saved_.id == 0);
    actRevert_->setEnabled(changed);
    actDelete_->setEnabled(saved_.id != 0 || !SelectedIds().isEmpty());
    actDuplicate_->setEnabled(saved_.id != 0 || changed);
    setWindowModified(changed);
    UpdateShared();
}

void CookbookWindow::UpdateShared()
{
    const Recipe r = cookbook::WithoutEmptyRows(EditorRecipe());
    if (r.isPrivate && store_.HasPrivateColumn()) {
        txtShared_->setPlainText(QStringLiteral("Private: not shared"));
        return;
    }
    if (const auto problem = cookbook::Validate(r)) {
        txtShared_->setPlainText(QStringLiteral("Not shared as it stands: ") + problem->message);
        return;
    }
    const std::optional<QString> preview =
        FormatRecipe(cookbook::SharedText(r, app_) + SectionSep(app_) + QStringLiteral("0"), app_);
    txtShared_->setPlainText(
        preview ? QString(*preview).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                : QString());
}

void CookbookWindow::UpdateCount()
{
    lblCount_->setText(CountText(model_->Shown(), model_->Total()));
}

void CookbookWindow::Tell(const QString &text, PromptIcon icon)
{
    prompter_.MessageBox(text, kTitle, icon, PromptButtons::Ok);
}

void CookbookWindow::FocusField(const QString &field)
{
    const std::pair<const char *, QWidget *> fields[] = {{"title", txtTitle_},
                                                         {"type", cboRecipeType_},
                                                         {"category", txtCategory_},
                                                         {"cuisine", txtCuisine_},
                                                         {"servings", txtServings_},
                                                         {"prepTime", txtPrepTime_},
                                                         {"cookTime", txtCookTime_},
                                                         {"rating", txtRating_},
                                                         {"source", txtSource_},
                                                         {"notes", txtNotes_},
                                                         {"ingredients", tblIngredients_},
                                                         {"directions", tblDirections_}};
    for (const auto &[name, widget] : fields) {
        if (field == QLatin1String(name)) {
            widget->setFocus();
            return;
        }
    }
    // "ingredient 3", "step 2": that row. The rows left empty are not counted there.
    const bool ingredient = field.startsWith(QLatin1String("ingredient "));
    QTableWidget *table = ingredient ? tblIngredients_ : tblDirections_;
    int wanted = field.section(QLatin1Char(' '), 1).toInt();
    for (int row = 0; row < table->rowCount(); ++row) {
        bool empty = true;
        for (int c = 0; c < table->columnCount(); ++c)
            empty = empty && Cell(table, row, c).trimmed().isEmpty();
        if (!empty && --wanted == 0) {
            table->setFocus();
            table->setCurrentCell(row, 0);
            return;
        }
    }
}

bool CookbookWindow::SaveRecipe()
{
    Recipe r = EditorRecipe();
    if (const auto problem = cookbook::Validate(cookbook::WithoutEmptyRows(r))) {
        Tell(problem->message);
        FocusField(problem->field);
        return false;
    }
    QString error;
    if (!store_.Save(r, &error)) {
        // The edit stays in the window as it is.
        Tell(error);
        return false;
    }
    const auto entry = store_.Entry(r.id);
    model_->Put(r.id, entry);
    categories_->setStringList(store_.Categories());
    ShowRecipe(r);
    const int row = model_->RowOf(r.id);
    if (row >= 0) {
        const QSignalBlocker block(lvwRecipes_->selectionModel());
        lvwRecipes_->setCurrentIndex(model_->index(row));
        lvwRecipes_->selectionModel()->select(model_->index(row),
                                              QItemSelectionModel::ClearAndSelect);
        lvwRecipes_->scrollTo(model_->index(row));
    }
    UpdateCount();
    statusBar()->showMessage(QStringLiteral("Saved \"%1\".").arg(r.title), 5000);
    return true;
}

bool CookbookWindow::SettleChanges()
{
    if (!HasUnsavedChanges())
        return true;
    const QString title = txtTitle_->text().trimmed().isEmpty()
                              ? QStringLiteral("the new recipe")
                              : QStringLiteral("\"%1\"").arg(txtTitle_->text().trimmed());
    const PromptAnswer answer = prompter_.MessageBox(
        QStringLiteral("You have changed %1 and not saved it.\n\nSave the changes now? (No "
                       "drops them.)")
            .arg(title),
        QStringLiteral("Unsaved Changes"), PromptIcon::Question, PromptButtons::YesNo);
    return answer == PromptAnswer::Yes ? SaveRecipe() : true;
}

void CookbookWindow::NewRecipe()
{
    if (!SettleChanges())
        return;
    Recipe r;
    r.type = cboType_->currentData().toString().isEmpty() ? QString::fromLatin1(cookbook::kTypeFood)
                                                          : cboType_->currentData().toString();
    ShowRecipe(r);
    lvwRecipes_->selectionModel()->clearSelection();
    {
        const QSignalBlocker block(lvwRecipes_->selectionModel());
        lvwRecipes_->setCurrentIndex({});
    }
    txtTitle_->setFocus();
}

void CookbookWindow::DuplicateRecipe()
{
    Recipe copy = EditorRecipe();
    if (!SettleChanges())
        return;
    copy.id = 0;
    copy.title = copy.title.trimmed() + QStringLiteral(" (copy)");
    // Shown as a new recipe not saved yet: everything filled in, nothing stored.
    Recipe blank;
    blank.type = copy.type;
    blank.misc = copy.misc;
    ShowRecipe(copy);
    saved_ = blank;
    Edited();
    lvwRecipes_->selectionModel()->clearSelection();
    txtTitle_->setFocus();
    txtTitle_->selectAll();
}

void CookbookWindow::RevertRecipe()
{
    ShowRecipe(saved_);
}

void CookbookWindow::DeleteRecipes()
{
    QList<qint64> ids = SelectedIds();
    if (ids.isEmpty() && saved_.id != 0)
        ids = {saved_.id};
    if (ids.isEmpty()) {
        // Nothing stored yet: deleting a new recipe only empties the editor.
        if (HasUnsavedChanges() &&
            prompter_.MessageBox(QStringLiteral("Throw away the new recipe?"),
                                 QStringLiteral("Delete Recipe"), PromptIcon::Question,
                                 PromptButtons::YesNo) == PromptAnswer::Yes)
            ShowRecipe(Recipe{});
        return;
    }
    const QString what =
        ids.size() == 1
            ? QStringLiteral("\"%1\"").arg(ids.front() == saved_.id
                                               ? saved_.title
                                               : store_.Load(ids.front()).value_or(Recipe{}).title)
            : QStringLiteral("the %1 selected recipes")
                  .arg(QLocale(QLocale::English).toString(ids.size()));
    if (prompter_.MessageBox(
            QStringLiteral("Delete %1 from the cookbook? This cannot be undone.").arg(what),
            QStringLiteral("Delete Recipe"), PromptIcon::Question,
            PromptButtons::YesNo) != PromptAnswer::Yes)
        return;
    const int row = std::max(0, model_->RowOf(ids.front()));
    for (qint64 id : ids) {
        QString error;
        if (!store_.Delete(id, &error)) {
            Tell(error);
            break;
        }
        model_->Put(id, std::nullopt);
    }
    UpdateCount();
    const bool currentGone = ids.contains(saved_.id);
    if (currentGone) {
        ShowRecipe(Recipe{});
        if (model_->Shown() > 0)
            Select(model_->IdAt(std::min(row, model_->Shown() - 1)));
    }
    statusBar()->showMessage(QStringLiteral("Deleted %1.").arg(what), 5000);
}

void CookbookWindow::closeEvent(QCloseEvent *event)
{
    if (!SettleChanges()) {
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace zestrel::cookbookui
