#include "ui/Application.h"

#include "app/Wait.h"
#include "browse/ClientSession.h"
#include "chat/TextFilter.h"
#include "config/Ini.h"
#include "config/NetSettings.h"
#include "config/SettingsForm.h"
#include "protocol/protocol.h"
#include "store/Answers.h"
#include "store/RecipeDatabase.h"
#include "ui/FrmMessage.h"
#include "ui/FrmSettings.h"
#include "ui/GuiPrompter.h"
#include "ui/MainWindow.h"
#include "ui/SingleInstance.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QTabWidget>
#include <limits>

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

Application::Application(const QString &programFolder, Prompter *prompter, QObject *parent)
    : QObject(parent)
{
    if (!prompter) {
        ownPrompter_ = std::make_unique<GuiPrompter>();
        prompter = ownPrompter_.get();
    }
    prompter_ = prompter;
    state_ = std::make_unique<AppState>(diag_, *prompter_, programFolder);
    single_ = std::make_unique<SingleInstance>(programFolder);
    connect(single_.get(), &SingleInstance::showRequested, this, &Application::onShowRequested);
    diag_.onMessageCenterCreated = [this](MessageCenter *center) { setUpMessageWindow(center); };

    hooks.LoadSettingsUnseen = [](AppState &s) { LoadSettingsUnseen(s); };
    hooks.LoadNetSettings = [](AppState &s) { LoadNetSettings(s); };
    hooks.UpdateNetSettingsFromWeb = [](AppState &s) { UpdateNetSettingsFromWeb(s); };
    db_ = std::make_unique<RecipeDatabase>(*state_);
    hooks.OpenRecipeDatabase = [this](AppState &) { db_->OpenRecipeDatabase(); };
    hooks.CheckPrivateRecipes = [this](AppState &) { return db_->CheckPrivateRecipes(); };
    hooks.CloseRecipeDatabase = [this](AppState &) { db_->CloseRecipeDatabase(); };

    // The session exists from step 10 on; before that these steps have nothing to do.
    hooks.PrepareIdentity = [this](AppState &) {
        return !session_ || session_->identity.PrepareIdentity();
    };
    hooks.ConnectToServer = [this](AppState &) {
        if (session_)
            session_->connection.ConnectToServer();
    };
    hooks.SignOff = [this](AppState &s) {
        if (session_)
            session_->connection.SendMessage(protocol::code::SignOff, s.MyUserKey, QString(),
                                             QString());
    };
    hooks.CloseSocket = [this](AppState &) {
        if (session_)
            session_->connection.CloseConnection();
    };
}

Application::~Application()
{
    diag_.onMessageCenterCreated = nullptr;
    delete messageWindow_.data();
}

FrmMessage *Application::messageWindow() const
{
    return messageWindow_.data();
}

QString Application::RunningTitle()
{
    return QStringLiteral("Zestrel running");
}

QString Application::RunningText()
{
    return QStringLiteral("A previous instance of Zestrel is already running on this machine and "
                          "will be loaded/refreshed!  ") +
           QStringLiteral("\r\n\r\n") +
           QStringLiteral("Only one version of Zestrel is permitted per machine!");
}

QString Application::StartLogLine(const QDateTime &now)
{
    // The system's short date and the time to the second.
    const QLocale locale = QLocale::system();
    return QStringLiteral("----- Client - Start: ") +
           locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           now.time().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" -----");
}

QString Application::ActivityLegendText()
{
    return QStringLiteral("The three colored blinking lights located at the bottom of the Zestrel "
                          "screen are the Zestrel activity lights.") +
           QStringLiteral("\r\n\r\n") + QStringLiteral("S (Green) -> Sending") +
           QStringLiteral("\r\n") + QStringLiteral("R (Red) -> Receiving") +
           QStringLiteral("\r\n") + QStringLiteral("C (Yellow) -> Chat room activity");
}

QString Application::FirstNewRecipeIdFrom(const QString &maxRecipeId)
{
    // Read as a number the way the recipe manager writes it: leading digits after
    // optional spaces and sign; anything else, or a value too large to add one to,
    // counts as 0. A fractional part is dropped, as recipe ids are whole numbers.
    const QString text = maxRecipeId.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    const qsizetype digitsFrom = i;
    while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128)
        ++i;
    bool ok = false;
    qint64 value = text.mid(digitsFrom, i - digitsFrom).toLongLong(&ok);
    if (!ok || value == std::numeric_limits<qint64>::max())
        value = 0;
    if (negative)
        value = -value;
    return QString::number(value + 1);
}

bool Application::FindRunningInstance()
{
    return single_->FindRunningInstance();
}

bool Application::StartUp()
{
    AppState &app = *state_;

    // 1-2. AppVersion and SettingsFilePath are fixed when the state is made.

    // 3. One copy per program folder, unless the developer switch says otherwise.
    if (FindRunningInstance()) {
        if (ReadIniKey(app.SettingsFilePath, QStringLiteral("MISC"), QStringLiteral("DEV")) !=
            QLatin1String("TRUE")) {
            prompter_->MessageBox(RunningText(), RunningTitle(), PromptIcon::Information);
            single_->RequestShow();
            return false;
        }
        single_->Release();
    } else {
        single_->Listen();
    }

    // 4. The version that last ran, then the offer of a settings backup.
    WriteIniKey(app.SettingsFilePath, QStringLiteral("FLAG"),
                QStringLiteral("VERSION=") + app.AppVersion);
    run(hooks.OfferRestore, app);

    // 5.
    app.InitSeparators();

    // 6. Every user setting, with defaults written back.
    run(hooks.LoadSettingsUnseen, app);

    // 7. Network settings, and the web copy when the member allows it.
    run(hooks.LoadNetSettings, app);
    if (app.Setting(QStringLiteral("GETWEBSETTINGS")) == QLatin1String("1"))
        run(hooks.UpdateNetSettingsFromWeb, app);
    diag_.LoggingEnabled = app.Net.LoggingEnabled;
    diag_.LogFilePath = app.Net.LogFilePath;

    // 8.
    LetEventsRun();

    // 9. A failed log write does not stop the start.
    diag_.WriteLog(diag_.LogFilePath, StartLogLine(QDateTime::currentDateTime()));

    // 10. The main window, not yet shown; the recipe manager's ini beside us by default.
    mainWindow_ = std::make_unique<MainWindow>();
    if (ownPrompter_)
        ownPrompter_->setParentWindow(mainWindow_.get());
    mainWindow_->bindStatus(diag_.status);
    session_ = std::make_unique<ClientSession>(app, ScreenText);
    mainWindow_->bindActivityLights(session_->connection.lights);
    mainWindow_->bindBrowse(session_->members, session_->profile);
    RegisterAnswers(session_->dispatcher, *db_, session_->connection);
    connect(mainWindow_.get(), &MainWindow::minimizedChanged, this,
            [this](bool minimized) { session_->connection.Minimized = minimized; });
    connect(mainWindow_.get(), &MainWindow::resetRequested, this,
            [this] { session_->connection.ResetZestrel(); });
    connect(mainWindow_.get(), &MainWindow::messageCenterRequested, this,
            [this] { diag_.ShowMessage(QString(), QString()); });
    connect(mainWindow_.get(), &MainWindow::showSettingsRequested, this,
            &Application::ShowSettings);
    connect(mainWindow_.get(), &MainWindow::activated, this, &Application::MainWindowActivate);
    connect(mainWindow_.get(), &MainWindow::unloadRequested, this, &Application::MainWindowUnload);
    connect(mainWindow_.get(), &MainWindow::activityLegendClicked, this,
            [this] { diag_.ShowMessage(ActivityLegendText(), QStringLiteral("Activity Lights")); });
    if (app.CookbookIniPath.isEmpty()) {
        app.CookbookIniPath = QDir(app.ProgramFolder).filePath(QStringLiteral("cookbook.ini"));
        app.Settings.insert(QStringLiteral("CKFPATH"), app.CookbookIniPath);
        WriteIniKey(app.SettingsFilePath, QStringLiteral("MISC"),
                    QStringLiteral("CKFPATH=") + app.CookbookIniPath);
    }

    // 11.
    app.FirstNewRecipeId = FirstNewRecipeIdFrom(
        ReadIniKey(app.CookbookIniPath, QStringLiteral("Misc"), QStringLiteral("MaxRecipeID")));

    // 12.
    run(hooks.OpenRecipeDatabase, app);
    if (!app.NoDatabase && hooks.CheckPrivateRecipes && !hooks.CheckPrivateRecipes(app))
        app.IgnorePrivate = true;

    // 13.
    return MainWindowLoad();
}

bool Application::MainWindowLoad()
{
    AppState &app = *state_;
    MainWindow &window = *mainWindow_;

    window.hide();
    window.tabs()->setCurrentIndex(MainWindow::NewsTab);

    if (hooks.PrepareIdentity && !hooks.PrepareIdentity(app)) {
        MainWindowUnload();
        return false;
    }
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

    // With MINIMIZE the window lives in the tray until the member calls it up.
    if (!app.Flag(QStringLiteral("MINIMIZE")) || showPending_)
        window.bringToFront();
    showPending_ = false;
    loaded_ = true;

    run(hooks.ConnectToServer, app);
    return !unloaded_;
}

void Application::ShowSettings()
{
    // One dialog, modeless; showing it again reloads it from the settings file.
    if (!settingsWindow_)
        settingsWindow_ = new FrmSettings(*state_, {}, mainWindow_.get());
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

void Application::MainWindowActivate()
{
    if (unloaded_)
        return;
    run(hooks.ApplyDisplaySettings, *state_);
    diag_.ShowPendingMessages();
}

void Application::MainWindowUnload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    AppState &app = *state_;

    app.Closing = true;
    if (mainWindow_) {
        mainWindow_->unloading = true;
        mainWindow_->hide();
    }
    run(hooks.LeaveChatRoom, app);
    run(hooks.SignOff, app);
    LetEventsRun();
    run(hooks.CloseSocket, app);
    run(hooks.RemoveTrayIcon, app);
    run(hooks.CloseRecipeDatabase, app);
    if (messageWindow_)
        messageWindow_->hide();
    emit ended();
    if (EndProcess)
        EndProcess();
}

void Application::setUpMessageWindow(MessageCenter *center)
{
    messageWindow_ = new FrmMessage(center);
}

void Application::onShowRequested()
{
    if (unloaded_)
        return;
    if (mainWindow_ && loaded_)
        mainWindow_->bringToFront();
    else
        showPending_ = true; // shown once the window has loaded
}

} // namespace zestrel
