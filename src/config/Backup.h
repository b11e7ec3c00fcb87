// Settings backup and restore: zestrel.xxx is a copy of zestrel.ini carrying the flag
// FLAG/ASKTORESTORE; zestrel.old is the settings file as it was before a restore.
#pragma once

#include "app/AppState.h"
#include "config/SettingsForm.h"

namespace zestrel
{

QString BackupFilePath(const AppState &state);   // zestrel.xxx
QString PreviousFilePath(const AppState &state); // zestrel.old

QString BackupQuestionText();
QString RestoredText();
QString OfferText();

// File > Settings > Backup: copies the settings file and asks whether the next start
// should offer it. A failure is shown in the message center as "Error".
void BackupSettings(AppState &state);
// File > Settings > Restore: keeps the current file as zestrel.old, puts the backup in
// its place and makes its values current (the auto-start entry follows).
void RestoreSettings(AppState &state, const AutoStartHook &autoStart = {});
// Start-up, before the settings are loaded: offers a flagged backup once.
void OfferRestore(AppState &state);

} // namespace zestrel
