// The commands of zestrel-cookbook, one function each; main.cpp only picks one.
// Every command takes `--folder F`, the folder of cookbook.db and cookbook.ini;
// without it the command works on the cookbook the client uses.
#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace zestrel::cookbooktool
{

struct Invocation {
    QStringList args; // what follows the command, without --folder and its value
    QString folder;   // the value of --folder, empty when not given
    QTextStream &out;
    QTextStream &err;

    // --folder, else the first of `args` when the command takes a folder there, else the
    // client's cookbook.
    QString Folder(bool positional = false) const;
    // Prints "zestrel-cookbook: " and the text to err; returns 1.
    int Fail(const QString &text) const;
};

// The folder of the cookbook the client on this machine uses: beside the cookbook.ini
// its settings name (CKFPATH), in the client's program folder when they name none.
QString ClientCookbookFolder();

int Usage(QTextStream &err);

// `open [FOLDER]`, and no command at all: the Cookbook window. Needs a QApplication.
int CommandOpen(Invocation &call);
// `create FOLDER`: an empty cookbook.
int CommandCreate(Invocation &call);
// `sample FOLDER --recipes N --seed S [--mix FOOD,DRINK] [--cuisines A,B]`.
int CommandSample(Invocation &call);

// `import FILE|URL...`: reads, marks duplicates, imports the new recipes in one
// transaction and prints the report; 1 when nothing could be read or saved.
int CommandImport(Invocation &call);
// `export --format mmf|jsonld|cook|pdf --out FILE [--category C] [--ids ID...]
// [--servings N] [--measures metric|us] [--title T]`. Needs a QGuiApplication.
int CommandExport(Invocation &call);

} // namespace zestrel::cookbooktool
