#include "search/SearchModel.h"

#include "app/Text.h"
#include "app/Wait.h"
#include "protocol/Protocol.h"
#include "wire/Frame.h"
#include "wire/Payloads.h"

#include <QTime>

namespace zestrel
{

SearchModel::SearchModel(AppState &app, MessageSender &sender, QObject *parent)
    : QObject(parent), app_(app), sender_(sender)
{
    lvwResults.setColumnCount(3);
    lvwResults.setHorizontalHeaderLabels(
        {QStringLiteral("User"), QStringLiteral("IP"), QStringLiteral("Recipe Title (ID)")});
    sortedResults.setSourceModel(&lvwResults);
    sortedResults.setSortCaseSensitivity(Qt::CaseInsensitive);
    sortedResults.sort(-1);
}

void SearchModel::Register(Dispatcher &dispatcher)
{
    dispatcher.Register(protocol::code::SearchReply,
                        [this](const QString &, const QString &p) { ProcessSearchResults(p); });
}

QString SearchModel::Data(int index) const
{
    return index >= 0 && index < int(data_.size()) ? data_[size_t(index)] : QString();
}

void SearchModel::SetData(int index, const QString &text)
{
    if (index < 0 || index >= int(data_.size()) || data_[size_t(index)] == text)
        return;
    data_[size_t(index)] = text;
    emit dataChanged(index, text);
}

void SearchModel::SetPreviewText(const QString &text)
{
    if (preview_ == text)
        return;
    preview_ = text;
    emit previewTextChanged(text);
}

bool SearchModel::cmdSearch_Click()
{
    const QString joined = TrimSpaces(data_[0]) + TrimSpaces(data_[1]) + TrimSpaces(data_[2]);
    if (CharCount(joined) <= 2) {
        emit focusTitleRequested();
        app_.diag.ShowMessage(
            QStringLiteral("The total length of the Title, Category and/or Ingredient must be "
                           "more than 2 characters to perform a recipe search across multiple "
                           "users!"),
            QStringLiteral("Error"));
        return false;
    }
    SendSearch();
    app_.diag.ShowMessage(QStringLiteral("Please wait while the Zestrel server requests your "
                                         "search results from the other users on the Zestrel "
                                         "network!"),
                          QStringLiteral("Retreiving Data"));
    // Answers are taken in meanwhile, as they arrive.
    PauseWithEvents(SearchPause);
    app_.diag.CloseMessageCenter();
    return true;
}

void SearchModel::SendSearch()
{
    lvwResults.removeRows(0, lvwResults.rowCount());
    sortedResults.sort(-1);
    cutNoticeShown_ = false;
    emit busyChanged(true);
    // The fields go as typed; the answering side decides what is empty. Always four
    // parts, so the category travels even when it is empty.
    const bool all = NumericValueOf(app_.Setting(QStringLiteral("ALLRECIPES"))) != 0;
    const QString payload = data_[0] + app_.FieldSep + data_[1] + app_.FieldSep +
                            (all ? QStringLiteral("1") : QStringLiteral("0")) + app_.FieldSep +
                            data_[2];
    sender_.SendMessage(protocol::code::Search, app_.MyUserKey, QString(), payload);
    emit busyChanged(false);
}

void SearchModel::ProcessSearchResults(const QString &payload)
{
    if (payload.isEmpty())
        return;
    for (const QString &item : payload.split(app_.ListSep)) {
        const QStringList parts = item.split(app_.ArgSep);
        // A malformed item ends this message; rows added before it stay.
        if (parts.size() < 3)
            return;
        if (lvwResults.rowCount() >= kMaxResultRows) {
            if (!cutNoticeShown_)
                app_.diag.SetStatus(QStringLiteral("Search results limited to the first %1 "
                                                   "rows; later answers were left out.")
                                        .arg(kMaxResultRows));
            cutNoticeShown_ = true;
            return;
        }
        appendRow(parts[0], parts[1], parts[2]);
    }
}

void SearchModel::appendRow(const QString &owner, const QString &id, const QString &title)
{
    QString hidden = owner;
    hidden.replace(app_.FieldSep, QLatin1String(kKeyMark));
    QList<QStandardItem *> row{
        new QStandardItem(UserKeyPart(owner, 1)), new QStandardItem(hidden),
        new QStandardItem(title + QStringLiteral(" (") + id + QStringLiteral(")"))};
    for (QStandardItem *cell : row)
        cell->setEditable(false);
    lvwResults.appendRow(row);
}

QString SearchModel::RowRecipeId(int row) const
{
    const QString text = lvwResults.index(row, TitleColumn).data().toString();
    const qsizetype open = text.lastIndexOf(QLatin1Char('('));
    if (open < 0)
        return QString();
    // Between the last "(" and the last character.
    return TrimSpaces(text.mid(open + 1, text.size() - open - 2));
}

QString SearchModel::RowOwnerKey(int row) const
{
    QString key = lvwResults.index(row, IpColumn).data().toString();
    return key.replace(QLatin1String(kKeyMark), app_.FieldSep);
}

void SearchModel::lvwResults_Click(const QModelIndex &viewIndex)
{
    LastClickTime = QString::number(QTime::currentTime().msecsSinceStartOfDay() / 1000);
    if (lvwResults.rowCount() == 0)
        return;
    QModelIndex source = viewIndex;
    if (viewIndex.model() == &sortedResults)
        source = sortedResults.mapToSource(viewIndex);
    if (!source.isValid() || source.model() != &lvwResults)
        return;
    emit busyChanged(true);
    const wire::RecipeRequest request{RowRecipeId(source.row()), QStringLiteral("1")};
    sender_.SendMessage(protocol::code::RecipeRequest, app_.MyUserKey, RowOwnerKey(source.row()),
                        wire::Encode(request));
    emit busyChanged(false);
}

void SearchModel::lvwResults_ColumnClick(int column)
{
    if (column < 0 || column >= lvwResults.columnCount())
        return;
    sortedResults.sort(column, Qt::AscendingOrder);
}

void SearchModel::ResetSearchWindow()
{
    for (int i = 0; i < int(data_.size()); ++i)
        SetData(i, QString());
    lvwResults.removeRows(0, lvwResults.rowCount());
}

void SearchModel::ShowPreviewText()
{
    app_.diag.ShowMessage(preview_, QString());
}

void SearchModel::ClearViews()
{
    lvwResults.removeRows(0, lvwResults.rowCount());
    SetPreviewText(QString());
}

} // namespace zestrel
