// The main window `frmZESTREL`: a shell holding one widget per tab, the storage-box
// row, the activity lights, the status line, the menu bar and the tray icon. A view
// only; the Application and the subsystems' models drive it.
#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>

class QFrame;
class QIcon;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTabWidget;

namespace zestrel
{

class ActivityLights;
class BrowseTab;
class ChatTab;
class NewsTab;
class SearchTab;
class Session;
class StatusLine;

class MainWindow : public QMainWindow
{
    Q_OBJECT
  public:
    static constexpr const char *kCaption = "ZESTREL Recipe tool for use with the Cookfolio";
    enum Tab { BrowseTab = 0, SearchTab = 1, ChatTab = 2, NewsTab = 3 };
    enum Light { ReceiveLight = 0, SendLight = 1, ChatLight = 2 };
    static constexpr std::uint32_t kIdleLight = 0xFFFFFF;
    static constexpr const char *kTrayTip = "Zestrel Recipe Browsing and Searching Tool";
    // The seven buttons of the storage row, in the order SetStorageButtons names them.
    static constexpr const char *kStorageButtons[7] = {
        "cmdBack", "cmdNext", "cmdImport", "cmdImportAll", "cmdRemove", "cmdRecipeClear",
        "cmdPrint"};

    explicit MainWindow(QWidget *parent = nullptr);

    // Shows the status line's text in `lblStatus`, now and on every change.
    void bindStatus(StatusLine &status);

    QTabWidget *tabs() const { return tabZESTREL_; }
    // The page of one tab; the subsystems fill them.
    QWidget *page(Tab tab) const;

    // Shows the lights model, now and on every change.
    void bindActivityLights(ActivityLights &lights);

    // The tabs' widgets.
    zestrel::BrowseTab *browseTab() const { return browseTab_; }
    zestrel::SearchTab *searchTab() const { return searchTab_; }
    zestrel::ChatTab *chatTab() const { return chatTab_; }
    zestrel::NewsTab *newsTab() const { return newsTab_; }

    // The storage row shows the session's storage box and passes its buttons on;
    // the import buttons call `import` (0: the recipe on show, 1: all of them).
    void bindStorageRow(Session &session, std::function<void(int)> import = {});
    // Enables or disables the seven storage buttons.
    void SetStorageButtons(bool enabled);
    // The tab-change rules: default buttons, focus and the storage buttons.
    void tabZESTREL_Click(int tab);

    // A menu or menu item by name (`mnuFile`, `mnuBackupSettings`, `mPopRestore`, ...).
    QAction *menuItem(const QString &name) const;
    QMenu *popupMenu() const { return popup_; }

    // The tray icon; false when the desktop has none (then the window never hides).
    bool AddTrayIcon();
    void RemoveTrayIcon();
    QSystemTrayIcon *trayIcon() const { return tray_; }
    // Whether the desktop offers a tray; tests may replace it.
    std::function<bool()> TrayAvailable;
    // The window lives in the tray: minimising or "&Minimize" hides it.
    bool livesInTray() const { return tray_ != nullptr; }
    // A click on the tray icon (left release, double click, right release).
    enum TrayClick { TrayLeft, TrayDouble, TrayRight };
    void trayClicked(TrayClick click);
    // Tray menu "&Minimize": out of sight, the window state unchanged.
    void MinimizeToTray();

    // Activity light colours as 0x00BBGGRR numbers.
    void setActivityLight(int index, std::uint32_t bgr);
    std::uint32_t activityLight(int index) const;

    // Shows the window in its normal state in front of the others.
    void bringToFront();

    // Set once shutdown has begun, so a close event does not start it twice.
    bool unloading = false;

    // The program's icon (window, tray, autostart entry).
    static QIcon ProgramIcon();

  signals:
    // The window became the active window (`MainWindowActivate`).
    void activated();
    // The user or the program closed the window (`MainWindowUnload`).
    void unloadRequested();
    // A click on one of the letters "S", "R", "C" above the lights.
    void activityLegendClicked();
    // File menu items.
    void resetRequested();
    void messageCenterRequested();
    void showSettingsRequested();
    // "&Search" > "Reset &Search Window".
    void resetSearchRequested();
    // "Send &Message".
    void sendMessageRequested();
    // "&Backup" and "&Restore" of the Settings submenu.
    void backupRequested();
    void restoreRequested();
    // Help menu.
    void aboutRequested();
    void upTimeRequested();
    void uninstallRequested();
    // The hidden "Test" button (test members in the tree).
    void testMembersRequested();
    // The hidden "Test Web" button: the support page, as the relay would point at it.
    void testWebRequested();
    // The window was minimized or restored.
    void minimizedChanged(bool minimized);

  protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

  private:
    void buildMenus();
    QWidget *buildStorageRow(QWidget *parent);

    QTabWidget *tabZESTREL_;
    zestrel::BrowseTab *browseTab_;
    zestrel::SearchTab *searchTab_;
    zestrel::ChatTab *chatTab_;
    zestrel::NewsTab *newsTab_;
    QLineEdit *txtStoredRecipe_ = nullptr;
    QMenu *popup_ = nullptr;
    QSystemTrayIcon *tray_ = nullptr;
    std::array<QFrame *, 3> shpActivity_{};
    std::array<std::uint32_t, 3> lightColor_{kIdleLight, kIdleLight, kIdleLight};
    std::array<QLabel *, 3> lblActivity_{};
    QLabel *lblStatus_;
};

} // namespace zestrel
