// The program's start-up and shutdown sequence, without any window: the settings,
// the network settings, the log's start line, the recipe database, the session,
// the user name and the connection, each in its order. What needs a window is
// asked of the StartUpShell, which the GUI implements.
#pragma once

#include "app/AppState.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace zestrel
{

class RecipeDatabase;
class Session;
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
    // Makes an empty cookbook in the given folder (cookbook.db and cookbook.ini), saying why
    // when it cannot. Set by the program that has the recipe manager's code; without it a
    // first start offers no cookbook.
    std::function<bool(AppState &, const QString &folder, QString *error)> CreateCookbook;
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

// What start-up and shutdown need of the windows.
class StartUpShell
{
  public:
    virtual ~StartUpShell() = default;
    // The main window, not yet shown, bound to the session.
    virtual void CreateMainWindow(Session &session) = 0;
    // The window's load begins: hidden, on the news tab.
    virtual void BeginWindowLoad() = 0;
    // Shows the main window in its normal state in front of the others.
    virtual void BringToFront() = 0;
    // Whether a hidden main window can be called back from a tray icon; without one
    // the window is never kept hidden.
    virtual bool LivesInTray() const { return true; }
    // Shutdown begins: the main window goes out of sight and ignores further closes.
    virtual void BeginUnload() = 0;
    // Shutdown is done with the session: the remaining windows go out of sight.
    virtual void EndUnload() = 0;
};

class StartUp : public QObject
{
    Q_OBJECT
  public:
    // The hooks of the subsystems that exist are filled in here; a caller may
    // replace any of them before Run.
    StartUp(AppState &app, SingleInstance &single, RecipeDatabase &db, StartUpShell &shell,
            QObject *parent = nullptr);
    ~StartUp() override;

    StartUpHooks hooks;
    // Ends the process; main() makes it leave the event loop.
    std::function<void()> EndProcess;

    // Runs start-up; a program folder without a user name on file is a first start, which asks for
    // the relay when there is no zestrel.set and offers an empty cookbook when there is
    // none. True when the main window is loaded and the program should
    // enter the event loop, false when the process is to end now (another copy
    // runs, or no user name was given).
    bool Run();
    bool MainWindowLoad();
    void MainWindowActivate();
    void MainWindowUnload();
    // Another copy asked this one to show itself.
    void ShowRequested();

    // Null until start-up creates it with the main window.
    Session *session() const { return session_.get(); }
    bool unloaded() const { return unloaded_; }

    static QString RunningTitle();
    static QString RunningText();
    static QString StartLogLine(const QDateTime &now);

  signals:
    // Shutdown has run to its end.
    void ended();

  private:
    AppState &app_;
    SingleInstance &single_;
    RecipeDatabase &db_;
    StartUpShell &shell_;
    std::unique_ptr<Session> session_;
    bool showPending_ = false;
    bool loaded_ = false;
    bool unloaded_ = false;
};

} // namespace zestrel
