// The user settings kept in zestrel.ini: every key, its section, its default and the
// settings dialog control that edits it, in the order the dialog writes them.
#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace zestrel
{

enum class SettingKind {
    Check,     // check box, stored "0"/"1"
    Text,      // one-line text field
    MultiLine, // several lines; CR LF stored as ListSep
    Swatch,    // colour 0x00BBGGRR as decimal text
    List,      // fixed list, stored as the item's text
    Path,      // path field with a chooser button
};

struct SettingDef {
    const char *section;
    const char *key;
    const char *control;      // objectName of the dialog control
    const char *defaultValue; // unused for swatches (see DefaultSwatchColor)
    SettingKind kind;
    int maxLength = 0; // text fields: characters the member may type; 0 = no limit
};

inline constexpr std::size_t kSettingCount = 24;

// The 24 settings in the order the dialog writes them.
const std::array<SettingDef, kSettingCount> &SettingsCatalogue();

// The entry for `key`, or nullptr.
const SettingDef *FindSetting(const QString &key);

// Items of the two fixed lists ("cboBaseFontSize", "cboStoredRecipes"); empty otherwise.
QStringList ListItems(const QString &control);

// A swatch's colour while its key is absent, 0x00BBGGRR: black text (0), a white back
// (1) and dark blue for incoming text (2), so the samples and chat lines can be read
// whatever the desktop's palette.
inline constexpr std::uint32_t kDefaultTextColor = 0x000000;
inline constexpr std::uint32_t kDefaultBackColor = 0xFFFFFF;
inline constexpr std::uint32_t kDefaultIncomingColor = 0x800000; // navy: blue 128
std::uint32_t DefaultSwatchColor(int index);

// The value a missing key gets (swatches: DefaultSwatchColor as decimal text).
QString DefaultSettingValue(const SettingDef &def);

} // namespace zestrel
