// The settings dialog as a model: the state of every control, the load that fills them
// from zestrel.ini, the close that writes every key back and publishes the values, and
// the click rules. The dialog window (ui/FrmSettings) only shows this model.
#pragma once

#include "app/AppState.h"
#include "app/Text.h"
#include "config/SettingsCatalogue.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace zestrel
{

// Writes or removes the auto-start entry; called on every close with AUTOSTART == "1".
using AutoStartHook = std::function<void(bool)>;

class SettingsForm : public QObject
{
    Q_OBJECT
  public:
    explicit SettingsForm(AppState &state, AutoStartHook autoStart = {}, QObject *parent = nullptr);

    // The dialog's load: fresh controls, filled from the settings file (defaults for
    // missing keys). Sets CookbookIniPath.
    void Load();
    // The dialog's unload: publishes every value (Settings, UserName, CookbookIniPath),
    // writes all 24 keys in order and applies auto-start. A key that cannot be written is
    // reported in the message center and the others are still written; false then.
    bool Close();

    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }

    // Check boxes by objectName. Changing the state runs the box's click rule, as a click
    // by the member does.
    bool Checked(const QString &control) const { return checked_.value(control); }
    void SetChecked(const QString &control, bool checked);
    bool Enabled(const QString &control) const { return enabled_.value(control, true); }

    // Text fields (txtProfile_0..2, txtCKFPath). Multi-line texts use CR LF between lines.
    QString Text(const QString &control) const { return texts_.value(control); }
    void SetText(const QString &control, const QString &text);

    // Fixed lists (cboBaseFontSize, cboStoredRecipes): -1 when nothing is selected.
    int ListIndex(const QString &control) const { return lists_.value(control, -1); }
    QString ListText(const QString &control) const;
    void SetListIndex(const QString &control, int index);
    // Selects the item with exactly this text; false (selection unchanged) when none has it.
    bool SelectListText(const QString &control, const QString &text);

    // Colours are 0x00BBGGRR.
    std::uint32_t SwatchColor(int index) const { return swatch_.at(std::size_t(index)); }
    // Sample fields: 0 txtExample, 1 txtExample2.
    std::uint32_t ExampleTextColor(int which) const { return exampleText_.at(std::size_t(which)); }
    std::uint32_t ExampleBackColor(int which) const { return exampleBack_.at(std::size_t(which)); }

    // Checks a user name changed in the dialog (typed, previous) and says whether it
    // may be used; unset, any name is taken as typed.
    std::function<bool(const QString &, const QString &)> AcceptName;

    // False while the recipe database has not been opened yet (start-up, restore): the
    // no-database rule of the search boxes waits until NoDatabase means something.
    bool DatabaseKnown = true;

    // The base font size shown at load: the size the chat display was last drawn with.
    QString FontSizeAtLoad() const { return fontSizeAtLoad_; }

    // Every control's value as stored in the file, by key.
    QMap<QString, QString> Values() const;

    // Click handlers.
    void ChooseCookbookFile();
    void ChooseChatColor(int index);

  signals:
    // Any control state changed; the window refreshes from the model.
    void changed();

  private:
    void Reset();
    void OnCheckClick(const QString &control, bool checked);
    void Refuse(const QString &text);

    AppState &state_;
    AutoStartHook autoStart_;
    bool visible_ = false;
    QHash<QString, bool> checked_;
    QHash<QString, bool> enabled_;
    QHash<QString, QString> texts_;
    QHash<QString, int> lists_;
    std::array<std::uint32_t, 3> swatch_{};
    std::array<std::uint32_t, 2> exampleText_{};
    std::array<std::uint32_t, 2> exampleBack_{};
    std::uint32_t lastChosenColor_ = 0; // the colour chooser starts from its last colour
    QString fontSizeAtLoad_;
};

// Start-up's (and a restore's) load-and-close of the dialog without showing it: afterwards
// the settings file holds every key and the settings values are published. It runs before
// the recipe database is opened, so search settings are kept as stored.
void LoadSettingsUnseen(AppState &state, const AutoStartHook &autoStart = {});

} // namespace zestrel
