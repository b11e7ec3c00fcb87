// Browsing fixtures: a sender that records instead of sending, a browse stack
// (directory, tree, profile, storage box, browser) without a connection, and the
// The example recipe as transfer text, as database rows and as preview lines.
#pragma once

#include "app/AppState.h"
#include "app/Diagnostics.h"
#include "browse/Browser.h"
#include "net/Dispatcher.h"
#include "support/FakePrompter.h"
#include "wire/Payloads.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>

namespace zestrel::test
{

struct SentMessage {
    int code = 0;
    QString source, destination, payload;
};

class RecordingSender : public MessageSender
{
  public:
    QList<SentMessage> sent;
    void SendMessage(int code, const QString &source, const QString &destination,
                     const QString &payload) override
    {
        sent.append({code, source, destination, payload});
    }
    QList<int> codes() const
    {
        QList<int> c;
        for (const auto &m : sent)
            c << m.code;
        return c;
    }
};

// The example recipe: Corn Bread. As a transfer text with window section "0".
inline QString CornBreadText(const AppState &app)
{
    const QString fs = app.FieldSep, ss = app.ListSep + app.ListSep;
    return QStringList{"F",      "Corn Bread",  "Breads", "8", "10 min",
                       "25 min", "Serve warm.", "",       "",  ""}
               .join(fs) +
           ss + QStringList{"1", "cup", "cornmeal", "grains"}.join(fs) + ss +
           QStringList{"1", "Mix."}.join(fs) + ss + "0";
}

// Its seventeen preview lines, each ended by CR LF.
inline QString CornBreadPreview()
{
    const QStringList lines = {
        "Title:    \tCorn Bread",
        "Source:    \t",
        "Category:     \tBreads",
        "Cuisine:     \t",
        "Servings:     \t8",
        "Prep Time:    \t10 min",
        "Cook Time:    \t25 min",
        "Misc/Other: \t",
        "",
        "Ingredients:",
        "  1 cup cornmeal",
        "",
        "Directions:",
        "1:  Mix.",
        "",
        "Notes:",
        "  Serve warm.",
    };
    return lines.join("\r\n") + "\r\n";
}

// Adds Corn Bread with this id to an open cookbook database.
inline bool AddCornBread(QSqlDatabase db, qint64 id, const QString &category = "Breads")
{
    QSqlQuery q(db);
    q.prepare("INSERT INTO RECIPE (id, type, title, category, servings, prep_time, cook_time, "
              "notes, rating, source, cuisine, misc, private) VALUES "
              "(?, 'F', 'Corn Bread', ?, '8', '10 min', '25 min', 'Serve warm.', '', '', '', "
              "'', 0)");
    q.addBindValue(id);
    q.addBindValue(category);
    if (!q.exec())
        return false;
    q.prepare("INSERT INTO INGREDIENTS VALUES (?, 1, '1', 'cup', 'cornmeal', 'grains')");
    q.addBindValue(id);
    if (!q.exec())
        return false;
    q.prepare("INSERT INTO DIRECTIONS VALUES (?, '1', 'Mix.')");
    q.addBindValue(id);
    return q.exec();
}

// The browse layer of one member without a connection: requests land in `sender`.
struct BrowseStack {
    BrowseStack()
    {
        app.InitSeparators();
        app.UserName = "me";
        app.MyUserKey = Key("10.0.0.1", "me", "1");
    }
    QString Key(const QString &ip, const QString &name, const QString &index) const
    {
        return ip + app.FieldSep + name + app.FieldSep + index;
    }
    // Lists the own member and the others (by name); returns the member nodes.
    void list(const QStringList &others)
    {
        QList<wire::MemberKey> keys{{"10.0.0.1", "me", "1"}};
        int i = 2;
        for (const QString &name : others)
            keys.append({"10.0.0." + QString::number(i), name, QString::number(i++)});
        members.ProcessUsers(wire::EncodeMembers(keys));
    }
    QModelIndex member(const QString &name) const
    {
        for (int r = 0; r < tree.tvUsers.rowCount(); ++r)
            if (tree.tvUsers.index(r, 0).data().toString() == name)
                return tree.tvUsers.index(r, 0);
        return {};
    }
    QModelIndex child(const QModelIndex &parent, const QString &text) const
    {
        for (int r = 0; r < tree.tvUsers.rowCount(parent); ++r)
            if (tree.tvUsers.index(r, 0, parent).data().toString() == text)
                return tree.tvUsers.index(r, 0, parent);
        return {};
    }
    QStringList children(const QModelIndex &parent) const
    {
        QStringList t;
        for (int r = 0; r < tree.tvUsers.rowCount(parent); ++r)
            t << tree.tvUsers.index(r, 0, parent).data().toString();
        return t;
    }
    // Selects the node and clicks it with the left button.
    void click(const QModelIndex &node)
    {
        tree.tvUsersSelection.setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
        browser.tvUsers_MouseDown(Browser::LeftButton);
        browser.tvUsers_NodeClick(node);
        browser.tvUsers_MouseUp(Browser::LeftButton);
    }
    // A reply as the other member's client would send it.
    QString reply(const QStringList &items, const QString &nodeKey) const
    {
        return items.join(app.ListSep) + app.ArgSep + nodeKey;
    }

    QTemporaryDir dir;
    Diagnostics diag;
    FakePrompter prompter;
    AppState app{diag, prompter, dir.path()};
    RecordingSender sender;
    BrowseTree tree;
    MemberDirectory members{app, sender, tree};
    ProfileBoxes profile;
    StorageBox storage{app};
    Browser browser{app, sender, members, profile, storage};
};

} // namespace zestrel::test
