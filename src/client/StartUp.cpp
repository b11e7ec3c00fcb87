#include "client/StartUp.h"
#include "client/ProgramFolder.h"

#include "app/Wait.h"
#include "chat/TextFilter.h"
#include "client/FirstStart.h"
#include "client/Session.h"
#include "client/SingleInstance.h"
#include "config/Ini.h"
#include "config/NetSettings.h"
#include "config/SettingsForm.h"
#include "protocol/Protocol.h"
#include "store/RecipeDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace zestrel
{

namespace
{
template <class Hook, class... Args> void run(const Hook &hook, Args &...args)
{
    if (hook)
        hook(args...);
}
} // namespace

StartUp::StartUp(AppState &app, SingleInstance &single, RecipeDatabase &db, StartUpShell &shell,
                 QObject *parent)
    : QObject(parent), app_(app), single_(single), db_(db), shell_(shell)
{
    hooks.LoadSettingsUnseen = [](AppState &s) { LoadSettingsUnseen(s); };
    hooks.LoadNetSettings = [](AppState &s) { LoadNetSettings(s); };
    hooks.UpdateNetSettingsFromWeb = [](AppState &s) { UpdateNetSettingsFromWeb(s); };
    hooks.OpenRecipeDatabase = [this](AppState &) { db_.OpenRecipeDatabase(); };
    hooks.CheckPrivateRecipes = [this](AppState &) { return db_.CheckPrivateRecipes(); };
    hooks.CloseRecipeDatabase = [this](AppState &) { db_.CloseRecipeDatabase(); };

    // The session exists from the main window on; before that these steps have
    // nothing to do.
    hooks.PrepareIdentity = [this](AppState &) { return !session_ || session_->PrepareIdentity(); };
    hooks.ConnectToServer = [this](AppState &) {
        if (session_)
            session_->connection.ConnectToServer();
    };
    hooks.SignOff = [this](AppState &s) {
        if (session_)
            session_->connection.SendMessage(protocol::code::SignOff, s.MyUserKey, QString(),
                                             QString());
    };
    hooks.LeaveChatRoom = [this](AppState &) {
        if (session_)
            session_->chat.ResetChatRoom();
    };
    // The chat's colours and the own member node with the own profile: both follow a
    // settings change.
    hooks.ApplyDisplaySettings = [this](AppState &) {
        if (!session_)
            return;
        session_->chat.ApplyDisplaySettings();
        session_->ApplyDisplaySettings();
    };
    hooks.CloseSocket = [this](AppState &) {
        if (session_)
            session_->connection.CloseConnection();
    };
}

StartUp::~StartUp() = default;

QString StartUp::RunningTitle()
{
    return QStringLiteral("Zestrel running");
}

QString StartUp::RunningText()
{
    return QStringLiteral("A previous instance of Zestrel is already running on this machine and "
                          "will be loaded/refreshed!  ") +
           QStringLiteral("\r\n\r\n") +
           QStringLiteral("Only one version of Zestrel is permitted per machine!");
}

QString StartUp::StartLogLine(const QDateTime &now)
{
    // The system's short date and the time to the second.
    const QLocale locale = QLocale::system();
    return QStringLiteral("----- Client - Start: ") +
           locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           now.time().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" -----");
}

bool StartUp::Run()
{
    AppState &app = app_;
    Diagnostics &diag = app.diag;

    // AppVersion and SettingsFilePath are fixed when the state is made.
    // Until a name is on file the member has never got going: a first start (the questions
    // of which come again when the member cancelled the name prompt last time).
    const bool firstStart =
        ReadIniKey(app.SettingsFilePath, QStringLiteral("PROFILE"), QStringLiteral("USERNAME"))
            .trimmed()
            .isEmpty();
    // Notices wait until the name prompt is done: one window at a time.
    diag.HoldMessages = true;

    // One copy per program folder, unless the developer switch says otherwise.
    if (single_.FindRunningInstance()) {
        if (ReadIniKey(app.SettingsFilePath, QStringLiteral("MISC"), QStringLiteral("DEV")) !=
            QLatin1String("TRUE")) {
            app.prompter.MessageBox(RunningText(), RunningTitle(), PromptIcon::Information);
            single_.RequestShow();
            return false;
        }
        single_.Release();
    } else {
        single_.Listen();
    }

    // The version that last ran, then the offer of a settings backup.
    WriteIniKey(app.SettingsFilePath, QStringLiteral("FLAG"),
                QStringLiteral("VERSION=") + app.AppVersion);
    run(hooks.OfferRestore, app);

    app.InitSeparators();

    // Every user setting, with defaults written back.
    run(hooks.LoadSettingsUnseen, app);

    // Network settings, and the web copy when the member allows it.
    run(hooks.LoadNetSettings, app);
    if (firstStart && !QFileInfo::exists(NetSettingsPath(app.ProgramFolder)) && AskForRelay(app))
        run(hooks.LoadNetSettings, app);
    if (app.Setting(QStringLiteral("GETWEBSETTINGS")) == QLatin1String("1"))
        run(hooks.UpdateNetSettingsFromWeb, app);
    diag.LoggingEnabled = app.Net.LoggingEnabled;
    diag.LogFilePath = app.Net.LogFilePath;

    LetEventsRun();

    // A failed log write does not stop the start.
    diag.WriteLog(diag.LogFilePath, StartLogLine(QDateTime::currentDateTime()));

    // The main window, not yet shown, with the session it shows.
    session_ = std::make_unique<Session>(app, ScreenText);
    shell_.CreateMainWindow(*session_);
    session_->AnswerFrom(db_);
    // The recipe manager's ini beside us by default.
    if (app.CookbookIniPath.isEmpty()) {
        app.CookbookIniPath = DefaultCookbookIniPath(app.ProgramFolder);
        app.Settings.insert(QStringLiteral("CKFPATH"), app.CookbookIniPath);
        WriteIniKey(app.SettingsFilePath, QStringLiteral("MISC"),
                    QStringLiteral("CKFPATH=") + app.CookbookIniPath);
    }

    if (firstStart && hooks.CreateCookbook &&
        !QFileInfo(RecipeDatabasePath(app.CookbookIniPath)).isFile()) {
        const QString folder = QFileInfo(app.CookbookIniPath).absolutePath();
        OfferNewCookbook(app, folder,
                         [&](QString *error) { return hooks.CreateCookbook(app, folder, error); });
    }

    app.FirstNewRecipeId = ReadFirstNewRecipeId(app.CookbookIniPath);

    run(hooks.OpenRecipeDatabase, app);
    if (!app.NoDatabase && hooks.CheckPrivateRecipes && !hooks.CheckPrivateRecipes(app))
        app.IgnorePrivate = true;

    return MainWindowLoad();
}

bool StartUp::MainWindowLoad()
{
    AppState &app = app_;
    shell_.BeginWindowLoad();

    if (hooks.PrepareIdentity && !hooks.PrepareIdentity(app)) {
        MainWindowUnload();
        return false;
    }
    // The notices of start-up (a missing database) come now, after the name prompt.
    app.diag.HoldMessages = false;
    app.diag.ShowPendingMessages();
    // Events run inside the steps below (prompts, waits), and the tray's Exit may
    // close the window in one of them: then nothing more is started.
    LetEventsRun();
    for (const auto *step :
         {&hooks.ShowStartPage, &hooks.AddTrayIcon, &hooks.ApplyDisplaySettings}) {
        if (unloaded_)
            return false;
        run(*step, app);
    }
    if (unloaded_)
        return false;

    // With MINIMIZE the window lives in the tray until the member calls it up; a
    // desktop without a tray could never bring it back, so there it is shown.
    if (!app.Flag(QStringLiteral("MINIMIZE")) || showPending_ || !shell_.LivesInTray())
        shell_.BringToFront();
    showPending_ = false;
    loaded_ = true;

    run(hooks.ConnectToServer, app);
    return !unloaded_;
}

void StartUp::MainWindowActivate()
{
    if (unloaded_)
        return;
    run(hooks.ApplyDisplaySettings, app_);
    app_.diag.ShowPendingMessages();
}

void StartUp::MainWindowUnload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    AppState &app = app_;

    app.Closing = true;
    shell_.BeginUnload();
    run(hooks.LeaveChatRoom, app);
    run(hooks.SignOff, app);
    LetEventsRun();
    run(hooks.CloseSocket, app);
    run(hooks.RemoveTrayIcon, app);
    run(hooks.CloseRecipeDatabase, app);
    shell_.EndUnload();
    emit ended();
    if (EndProcess)
        EndProcess();
}

void StartUp::ShowRequested()
{
    if (unloaded_)
        return;
    if (loaded_)
        shell_.BringToFront();
    else
        showPending_ = true; // shown once the window has loaded
}

} // namespace zestrel
