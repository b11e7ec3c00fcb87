// Find duplicates: the cookbook's recipes that share a fingerprint (title and ingredient
// names), a group each; the member picks the copies to delete and confirms.
#pragma once

#include "app/Prompter.h"
#include "cookbookio/Importer.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace zestrel::cookbookui
{

class DuplicatesDialog : public QDialog
{
    Q_OBJECT
  public:
    DuplicatesDialog(cookbook::Cookbook &store, Prompter &prompter, QWidget *parent = nullptr);

    // Reads the groups again.
    void Refresh();
    const QList<QList<cookbook::KnownRecipe>> &Groups() const { return groups_; }
    void SetPicked(qint64 id, bool picked);
    QList<qint64> Picked() const;
    // The "Delete Picked" button: asks, then deletes; the number deleted.
    int DeletePicked();

  signals:
    void deleted();

  private:
    cookbook::Cookbook &store_;
    Prompter &prompter_;
    QList<QList<cookbook::KnownRecipe>> groups_;
    QTreeWidget *tvwDuplicates_;
    QLabel *lblDuplicates_;
    QPushButton *cmdDelete_;
};

} // namespace zestrel::cookbookui
