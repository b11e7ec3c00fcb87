// Import...: the files and pages the member adds (or drops) are read at once and shown
// one row a recipe, marked New, Duplicate of "Title" (id) or Error with the file and
// line; the ticked rows go into the cookbook in one transaction.
#pragma once

#include "app/Prompter.h"
#include "cookbookio/Importer.h"

#include <QDialog>
#include <QUrl>

class QLabel;
class QMimeData;
class QPushButton;
class QTreeWidget;

namespace zestrel::formats
{
class PageFetcher;
}

namespace zestrel::cookbookui
{

class ImportDialog : public QDialog
{
    Q_OBJECT
  public:
    ImportDialog(cookbook::Cookbook &store, Prompter &prompter, QWidget *parent = nullptr);
    ~ImportDialog() override;

    // Reads the files now and adds their rows.
    void AddFiles(const QStringList &paths);
    // Starts fetching a page; its rows come when it is read (`pageRead`).
    void AddUrl(const QUrl &url);
    // Files and http(s) addresses from a drop or a paste; false when there are none.
    bool AddDropped(const QMimeData &data);
    static bool CanTake(const QMimeData &data);

    const QList<cookbook::ImportRow> &Rows() const { return rows_; }
    bool IsFetching() const;
    void SetTicked(int row, bool ticked);

    // The "Import" button: saves the ticked rows and shows the report.
    cookbook::ImportReport ImportTicked();
    QString ReportText() const;

  signals:
    void pageRead();
    // Recipes were written to the cookbook.
    void imported();

  protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

  private:
    void AddSource(cookbook::ImportSource source);
    void Replan();
    void ShowRows();
    void AskFile();
    void AskUrl();
    void FetchNext();

    cookbook::Cookbook &store_;
    Prompter &prompter_;
    QList<cookbook::ImportSource> sources_;
    QList<cookbook::ImportRow> rows_;
    QList<QUrl> waiting_;
    formats::PageFetcher *fetcher_;
    QTreeWidget *lstImport_;
    QLabel *lblReport_;
    QPushButton *cmdImport_;
    bool filling_ = false;
};

} // namespace zestrel::cookbookui
