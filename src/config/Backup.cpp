#include "config/Backup.h"

#include "app/Text.h"
#include "config/Ini.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <optional>

namespace zestrel
{

namespace
{

// What a failed step reports: the error number, where it happened and what went wrong.
struct FileError {
    int number;
    QString description;
};
constexpr int kFileNotFound = 53;
constexpr int kPathFileAccess = 75;

// A copy that replaces its target only once the whole source has been read and written:
// it goes to a temporary file beside the target and is renamed over it, so a failed copy
// leaves the target as it was.
std::optional<FileError> CopyOver(const QString &from, const QString &to)
{
    if (!QFile::exists(from))
        return FileError{kFileNotFound, QStringLiteral("File not found: ") + from};
    const auto accessError = [](const QFileDevice &file) {
        return FileError{kPathFileAccess,
                         QStringLiteral("Path/File access error: ") + file.errorString()};
    };
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return accessError(source);
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly))
        return accessError(target);
    char chunk[64 * 1024];
    for (;;) {
        const qint64 n = source.read(chunk, sizeof chunk);
        if (n < 0)
            return accessError(source);
        if (n == 0)
            break;
        if (target.write(chunk, n) != n)
            return accessError(target);
    }
    if (!target.commit())
        return accessError(target);
    return std::nullopt;
}

void ShowError(AppState &state, const FileError &e)
{
    state.diag.ShowMessage(QString::number(e.number) + QStringLiteral(": ") +
                               QStringLiteral("Zestrel") + kCrLf + kCrLf + e.description,
                           QStringLiteral("Error"));
}

QString FolderFile(const AppState &state, const char *name)
{
    return QDir::cleanPath(QDir(state.ProgramFolder).filePath(QString::fromLatin1(name)));
}

void WriteFlag(const QString &backup, bool ask)
{
    WriteIniKey(backup, QStringLiteral("FLAG"),
                ask ? QStringLiteral("ASKTORESTORE=YES") : QStringLiteral("ASKTORESTORE=NO"));
}

} // namespace

QString BackupFilePath(const AppState &state)
{
    return FolderFile(state, "zestrel.xxx");
}

QString PreviousFilePath(const AppState &state)
{
    return FolderFile(state, "zestrel.old");
}

QString BackupQuestionText()
{
    return QStringLiteral("You have made a backup copy of your current settings.  This can be used "
                          "so when you upgrade to the next version of Zestrel, you can restore "
                          "your settings.") +
           kCrLf + kCrLf +
           QStringLiteral("Would you like to flag this file so that the next time you run Zestrel, "
                          "it will prompt you to restore Zestrel settings from your backup file?");
}

QString RestoredText()
{
    return QStringLiteral("You have restored the last backed up copy of your settings.") + kCrLf +
           kCrLf +
           QStringLiteral(
               "You will have to restart Zestrel before some of these changes are active!");
}

QString OfferText()
{
    return QStringLiteral("Zestrel has detected that a backup Zestrel settings file exists from a "
                          "previous version of Zestrel.") +
           kCrLf + kCrLf +
           QStringLiteral("Would you like to restore all Zestrel settings from the backup file?");
}

void BackupSettings(AppState &state)
{
    const QString backup = BackupFilePath(state);
    DeleteFile(backup);
    if (const auto e = CopyOver(state.SettingsFilePath, backup)) {
        ShowError(state, *e);
        return;
    }
    const PromptAnswer answer =
        state.prompter.MessageBox(BackupQuestionText(), QStringLiteral("Backup Settings"),
                                  PromptIcon::Question, PromptButtons::YesNo);
    WriteFlag(backup, answer == PromptAnswer::Yes);
}

void RestoreSettings(AppState &state, const AutoStartHook &autoStart)
{
    const QString backup = BackupFilePath(state);
    // Without a backup there is nothing to restore: the previous copy is kept as it is.
    if (!QFile::exists(backup)) {
        ShowError(state, {kFileNotFound, QStringLiteral("File not found: ") + backup});
        return;
    }
    DeleteFile(PreviousFilePath(state));
    if (const auto e = CopyOver(state.SettingsFilePath, PreviousFilePath(state))) {
        ShowError(state, *e);
        return;
    }
    if (const auto e = CopyOver(backup, state.SettingsFilePath)) {
        ShowError(state, *e);
        return;
    }
    state.diag.ShowMessage(RestoredText(), QStringLiteral("Restore Settings"));
    LoadSettingsUnseen(state, autoStart);
}

void OfferRestore(AppState &state)
{
    const QString backup = BackupFilePath(state);
    if (!FileExists(backup))
        return;
    if (ReadIniKey(backup, QStringLiteral("FLAG"), QStringLiteral("ASKTORESTORE")) ==
        QLatin1String("NO"))
        return;
    const PromptAnswer answer =
        state.prompter.MessageBox(OfferText(), QStringLiteral("Backup Settings File found"),
                                  PromptIcon::Question, PromptButtons::YesNo);
    if (answer == PromptAnswer::Yes) {
        QString previous = state.SettingsFilePath;
        previous.replace(QStringLiteral(".ini"), QStringLiteral(".old"));
        // The current settings are kept aside before the backup takes their place. A copy
        // that fails changes nothing and leaves the flag alone, so the offer comes back.
        std::optional<FileError> e;
        if (QFile::exists(state.SettingsFilePath))
            e = CopyOver(state.SettingsFilePath, previous);
        if (!e)
            e = CopyOver(backup, state.SettingsFilePath);
        if (e) {
            ShowError(state, *e);
            return;
        }
    }
    WriteFlag(backup, false);
}

} // namespace zestrel
