#include "app/AppState.h"

#include "protocol/Protocol.h"

#include <QDir>

namespace zestrel
{

namespace
{
QString fromBytes(std::string_view bytes)
{
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}
} // namespace

AppState::AppState(Diagnostics &diagnostics, Prompter &prompter_, QString programFolder)
    : diag(diagnostics), prompter(prompter_), ProgramFolder(std::move(programFolder))
{
    // Doubled separators collapse, so a folder at the root or given with a trailing
    // separator still gives one separator before the file name.
    SettingsFilePath = QDir::cleanPath(ProgramFolder + QStringLiteral("/zestrel.ini"));
}

void AppState::InitSeparators()
{
    FieldSep = fromBytes(protocol::kFieldSep);
    ListSep = fromBytes(protocol::kListSep);
    ArgSep = fromBytes(protocol::kArgSep);
}

} // namespace zestrel
