// The program itself: owns the process-wide state, the diagnostics, the prompts
// and the main window, and runs start-up and shutdown in their order.
#pragma once

#include "app/AppState.h"
#include "app/Diagnostics.h"
#include "app/Prompter.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

namespace zestrel
{

class ClientSession;
class FrmMessage;
class FrmSettings;
class RecipeDatabase;
class GuiPrompter;
class MainWindow;
class SingleInstance;

// Steps of start-up and shutdown that belong to other subsystems. Each is filled
// in by the subsystem that owns it; an empty hook is skipped.
struct StartUpHooks {
    // Before the settings are loaded: offer to bring back a settings backup.
    std::function<void(AppState &)> OfferRestore;
    // Load and close the settings dialog unseen: every key is read (defaults for
    // missing ones), published in AppState and written back.
    std::function<void(AppState &)> LoadSettingsUnseen;
    std::function<void(AppState &)> LoadNetSettings;
    std::function<void(AppState &)> UpdateNetSettingsFromWeb;
    // Sets AppState::NoDatabase.
    std::function<void(AppState &)> OpenRecipeDatabase;
    // False when the private recipes are to be ignored.
    std::function<bool(AppState &)> CheckPrivateRecipes;
    // Obtains and checks the user name; false when the member gave none.
    std::function<bool(AppState &)> PrepareIdentity;
    std::function<void(AppState &)> ShowStartPage;
    std::function<void(AppState &)> AddTrayIcon;
    std::function<void(AppState &)> ApplyDisplaySettings;
    std::function<void(AppState &)> ConnectToServer;

    // Shutdown.
    std::function<void(AppState &)> LeaveChatRoom;
    // Sends message 2 (sign-off) over the existing connection, if any.
    std::function<void(AppState &)> SignOff;
    std::function<void(AppState &)> CloseSocket;
    std::function<void(AppState &)> RemoveTrayIcon;
    std::function<void(AppState &)> CloseRecipeDatabase;
};

class Application : public QObject
{
    Q_OBJECT
  public:
    // `programFolder` holds zestrel.ini, zestrel.set, the log and the backups.
    // Without a prompter the real dialogs are used. The hooks of the subsystems that
    // exist are filled in here; a test may replace any of them before StartUp.
    explicit Application(const QString &programFolder, Prompter *prompter = nullptr,
                         QObject *parent = nullptr);
    ~Application() override;

    Diagnostics &diag() { return diag_; }
    AppState &state() { return *state_; }
    Prompter &prompter() { return *prompter_; }
    // Null until start-up step 10 creates it.
    MainWindow *mainWindow() const { return mainWindow_.get(); }
    SingleInstance &singleInstance() { return *single_; }
    // The connection, dispatch, identity and members directory; null until start-up
    // step 10 creates it with the main window.
    ClientSession *session() const { return session_.get(); }
    // The member's recipe database (`RecipeDb`), opened at start-up.
    RecipeDatabase &recipeDatabase() { return *db_; }
    // The message center's window, while one exists.
    FrmMessage *messageWindow() const;

    StartUpHooks hooks;
    // Ends the process; main() makes it leave the event loop.
    std::function<void()> EndProcess;

    // Runs start-up; true when the main window is loaded and the program should
    // enter the event loop, false when the process is to end now (another copy
    // runs, or no user name was given).
    bool StartUp();
    bool MainWindowLoad();
    void MainWindowActivate();
    void MainWindowUnload();
    // File > Settings > Show: the settings dialog, without blocking the window.
    void ShowSettings();

    // Another copy runs for this program folder.
    bool FindRunningInstance();

    // Start-up step 11: MaxRecipeID from cookbook.ini as a number, plus one.
    static QString FirstNewRecipeIdFrom(const QString &maxRecipeId);

    static QString RunningTitle();
    static QString RunningText();
    static QString StartLogLine(const QDateTime &now);
    static QString ActivityLegendText();

    bool unloaded() const { return unloaded_; }

  signals:
    // Shutdown has run to its end.
    void ended();

  private:
    void setUpMessageWindow(MessageCenter *center);
    void onShowRequested();

    Diagnostics diag_;
    std::unique_ptr<GuiPrompter> ownPrompter_;
    Prompter *prompter_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<SingleInstance> single_;
    std::unique_ptr<RecipeDatabase> db_;
    std::unique_ptr<ClientSession> session_;
    std::unique_ptr<MainWindow> mainWindow_;
    QPointer<FrmMessage> messageWindow_;
    QPointer<FrmSettings> settingsWindow_;
    bool showPending_ = false;
    bool loaded_ = false;
    bool unloaded_ = false;
};

} // namespace zestrel
