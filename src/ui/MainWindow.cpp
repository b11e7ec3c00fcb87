#include "ui/MainWindow.h"

#include "app/Diagnostics.h"
#include "net/ActivityLights.h"
#include "ui/BrowseTab.h"
#include "ui/ChatTab.h"
#include "client/Session.h"
#include "ui/Colors.h"
#include "ui/NewsTab.h"
#include "ui/SearchTab.h"

#include <QAction>
#include <QCloseEvent>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

namespace zestrel
{

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmZESTREL"));
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowIcon(ProgramIcon());
    TrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);

    tabZESTREL_ = new QTabWidget(central);
    tabZESTREL_->setObjectName(QStringLiteral("tabZESTREL"));
    // One widget per tab.
    browseTab_ = new zestrel::BrowseTab(tabZESTREL_);
    tabZESTREL_->addTab(browseTab_, QStringLiteral("Browse for Recipes"));
    searchTab_ = new zestrel::SearchTab(tabZESTREL_);
    tabZESTREL_->addTab(searchTab_, QStringLiteral("Search for Recipes"));
    chatTab_ = new zestrel::ChatTab(tabZESTREL_);
    tabZESTREL_->addTab(chatTab_, QStringLiteral("Chat"));
    newsTab_ = new zestrel::NewsTab(tabZESTREL_);
    tabZESTREL_->addTab(newsTab_, QStringLiteral("News"));
    layout->addWidget(tabZESTREL_, 1);
    connect(tabZESTREL_, &QTabWidget::currentChanged, this, &MainWindow::tabZESTREL_Click);

    layout->addWidget(buildStorageRow(central));

    // Lights stand left to right as sending, receiving, chat, each under its letter.
    auto *lights = new QGridLayout;
    lights->setHorizontalSpacing(4);
    lights->setVerticalSpacing(1);
    const int order[] = {SendLight, ReceiveLight, ChatLight};
    const char *letters[] = {"R", "S", "C"}; // by light index
    for (int column = 0; column < 3; ++column) {
        const int i = order[column];
        auto *letter = new QLabel(QString::fromLatin1(letters[i]), central);
        letter->setObjectName(QStringLiteral("lblActivity_%1").arg(i));
        letter->setAlignment(Qt::AlignCenter);
        letter->installEventFilter(this);
        lblActivity_[size_t(i)] = letter;
        auto *light = new QFrame(central);
        light->setObjectName(QStringLiteral("shpActivity_%1").arg(i));
        light->setFrameShape(QFrame::Box);
        light->setFixedSize(14, 10);
        light->setAutoFillBackground(true);
        shpActivity_[size_t(i)] = light;
        lights->addWidget(letter, 0, column);
        lights->addWidget(light, 1, column);
        setActivityLight(i, kIdleLight);
    }

    auto *statusCaption = new QLabel(QStringLiteral("Status:"), central);
    statusCaption->setObjectName(QStringLiteral("lblMisc_1"));
    statusCaption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblStatus_ = new QLabel(central);
    lblStatus_->setObjectName(QStringLiteral("lblStatus"));
    lblStatus_->setTextFormat(Qt::PlainText);
    lblStatus_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblStatus_->setWordWrap(true);
    lblStatus_->setMinimumHeight(lblStatus_->fontMetrics().height() * 3);

    auto *bottom = new QHBoxLayout;
    bottom->addLayout(lights);
    bottom->addSpacing(12);
    bottom->addWidget(statusCaption);
    bottom->addWidget(lblStatus_, 1);
    // Never shown: developer entries.
    auto *cmdTest = new QPushButton(QStringLiteral("Test"), central);
    cmdTest->setObjectName(QStringLiteral("cmdTest"));
    cmdTest->hide();
    connect(cmdTest, &QPushButton::clicked, this, &MainWindow::testMembersRequested);
    auto *cmdTestWeb = new QPushButton(QStringLiteral("Test Web"), central);
    cmdTestWeb->setObjectName(QStringLiteral("cmdTestWeb"));
    cmdTestWeb->hide();
    connect(cmdTestWeb, &QPushButton::clicked, this, &MainWindow::testWebRequested);
    layout->addLayout(bottom);

    setCentralWidget(central);
    buildMenus();
    resize(760, 560);
}

QIcon MainWindow::ProgramIcon()
{
    return QIcon(QStringLiteral(":/zestrel.svg"));
}

QWidget *MainWindow::buildStorageRow(QWidget *parent)
{
    auto *row = new QWidget(parent);
    row->setObjectName(QStringLiteral("StorageRow"));
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto button = [row](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromLatin1(caption), row);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    layout->addWidget(button("cmdBack", "<&<<"));
    txtStoredRecipe_ = new QLineEdit(QStringLiteral("0/0"), row);
    txtStoredRecipe_->setObjectName(QStringLiteral("txtStoredRecipe"));
    txtStoredRecipe_->setReadOnly(true);
    txtStoredRecipe_->setAlignment(Qt::AlignCenter);
    txtStoredRecipe_->setMaximumWidth(80);
    layout->addWidget(txtStoredRecipe_);
    layout->addWidget(button("cmdNext", ">&>>"));
    layout->addSpacing(12);
    layout->addWidget(button("cmdRemove", "&Remove"));
    layout->addWidget(button("cmdRecipeClear", "&Clear All"));
    layout->addSpacing(12);
    layout->addWidget(button("cmdImport", "&Import"));
    layout->addWidget(button("cmdImportAll", "Import &All"));
    layout->addWidget(button("cmdPrint", "&Print"));
    layout->addStretch(1);
    return row;
}

void MainWindow::bindStorageRow(Session &session, std::function<void(int)> import)
{
    StorageBox &storage = session.storage;
    txtStoredRecipe_->setText(storage.txtStoredRecipe());
    connect(&storage, &StorageBox::counterChanged, txtStoredRecipe_, &QLineEdit::setText);
    auto onClick = [this](const char *name, auto slot) {
        if (auto *b = findChild<QPushButton *>(QString::fromLatin1(name)))
            connect(b, &QPushButton::clicked, this, slot);
    };
    onClick("cmdBack", [&storage] { storage.cmdBack_Click(); });
    onClick("cmdNext", [&storage] { storage.cmdNext_Click(); });
    onClick("cmdRemove", [&storage] { storage.cmdRemove_Click(); });
    onClick("cmdRecipeClear", [&storage] { storage.cmdRecipeClear_Click(); });
    onClick("cmdPrint", [&session] { session.printer.cmdPrint_Click(); });
    if (import) {
        onClick("cmdImport", [import] { import(0); });
        onClick("cmdImportAll", [import] { import(1); });
    }
}

void MainWindow::SetStorageButtons(bool enabled)
{
    for (const char *name : kStorageButtons)
        if (auto *b = findChild<QPushButton *>(QString::fromLatin1(name)))
            b->setEnabled(enabled);
}

void MainWindow::tabZESTREL_Click(int tab)
{
    searchTab_->setSearchDefault(false);
    switch (tab) {
    case BrowseTab:
        SetStorageButtons(true);
        break;
    case SearchTab:
        searchTab_->tabShown();
        SetStorageButtons(true);
        break;
    case ChatTab:
        chatTab_->tabShown();
        SetStorageButtons(false);
        break;
    case NewsTab:
        SetStorageButtons(false);
        break;
    default:
        break;
    }
}

QAction *MainWindow::menuItem(const QString &name) const
{
    if (auto *menu = findChild<QMenu *>(name))
        return menu->menuAction();
    return findChild<QAction *>(name);
}

bool MainWindow::AddTrayIcon()
{
    if (tray_)
        return true;
    // Without a tray the window must stay reachable: no icon, and the "&Popup" items
    // stay in the menu bar.
    if (!TrayAvailable || !TrayAvailable())
        return false;
    tray_ = new QSystemTrayIcon(ProgramIcon(), this);
    tray_->setObjectName(QStringLiteral("trayIcon"));
    tray_->setToolTip(QString::fromLatin1(kTrayTip));
    tray_->setContextMenu(popup_);
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    trayClicked(TrayLeft);
                else if (reason == QSystemTrayIcon::DoubleClick)
                    trayClicked(TrayDouble);
                else if (reason == QSystemTrayIcon::Context)
                    trayClicked(TrayRight);
            });
    tray_->show();
    popup_->menuAction()->setVisible(false);
    return true;
}

void MainWindow::RemoveTrayIcon()
{
    if (!tray_)
        return;
    tray_->hide();
    tray_->setContextMenu(nullptr);
    delete tray_;
    tray_ = nullptr;
    popup_->menuAction()->setVisible(true);
}

void MainWindow::trayClicked(TrayClick click)
{
    if (click == TrayRight) {
        // The tray shows its menu itself (the "&Popup" menu); the window comes forward
        // behind it only when it is on screen.
        if (isVisible())
            raise();
        return;
    }
    bringToFront();
}

void MainWindow::MinimizeToTray()
{
    if (livesInTray())
        hide();
    else
        showMinimized(); // no tray: the task bar is the way back
}

void MainWindow::buildMenus()
{
    auto item = [](QMenu *menu, const char *name, const char *caption) {
        QAction *action = menu->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    auto spacer = [](QMenu *menu, const char *name) {
        menu->addSeparator()->setObjectName(QString::fromLatin1(name));
    };
    auto menu = [this](QMenu *parent, const char *name, const char *caption) {
        QMenu *m = parent ? parent->addMenu(QString::fromLatin1(caption))
                          : menuBar()->addMenu(QString::fromLatin1(caption));
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };

    QMenu *file = menu(nullptr, "mnuFile", "&File");
    connect(item(file, "mnuResetZestrel", "&Reset Zestrel (disconnect/reconnect)"),
            &QAction::triggered, this, &MainWindow::resetRequested);
    connect(item(file, "mnuMessageCenter", "Show &Message Center"), &QAction::triggered, this,
            &MainWindow::messageCenterRequested);
    QMenu *settings = menu(file, "mnuSettings", "&Settings");
    connect(item(settings, "mnuShowSettings", "&Show"), &QAction::triggered, this,
            &MainWindow::showSettingsRequested);
    spacer(settings, "mnuSpacer2");
    connect(item(settings, "mnuBackupSettings", "&Backup"), &QAction::triggered, this,
            &MainWindow::backupRequested);
    connect(item(settings, "mnuRestoreSettings", "&Restore"), &QAction::triggered, this,
            &MainWindow::restoreRequested);
    connect(item(file, "mnuExit", "E&xit"), &QAction::triggered, this, &QWidget::close);

    // "&Browse" is also the tree's context menu; the browse tab connects its items.
    QMenu *browse = menu(nullptr, "mnuBrowse", "&Browse");
    item(browse, "mnuReset", "Reset &Browse Window");
    spacer(browse, "mnuSpacer");
    item(browse, "mnuNodeDel", "Remove &Node");
    item(browse, "mnuSubNodeDel", "Remove &Sub Nodes");
    item(browse, "mnuRefreshNode", "&Refresh Node");
    spacer(browse, "mnuSpacer4");
    connect(item(browse, "mnuSendMessage", "Send &Message"), &QAction::triggered, this,
            &MainWindow::sendMessageRequested);
    browseTab_->setBrowseMenu(browse);

    QMenu *search = menu(nullptr, "mnuSearch", "&Search");
    connect(item(search, "mnuResetSearch", "Reset &Search Window"), &QAction::triggered, this,
            &MainWindow::resetSearchRequested);

    QMenu *news = menu(nullptr, "mnuNews", "&News");
    connect(item(news, "mnuResetBrowser", "&Refresh"), &QAction::triggered, newsTab_,
            &NewsTab::Refresh);

    QMenu *help = menu(nullptr, "mnuHelp", "&Help");
    connect(item(help, "mnuVersion", "&About"), &QAction::triggered, this,
            &MainWindow::aboutRequested);
    connect(item(help, "munUpTime", "&Up Time"), &QAction::triggered, this,
            &MainWindow::upTimeRequested);
    spacer(help, "mnuSpacer3");
    connect(item(help, "mnuUninstall", "&Uninstall/Upgrade"), &QAction::triggered, this,
            &MainWindow::uninstallRequested);

    // The tray's menu; it leaves the menu bar once the tray icon is there.
    popup_ = menu(nullptr, "mnuPopup", "&Popup");
    connect(item(popup_, "mPopRestore", "&Restore"), &QAction::triggered, this,
            &MainWindow::bringToFront);
    connect(item(popup_, "mnuMinimize", "&Minimize"), &QAction::triggered, this,
            &MainWindow::MinimizeToTray);
    connect(item(popup_, "mPopExit", "E&xit"), &QAction::triggered, this, &QWidget::close);
}

void MainWindow::bindStatus(StatusLine &status)
{
    // Status texts carry CR LF; a label shows a bare LF as the line break.
    auto show = [this](const QString &text) {
        QString shown = text;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        lblStatus_->setText(shown);
    };
    show(status.text());
    // Drawn once per turn of the event loop, however many texts the turn set.
    connect(&status, &StatusLine::shown, lblStatus_, show);
}

void MainWindow::bindActivityLights(ActivityLights &lights)
{
    for (int i = 0; i < int(shpActivity_.size()); ++i)
        setActivityLight(i, lights.Colour(i));
    connect(&lights, &ActivityLights::colourChanged, this,
            [this](int index, std::uint32_t colour) { setActivityLight(index, colour); });
}

QWidget *MainWindow::page(Tab tab) const
{
    return tabZESTREL_->widget(int(tab));
}

void MainWindow::setActivityLight(int index, std::uint32_t bgr)
{
    if (index < 0 || index >= int(shpActivity_.size()))
        return;
    lightColor_[size_t(index)] = bgr & 0xFFFFFF;
    QFrame *light = shpActivity_[size_t(index)];
    QPalette palette = light->palette();
    palette.setColor(QPalette::Window, BgrToQColor(bgr));
    light->setPalette(palette);
}

std::uint32_t MainWindow::activityLight(int index) const
{
    if (index < 0 || index >= int(lightColor_.size()))
        return kIdleLight;
    return lightColor_[size_t(index)];
}

void MainWindow::bringToFront()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

bool MainWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        emit activated();
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!unloading)
        emit unloadRequested();
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange) {
        emit minimizedChanged(isMinimized());
        // Minimised, the window leaves the task bar and lives in the tray, if there is one.
        if (isMinimized() && livesInTray())
            QTimer::singleShot(0, this, [this] {
                if (isMinimized() && livesInTray())
                    hide();
            });
    }
    QMainWindow::changeEvent(event);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        for (QLabel *letter : lblActivity_)
            if (watched == letter) {
                emit activityLegendClicked();
                return true;
            }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace zestrel
