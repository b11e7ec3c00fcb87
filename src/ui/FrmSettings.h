// The settings dialog window: four tabs of controls over the SettingsForm model. Every
// way of closing it (Save, the close box, Escape) saves.
#pragma once

#include "config/SettingsForm.h"

#include <QDialog>

class QCloseEvent;
class QShowEvent;

namespace zestrel
{

class FrmSettings : public QDialog
{
    Q_OBJECT
  public:
    // Makes the dialog and loads its controls from the settings file.
    explicit FrmSettings(AppState &state, AutoStartHook autoStart = {}, QWidget *parent = nullptr);

    SettingsForm &form() { return form_; }

    // Save: closes the dialog, which saves.
    void cmdSave_Click();

  signals:
    // The settings were written and published.
    void settingsSaved();

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

  private:
    void BuildUi();
    void Refresh();

    SettingsForm form_;
    bool closed_ = false; // saved since the last load; the next show loads again
    bool refreshing_ = false;
};

} // namespace zestrel
