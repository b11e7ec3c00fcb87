// The import and export commands of zestrel-cookbook. Each takes the words after its
// name and the folder to use when no --folder is given, prints to out and err, and
// returns the exit code.
#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace zestrel::cookbook
{

// import [--folder F] FILE|URL...
// Prints the rows that are not imported and the report; 1 when nothing could be read
// or nothing could be saved, 2 for a usage error.
int ImportCommand(const QStringList &args, const QString &defaultFolder, QTextStream &out,
                  QTextStream &err);

// export [--folder F] --format mmf|jsonld|cook|pdf --out FILE [--category C] [--ids ID...]
//        [--servings N] [--measures metric|us] [--title T]
int ExportCommand(const QStringList &args, const QString &defaultFolder, QTextStream &out,
                  QTextStream &err);

// The usage lines of both, for the tool's own usage text.
QString ImportExportUsage();

} // namespace zestrel::cookbook
