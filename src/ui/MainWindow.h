// The main window `frmZESTREL`: a shell holding one widget per tab, the activity
// lights and the status line. A view only; the Application and the subsystems'
// models drive it.
#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>

class QFrame;
class QLabel;
class QTabWidget;

namespace zestrel
{

class ActivityLights;
class BrowseTab;
class ChatTab;
class SearchTab;
class StatusLine;

class MainWindow : public QMainWindow
{
    Q_OBJECT
  public:
    static constexpr const char *kCaption = "ZESTREL Recipe tool for use with the Cookfolio";
    enum Tab { BrowseTab = 0, SearchTab = 1, ChatTab = 2, NewsTab = 3 };
    enum Light { ReceiveLight = 0, SendLight = 1, ChatLight = 2 };
    static constexpr std::uint32_t kIdleLight = 0xFFFFFF;

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

    // Activity light colours as 0x00BBGGRR numbers.
    void setActivityLight(int index, std::uint32_t bgr);
    std::uint32_t activityLight(int index) const;

    // Shows the window in its normal state in front of the others.
    void bringToFront();

    // Set once shutdown has begun, so a close event does not start it twice.
    bool unloading = false;

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
    // The window was minimized or restored.
    void minimizedChanged(bool minimized);

  protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

  private:
    void buildMenus();

    QTabWidget *tabZESTREL_;
    zestrel::BrowseTab *browseTab_;
    zestrel::SearchTab *searchTab_;
    zestrel::ChatTab *chatTab_;
    std::array<QFrame *, 3> shpActivity_{};
    std::array<std::uint32_t, 3> lightColor_{kIdleLight, kIdleLight, kIdleLight};
    std::array<QLabel *, 3> lblActivity_{};
    QLabel *lblStatus_;
};

} // namespace zestrel
