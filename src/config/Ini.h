// INI-style settings files: zestrel.ini, cookbook.ini, the backup copy.
#pragma once

#include <QString>

namespace zestrel
{

// Value of `key` in the first section named `section`; empty when anything is missing.
QString ReadIniKey(const QString &path, const QString &section, const QString &key);

// Stores `keyLine` ("KEY=value") in `section`. Writes a temporary file beside the
// target and renames it over the target, so the file is never left half-written.
// Returns false (file unchanged) on failure; `error` then says why.
bool WriteIniKey(const QString &path, const QString &section, const QString &keyLine,
                 QString *error = nullptr);

bool FileExists(const QString &path);
bool DeleteFile(const QString &path);
// Creates the folder part of the path (failures ignored), then the file, empty.
bool CreateEmptyFile(const QString &path);

} // namespace zestrel
