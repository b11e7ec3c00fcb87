// The search tab as a model: the three criteria, the search request,
// the result list `lvwResults` with its hidden "IP" column, column sorting, the
// request for a result's whole recipe and the preview text `txtPreview_1`.
#pragma once

#include "app/AppState.h"
#include "net/Dispatcher.h"

#include <QObject>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QString>
#include <array>

namespace zestrel
{

class SearchModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString txtPreview_1 READ PreviewText WRITE SetPreviewText NOTIFY previewTextChanged)
  public:
    enum Column { UserColumn = 0, IpColumn = 1, TitleColumn = 2 };
    // Stands for FieldSep inside the hidden "IP" column.
    static constexpr const char *kKeyMark = "~@#@~";
    // Answers keep arriving as long as members answer; the list keeps the earliest
    // rows up to this bound so a flood of answers cannot grow it without end.
    static constexpr int kMaxResultRows = 2000;

    SearchModel(AppState &app, MessageSender &sender, QObject *parent = nullptr);

    // `lvwResults` in arrival order, and the same rows as the view shows them.
    QStandardItemModel lvwResults;
    QSortFilterProxyModel sortedResults;
    // Time of day in seconds of the last click in the result list (the browse tree
    // reads it too).
    QString LastClickTime;
    // Seconds the search button waits with the "Retreiving Data" notice.
    double SearchPause = 2.0;

    // Registers 114 (ProcessSearchResults).
    void Register(Dispatcher &dispatcher);

    // `txtData` 0 (title), 1 (ingredient), 2 (category).
    QString Data(int index) const;
    void SetData(int index, const QString &text);

    QString PreviewText() const { return preview_; }
    void SetPreviewText(const QString &text);

    // cmdSearch: false when the criteria were too short (nothing sent).
    bool cmdSearch_Click();
    void SendSearch();
    void ProcessSearchResults(const QString &payload);
    // A click on (or a key released over) a row of the list as the view shows it:
    // asks the row's owner for the whole recipe (107).
    void lvwResults_Click(const QModelIndex &viewIndex);
    // Sorting on by this column, ascending.
    void lvwResults_ColumnClick(int column);
    // The column sorted by, -1 while sorting is off.
    int SortColumn() const { return sortedResults.sortColumn(); }
    void ResetSearchWindow();
    // Ctrl+S in the preview box: the preview text in the message center.
    void ShowPreviewText();
    // A reset of the connection: the results and the preview go.
    void ClearViews();

    // The recipe id and owner key a result row asks for (source rows).
    QString RowRecipeId(int row) const;
    QString RowOwnerKey(int row) const;

  signals:
    void dataChanged(int index, const QString &text);
    void previewTextChanged(const QString &text);
    // The title field should take the focus.
    void focusTitleRequested();
    // The busy pointer on or off.
    void busyChanged(bool busy);

  private:
    void appendRow(const QString &owner, const QString &id, const QString &title);

    AppState &app_;
    MessageSender &sender_;
    std::array<QString, 3> data_;
    QString preview_;
    bool cutNoticeShown_ = false;
};

} // namespace zestrel
