// The program itself: owns the process-wide state, the diagnostics, the prompts,
// the recipe database and the windows, and runs start-up and shutdown through the
// client core's StartUp, showing what needs a window.
#pragma once

#include "app/AppState.h"
#include "app/Diagnostics.h"
#include "app/Prompter.h"
#include "client/StartUp.h"
#include "config/Registry.h"
#include "config/SettingsForm.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QTextDocument;
class QWidget;

namespace zestrel
{

class Session;
class FrmMessage;
class FrmSettings;
class RecipeDatabase;
class GuiPrompter;
class MainWindow;
class SingleInstance;

// Our print module's preview: a modeless QPrintPreviewDialog that owns the document.
void ShowPrintPreview(std::unique_ptr<QTextDocument> document, QWidget *parent);

class Application : public QObject, private StartUpShell
{
    Q_OBJECT
    // Declared first: the public references below point into startUp_.
    Diagnostics diag_;
    std::unique_ptr<GuiPrompter> ownPrompter_;
    Prompter *prompter_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<SingleInstance> single_;
    std::unique_ptr<RecipeDatabase> db_;
    std::unique_ptr<zestrel::StartUp> startUp_;
    // Goes before the session it shows.
    std::unique_ptr<MainWindow> mainWindow_;
    QPointer<FrmMessage> messageWindow_;
    QPointer<FrmSettings> settingsWindow_;

  public:
    // `programFolder` holds zestrel.ini, zestrel.set, the log and the backups.
    // Without a prompter the real dialogs are used. A test may replace any of the
    // hooks before StartUp.
    explicit Application(const QString &programFolder, Prompter *prompter = nullptr,
                         QObject *parent = nullptr);
    ~Application() override;

    Diagnostics &diag() { return diag_; }
    AppState &state() { return *state_; }
    Prompter &prompter() { return *prompter_; }
    // Null until start-up creates it.
    MainWindow *mainWindow() const { return mainWindow_.get(); }
    SingleInstance &singleInstance() { return *single_; }
    // The whole client without its windows; null until start-up creates it with the
    // main window.
    Session *session() const;
    // The member's recipe database (`RecipeDb`), opened at start-up.
    RecipeDatabase &recipeDatabase() { return *db_; }
    // The message center's window, while one exists.
    FrmMessage *messageWindow() const;

    StartUpHooks &hooks;
    // Where the auto-start entry goes; a test points it into its own folder.
    RegistryPlace registryPlace = DefaultRegistryPlace();
    // The command line the auto-start entry runs.
    QString autoStartCommand;
    // Writes or removes the auto-start entry (every close of the settings dialog).
    void ApplyAutoStart(bool enabled);
    // Ends the process; main() makes it leave the event loop.
    std::function<void()> &EndProcess;

    bool StartUp() { return startUp_->Run(); }
    bool MainWindowLoad() { return startUp_->MainWindowLoad(); }
    void MainWindowActivate() { startUp_->MainWindowActivate(); }
    void MainWindowUnload() { startUp_->MainWindowUnload(); }
    // File > Settings > Show: the settings dialog, without blocking the window.
    void ShowSettings();
    // File > Settings > Backup / Restore.
    void mnuBackupSettings_Click();
    void mnuRestoreSettings_Click();
    // Help menu.
    void mnuVersion_Click();
    void munUpTime_Click();
    void mnuUninstall_Click();
    // SIGTERM or SIGINT: the window closes as when the member closes it.
    void CloseOnSignal();

    static QString ActivityLegendText();

    bool unloaded() const { return startUp_->unloaded(); }

  signals:
    // Shutdown has run to its end.
    void ended();

  private:
    void CreateMainWindow(Session &session) override;
    void BeginWindowLoad() override;
    void BringToFront() override;
    bool LivesInTray() const override;
    void BeginUnload() override;
    void EndUnload() override;
    void setUpMessageWindow(MessageCenter *center);
    // The base font size on the tree, both preview boxes and the results list.
    void ApplyFontSize();
    AutoStartHook autoStartHook();
};

} // namespace zestrel
