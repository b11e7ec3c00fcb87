// The storage box: the recipes previewed most recently, the
// position on show, the counter `txtStoredRecipe`, and the two preview boxes
// `txtPreview_0` (browse tab) and `txtPreview_1` (search tab) as text properties.
// Import and printing work on it through RecipeBox.
#pragma once

#include "app/AppState.h"
#include "store/Import.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

namespace zestrel
{

class StorageBox : public QObject, public RecipeBox
{
    Q_OBJECT
    Q_PROPERTY(QString txtPreview_0 READ txtPreview_0 NOTIFY previewChanged)
    Q_PROPERTY(QString txtPreview_1 READ txtPreview_1 NOTIFY previewChanged)
    Q_PROPERTY(QString txtStoredRecipe READ txtStoredRecipe NOTIFY counterChanged)
  public:
    static constexpr int PreviewCount = 2;
    // The capacity when STOREDRECIPES holds no number.
    static constexpr int DefaultCapacity = 25;

    explicit StorageBox(AppState &app, QObject *parent = nullptr);

    // Oldest first; positions count from 1.
    const QStringList &StoredRecipes() const { return stored_; }

    // RecipeBox
    int StoredCount() const override { return int(stored_.size()); }
    int StoredPosition() const override { return position_; }
    QString StoredText(int position) const override { return stored_.value(position - 1); }
    void ShowStored(int position) override;
    void RemoveStoredRecipe() override;

    // Stores a received recipe (105, or the own one) and shows it.
    void ProcessRecipe(const QString &pRecipe);
    // Formats one recipe text into both preview boxes; unshowable texts change nothing.
    void ViewRecipe(const QString &pRecipe);

    void cmdBack_Click();
    void cmdNext_Click();
    void cmdRemove_Click() { RemoveStoredRecipe(); }
    void cmdRecipeClear_Click();

    // Every connection attempt: the list starts empty, position 0; the counter and
    // the previews keep what they show.
    void EmptyForConnect();
    // The window's connection reset: previews empty, position 0, counter "0/0".
    void ResetViews();

    // Which preview box belongs to the selected tab (0 browse, 1 search, -1 neither).
    // The window sets it; the search tab plugs in through it. Unset means the browse box.
    std::function<int()> CurrentPreviewBox;
    int CurrentPreview() const { return CurrentPreviewBox ? CurrentPreviewBox() : 0; }

    QString PreviewText(int box) const;
    QString txtPreview_0() const { return PreviewText(0); }
    QString txtPreview_1() const { return PreviewText(1); }
    QString txtStoredRecipe() const { return counter_; }

  signals:
    void previewChanged();
    void previewTextChanged(int box, const QString &text);
    // A recipe was received and put on show in the box of the selected tab
    // (CurrentPreview()); the view brings that box to its top.
    void recipeShown(int box);
    void counterChanged(const QString &text);

  private:
    void setPreviews(const QString &text);
    void updateCounter();
    int capacity() const;

    AppState &app_;
    QStringList stored_;
    int position_ = 0;
    QString counter_ = QStringLiteral("0/0");
    std::array<QString, PreviewCount> previews_;
};

} // namespace zestrel
