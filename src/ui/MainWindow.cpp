#include "ui/MainWindow.h"

#include "app/Diagnostics.h"
#include "net/ActivityLights.h"
#include "ui/BrowseTab.h"
#include "ui/ChatTab.h"
#include "ui/Colors.h"
#include "ui/SearchTab.h"

#include <QCloseEvent>
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

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);

    tabZESTREL_ = new QTabWidget(central);
    tabZESTREL_->setObjectName(QStringLiteral("tabZESTREL"));
    // One widget per tab; the tabs still to come are empty pages.
    browseTab_ = new zestrel::BrowseTab(tabZESTREL_);
    tabZESTREL_->addTab(browseTab_, QStringLiteral("Browse for Recipes"));
    searchTab_ = new zestrel::SearchTab(tabZESTREL_);
    tabZESTREL_->addTab(searchTab_, QStringLiteral("Search for Recipes"));
    chatTab_ = new zestrel::ChatTab(tabZESTREL_);
    tabZESTREL_->addTab(chatTab_, QStringLiteral("Chat"));
    auto *newsPage = new QWidget(tabZESTREL_);
    new QVBoxLayout(newsPage);
    tabZESTREL_->addTab(newsPage, QStringLiteral("News"));
    layout->addWidget(tabZESTREL_, 1);

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
    layout->addLayout(bottom);

    setCentralWidget(central);
    buildMenus();
    resize(760, 560);
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    auto add = [file](const char *name, const QString &caption) {
        QAction *action = file->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    connect(add("mnuResetZestrel", QStringLiteral("&Reset Zestrel (disconnect/reconnect)")),
            &QAction::triggered, this, &MainWindow::resetRequested);
    connect(add("mnuMessageCenter", QStringLiteral("Show &Message Center")), &QAction::triggered,
            this, &MainWindow::messageCenterRequested);
    QMenu *settings = file->addMenu(QStringLiteral("&Settings"));
    QAction *show = settings->addAction(QStringLiteral("&Show"));
    show->setObjectName(QStringLiteral("mnuShowSettings"));
    connect(show, &QAction::triggered, this, &MainWindow::showSettingsRequested);
    file->addSeparator();
    connect(add("mnuExit", QStringLiteral("E&xit")), &QAction::triggered, this, &QWidget::close);

    // "&Browse" is also the tree's context menu; the browse tab connects its items.
    QMenu *browse = menuBar()->addMenu(QStringLiteral("&Browse"));
    browse->setObjectName(QStringLiteral("mnuBrowse"));
    const std::pair<const char *, const char *> items[] = {
        {"mnuReset", "Reset &Browse Window"},
        {"mnuNodeDel", "Remove &Node"},
        {"mnuSubNodeDel", "Remove &Sub Nodes"},
        {"mnuRefreshNode", "&Refresh Node"},
    };
    for (const auto &[name, caption] : items)
        browse->addAction(QString::fromLatin1(caption))->setObjectName(QString::fromLatin1(name));
    browseTab_->setBrowseMenu(browse);
    QAction *sendMessage = browse->addAction(QStringLiteral("Send &Message"));
    sendMessage->setObjectName(QStringLiteral("mnuSendMessage"));
    connect(sendMessage, &QAction::triggered, this, &MainWindow::sendMessageRequested);

    QMenu *search = menuBar()->addMenu(QStringLiteral("&Search"));
    search->setObjectName(QStringLiteral("mnuSearch"));
    QAction *resetSearch = search->addAction(QStringLiteral("Reset &Search Window"));
    resetSearch->setObjectName(QStringLiteral("mnuResetSearch"));
    connect(resetSearch, &QAction::triggered, this, &MainWindow::resetSearchRequested);
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
    showNormal();
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
    if (event->type() == QEvent::WindowStateChange)
        emit minimizedChanged(isMinimized());
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
