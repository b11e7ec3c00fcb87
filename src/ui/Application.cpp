#include "ui/Application.h"

#include "client/InfoTexts.h"
#include "client/ProgramFolder.h"
#include "client/Session.h"
#include "client/SingleInstance.h"
#include "config/AutoStart.h"
#include "config/Backup.h"
#include "store/RecipeDatabase.h"
#include "ui/BrowseTab.h"
#include "ui/ChatTab.h"
#include "ui/FrmMessage.h"
#include "ui/FrmSettings.h"
#include "ui/GuiPrompter.h"
#include "ui/MainWindow.h"
#include "ui/NewsTab.h"
#include "ui/SearchTab.h"

#include "app/Text.h"
#include "browse/Preview.h"
#include "store/Import.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QProcess>

#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTabWidget>
#include <QTreeView>

namespace zestrel
{

namespace
{
Prompter *OrOwn(Prompter *given, std::unique_ptr<GuiPrompter> &own)
{
    if (given)
        return given;
    own = std::make_unique<GuiPrompter>();
    return own.get();
}
} // namespace

void ShowPrintPreview(std::unique_ptr<QTextDocument> document, QWidget *parent)
{
    // The preview belongs to the module: modeless, it owns the document and goes
    // when closed; the client does not wait for the member to print.
    auto *dialog = new QPrintPreviewDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Pagelark"));
    QTextDocument *doc = document.release();
    doc->setParent(dialog);
    QObject::connect(dialog, &QPrintPreviewDialog::paintRequested, doc,
                     [doc](QPrinter *printer) { doc->print(printer); });
    dialog->open();
}

Application::Application(const QString &programFolder, Prompter *prompter, QObject *parent)
    : QObject(parent), prompter_(OrOwn(prompter, ownPrompter_)),
      state_(std::make_unique<AppState>(diag_, *prompter_, programFolder)),
      single_(std::make_unique<SingleInstance>(programFolder)),
      db_(std::make_unique<RecipeDatabase>(*state_)),
      startUp_(std::make_unique<zestrel::StartUp>(*state_, *single_, *db_,
                                                  static_cast<StartUpShell &>(*this))),
      hooks(startUp_->hooks), EndProcess(startUp_->EndProcess)
{
    connect(single_.get(), &SingleInstance::showRequested, startUp_.get(), &StartUp::ShowRequested);
    connect(startUp_.get(), &StartUp::ended, this, &Application::ended);
    // The models follow the settings in the session; the window applies the font size.
    hooks.ApplyDisplaySettings = [this, models = hooks.ApplyDisplaySettings](AppState &s) {
        if (models)
            models(s);
        ApplyFontSize();
    };
    diag_.onMessageCenterCreated = [this](MessageCenter *center) { setUpMessageWindow(center); };

    // The program as started, with the folder it was given, so a logon start finds
    // the same settings.
    QStringList words{QCoreApplication::applicationFilePath()};
    const QStringList args = QCoreApplication::arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--folder")); at >= 0)
        words << QStringLiteral("--folder") << programFolder;
    autoStartCommand = AutoStartCommand(words);
    hooks.LoadSettingsUnseen = [this](AppState &s) { LoadSettingsUnseen(s, autoStartHook()); };
    hooks.OfferRestore = [](AppState &s) { OfferRestore(s); };
    hooks.ShowStartPage = [this](AppState &) {
        if (mainWindow_)
            mainWindow_->newsTab()->ShowStartPage();
    };
    hooks.AddTrayIcon = [this](AppState &) {
        if (mainWindow_)
            mainWindow_->AddTrayIcon();
    };
    hooks.RemoveTrayIcon = [this](AppState &) {
        if (mainWindow_)
            mainWindow_->RemoveTrayIcon();
    };
}

AutoStartHook Application::autoStartHook()
{
    return [this](bool enabled) { ApplyAutoStart(enabled); };
}

void Application::ApplyAutoStart(bool enabled)
{
    // The desktop entry shows the program's icon: a copy of it beside the settings.
    RegistryPlace place = registryPlace;
    if (enabled && place.iconPath.isEmpty()) {
        const QString icon = QDir(state_->ProgramFolder).filePath(QStringLiteral("zestrel.svg"));
        if (!QFile::exists(icon))
            QFile::copy(QStringLiteral(":/zestrel.svg"), icon);
        if (QFile::exists(icon))
            place.iconPath = icon;
    }
    zestrel::ApplyAutoStart(enabled, autoStartCommand, place);
}

Application::~Application()
{
    diag_.onMessageCenterCreated = nullptr;
    delete messageWindow_.data();
}

Session *Application::session() const
{
    return startUp_->session();
}

FrmMessage *Application::messageWindow() const
{
    return messageWindow_.data();
}

QString Application::ActivityLegendText()
{
    return QStringLiteral("The three colored blinking lights located at the bottom of the Zestrel "
                          "screen are the Zestrel activity lights.") +
           QStringLiteral("\r\n\r\n") + QStringLiteral("S (Green) -> Sending") +
           QStringLiteral("\r\n") + QStringLiteral("R (Red) -> Receiving") +
           QStringLiteral("\r\n") + QStringLiteral("C (Yellow) -> Chat room activity");
}

void Application::CreateMainWindow(Session &session)
{
    mainWindow_ = std::make_unique<MainWindow>();
    if (ownPrompter_)
        ownPrompter_->setParentWindow(mainWindow_.get());
    mainWindow_->bindStatus(diag_.status);
    mainWindow_->bindActivityLights(session.connection.lights);
    mainWindow_->browseTab()->bind(session);
    mainWindow_->bindStorageRow(session, [this, &session, tabs = mainWindow_->tabs()](int which) {
        if (which == 0)
            cmdImport(*db_, session.storage, tabs->currentIndex(),
                      session.storage.PreviewText(tabs->currentIndex()));
        else
            cmdImportAll(*db_, session.storage);
    });
    // The preview box of the selected tab: where the search tab plugs in its own box.
    QTabWidget *tabs = mainWindow_->tabs();
    session.storage.CurrentPreviewBox = [tabs] {
        const int tab = tabs->currentIndex();
        return tab == MainWindow::BrowseTab || tab == MainWindow::SearchTab ? tab : -1;
    };
    session.PrintPreviewer = [this](std::unique_ptr<QTextDocument> document) {
        ShowPrintPreview(std::move(document), mainWindow_.get());
    };
    mainWindow_->searchTab()->bind(session.search);
    mainWindow_->chatTab()->bind(session.chat);
    connect(mainWindow_.get(), &MainWindow::resetSearchRequested, this,
            [&session] { session.search.ResetSearchWindow(); });
    connect(mainWindow_.get(), &MainWindow::sendMessageRequested, this,
            [&session] { session.messages.mnuSendMessage_Click(); });
    connect(&session.messages, &InstantMessages::busyChanged, this, [](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
    // The news page follows the relay (message 115); "Test Web" goes the same way.
    connect(&session.handlers, &NetHandlers::webPageRequested, mainWindow_->newsTab(),
            [this](const QString &address) { mainWindow_->newsTab()->Navigate(address); });
    // The start page's link opens the Cookbook on the cookbook this client uses.
    connect(mainWindow_->newsTab(), &NewsTab::cookbookRequested, this, [this] {
        const QString folder = QFileInfo(state_->CookbookIniPath.isEmpty()
                                             ? DefaultCookbookIniPath(state_->ProgramFolder)
                                             : state_->CookbookIniPath)
                                   .absolutePath();
        if (!QProcess::startDetached(CookbookProgram(QCoreApplication::applicationDirPath()),
                                     {QStringLiteral("open"), folder}))
            state_->prompter.MessageBox(
                QStringLiteral("The Cookbook (zestrel-cookbook) could not be started."),
                QStringLiteral("Zestrel"), PromptIcon::Warning);
    });
    connect(mainWindow_.get(), &MainWindow::testWebRequested, this,
            [&session] { session.handlers.ShowWebPage(NewsTab::SupportPage()); });
    connect(mainWindow_.get(), &MainWindow::testMembersRequested, this,
            [&session] { session.members.AddTestMembers(); });
    connect(mainWindow_.get(), &MainWindow::backupRequested, this,
            &Application::mnuBackupSettings_Click);
    connect(mainWindow_.get(), &MainWindow::restoreRequested, this,
            &Application::mnuRestoreSettings_Click);
    connect(mainWindow_.get(), &MainWindow::aboutRequested, this, &Application::mnuVersion_Click);
    connect(mainWindow_.get(), &MainWindow::upTimeRequested, this, &Application::munUpTime_Click);
    connect(mainWindow_.get(), &MainWindow::uninstallRequested, this,
            &Application::mnuUninstall_Click);
    connect(mainWindow_.get(), &MainWindow::minimizedChanged, this,
            [&session](bool minimized) { session.connection.Minimized = minimized; });
    connect(mainWindow_.get(), &MainWindow::resetRequested, this,
            [&session] { session.connection.ResetZestrel(); });
    connect(mainWindow_.get(), &MainWindow::messageCenterRequested, this,
            [this] { diag_.ShowMessage(QString(), QString()); });
    connect(mainWindow_.get(), &MainWindow::showSettingsRequested, this,
            &Application::ShowSettings);
    connect(mainWindow_.get(), &MainWindow::activated, this, &Application::MainWindowActivate);
    connect(mainWindow_.get(), &MainWindow::unloadRequested, this, &Application::MainWindowUnload);
    connect(mainWindow_.get(), &MainWindow::activityLegendClicked, this,
            [this] { diag_.ShowMessage(ActivityLegendText(), QStringLiteral("Activity Lights")); });
}

void Application::BeginWindowLoad()
{
    mainWindow_->hide();
    mainWindow_->tabs()->setCurrentIndex(MainWindow::NewsTab);
}

void Application::BringToFront()
{
    if (mainWindow_)
        mainWindow_->bringToFront();
}

bool Application::LivesInTray() const
{
    return mainWindow_ && mainWindow_->livesInTray();
}

void Application::BeginUnload()
{
    // A settings dialog still open is saved as if the member had closed it.
    if (settingsWindow_ && settingsWindow_->isVisible())
        settingsWindow_->close();
    if (mainWindow_) {
        mainWindow_->unloading = true;
        mainWindow_->hide();
    }
}

void Application::EndUnload()
{
    if (messageWindow_)
        messageWindow_->hide();
}

void Application::ShowSettings()
{
    // One dialog, modeless; showing it again reloads it from the settings file.
    if (!settingsWindow_) {
        settingsWindow_ = new FrmSettings(*state_, autoStartHook(), mainWindow_.get());
        if (Session *s = session())
            settingsWindow_->form().AcceptName = [s](const QString &typed,
                                                     const QString &previous) {
                return s->identity.AcceptChangedName(typed, previous);
            };
    }
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

void Application::mnuBackupSettings_Click()
{
    BackupSettings(*state_);
}

void Application::mnuRestoreSettings_Click()
{
    RestoreSettings(*state_, autoStartHook());
    // The restored values show at once where the window can show them.
    if (!unloaded())
        hooks.ApplyDisplaySettings(*state_);
}

void Application::mnuVersion_Click()
{
    diag_.ShowMessage(VersionText(state_->AppVersion), QString());
}

void Application::munUpTime_Click()
{
    // Never connected: nothing to report.
    if (!state_->ConnectedAt.isValid())
        return;
    diag_.ShowMessage(UpTimeText(state_->ConnectedAt, QDateTime::currentDateTime()),
                      QStringLiteral("Zestrel Up Time"));
}

void Application::mnuUninstall_Click()
{
    prompter_->MessageBox(UninstallText(), UninstallTitle(), PromptIcon::None, PromptButtons::Ok);
}

void Application::CloseOnSignal()
{
    if (unloaded())
        return;
    MainWindowUnload();
}

void Application::ApplyFontSize()
{
    const qint64 size = LeadingNumber(state_->Setting(QStringLiteral("BASEFONTSIZE")));
    if (!mainWindow_ || size <= 0 || size > 72)
        return;
    QList<QWidget *> views{mainWindow_->browseTab()->tree(), mainWindow_->browseTab()->preview(),
                           mainWindow_->searchTab()->results()};
    if (auto *preview = mainWindow_->findChild<QPlainTextEdit *>(QStringLiteral("txtPreview_1")))
        views << preview;
    for (QWidget *view : views) {
        QFont font = view->font();
        font.setPointSize(int(size));
        view->setFont(font);
        // The preview's tab stops stay the same number of columns wide.
        if (auto *box = qobject_cast<QPlainTextEdit *>(view))
            box->setTabStopDistance(QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')) *
                                    kPreviewTabColumns);
    }
}

void Application::setUpMessageWindow(MessageCenter *center)
{
    messageWindow_ = new FrmMessage(center);
}

} // namespace zestrel
