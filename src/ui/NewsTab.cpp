#include "ui/NewsTab.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

namespace zestrel
{

QString NewsTab::StartPage()
{
    return QString::fromLatin1(kWebAddress) + QStringLiteral("/CKF/zestrel_startup.htm");
}

QString NewsTab::SupportPage()
{
    return QString::fromLatin1(kWebAddress) + QStringLiteral("/support.htm");
}

NewsTab::NewsTab(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("NewsTab"));
    auto *layout = new QVBoxLayout(this);
    wb_ = new QTextBrowser(this);
    wb_->setObjectName(QStringLiteral("wb"));
    // Every link goes through Navigate, so its rules hold for clicks too.
    wb_->setOpenLinks(false);
    wb_->setOpenExternalLinks(false);
    layout->addWidget(wb_);
    network_ = new QNetworkAccessManager(this);
    network_->setTransferTimeout(30000);
    connect(wb_, &QTextBrowser::anchorClicked, this, [this](const QUrl &url) {
        // Our own page's link to the Cookbook starts a program, it is not a page.
        if (url.scheme() == QLatin1String("zestrel") && url.path() == QLatin1String("cookbook") &&
            shown_.scheme() == QLatin1String("qrc")) {
            emit cookbookRequested();
            return;
        }
        Navigate(shown_.resolved(url).toString());
    });
}

bool NewsTab::Allowed(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("qrc"))
        return true;
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

bool NewsTab::Navigate(const QString &address)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || !Allowed(url))
        return false;
    if (pending_)
        pending_->abort();
    if (url.scheme().compare(QLatin1String("qrc"), Qt::CaseInsensitive) == 0) {
        QFile page(QLatin1Char(':') + url.path());
        if (!page.open(QIODevice::ReadOnly)) {
            emit loadFailed(url);
            return true;
        }
        wb_->setSource(url);
        shown_ = url;
        emit loaded(url);
        return true;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = network_->get(request);
    pending_ = reply;
    // A page that grows past the bound is dropped rather than held in memory.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxPageBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finished(reply); });
    return true;
}

void NewsTab::finished(QNetworkReply *reply)
{
    reply->deleteLater();
    const QUrl url = reply->request().url();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status >= 400) {
        emit loadFailed(url);
        return;
    }
    const QByteArray body = reply->readAll();
    if (body.size() > kMaxPageBytes) {
        emit loadFailed(url);
        return;
    }
    // Relative links of the page resolve against where it finally came from.
    const QUrl base = reply->url();
    const QString type = reply->header(QNetworkRequest::ContentTypeHeader).toString();
    wb_->document()->setMetaInformation(QTextDocument::DocumentUrl, base.toString());
    if (type.startsWith(QLatin1String("text/plain")))
        wb_->setPlainText(QString::fromUtf8(body));
    else
        wb_->setHtml(QString::fromUtf8(body));
    shown_ = base;
    emit loaded(base);
}

void NewsTab::Refresh()
{
    if (shown_.isValid())
        Navigate(shown_.toString());
}

} // namespace zestrel
