// The "News" tab: the page `wb`, a QTextBrowser fed by a QNetworkAccessManager. It
// shows our built-in pages (Qt resources under "qrc:/") and http(s) pages; other
// schemes are refused. A page that fails to load leaves the page shown as it was.
#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

class QNetworkAccessManager;
class QNetworkReply;
class QTextBrowser;

namespace zestrel
{

class NewsTab : public QWidget
{
    Q_OBJECT
  public:
    // Our web address is the program's own resources: the start and support pages
    // ship inside it, so the tab has something to say offline.
    static constexpr const char *kWebAddress = "qrc:";
    static QString StartPage();   // .../CKF/zestrel_startup.htm
    static QString SupportPage(); // .../support.htm
    // A page larger than this is not shown.
    static constexpr qint64 kMaxPageBytes = 4 * 1024 * 1024;

    explicit NewsTab(QWidget *parent = nullptr);

    QTextBrowser *browser() const { return wb_; }
    // The address of the page shown.
    QUrl address() const { return shown_; }

    // Points the page at an address; false when the address is refused.
    bool Navigate(const QString &address);
    // `ShowStartPage`.
    void ShowStartPage() { Navigate(StartPage()); }
    // Loads the page shown again; failures are ignored.
    void Refresh();

    static bool Allowed(const QUrl &url);

  signals:
    void loaded(const QUrl &url);
    // The page's "zestrel:cookbook" link: the member asks for the Cookbook program.
    void cookbookRequested();
    void loadFailed(const QUrl &url);

  private:
    void finished(QNetworkReply *reply);

    QTextBrowser *wb_;
    QNetworkAccessManager *network_;
    QPointer<QNetworkReply> pending_;
    QUrl shown_;
};

} // namespace zestrel
