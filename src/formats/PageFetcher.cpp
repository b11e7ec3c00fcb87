#include "formats/PageFetcher.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace zestrel::formats
{

namespace
{
bool IsWebUrl(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}
} // namespace

PageFetcher::PageFetcher(QObject *parent)
    : QObject(parent), manager_(new QNetworkAccessManager(this))
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("The page did not answer within %1 s").arg((timeoutMs_ + 999) / 1000));
    });
}

PageFetcher::~PageFetcher()
{
    abort();
}

void PageFetcher::fetch(const QUrl &url)
{
    abort();
    url_ = url;
    redirects_ = 0;
    if (!IsWebUrl(url)) {
        // Reported from the event loop, like every other outcome.
        QMetaObject::invokeMethod(
            this, [this] { fail(QStringLiteral("Only http and https addresses can be fetched")); },
            Qt::QueuedConnection);
        return;
    }
    timer_.start(timeoutMs_);
    get(url);
}

void PageFetcher::get(const QUrl &url)
{
    QNetworkRequest request(url);
    // Redirects are followed here, so that each hop is counted and checked.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Zestrel-Cookbook"));
    request.setRawHeader(
        "Accept",
        "text/html,application/xhtml+xml,application/ld+json,application/json;q=0.9,*/*;q=0.5");
    body_.clear();
    reply_ = manager_->get(request);
    connect(reply_, &QNetworkReply::metaDataChanged, this, [this] {
        const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > kMaxPageBytes)
            fail(QStringLiteral("The page is larger than 4 MiB and is not read"));
    });
    connect(reply_, &QNetworkReply::readyRead, this, &PageFetcher::onReadyRead);
    connect(reply_, &QNetworkReply::finished, this, &PageFetcher::onFinished);
}

void PageFetcher::abort()
{
    timer_.stop();
    if (QNetworkReply *reply = reply_.data()) {
        reply_.clear();
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void PageFetcher::onReadyRead()
{
    if (!reply_)
        return;
    body_ += reply_->read(kMaxPageBytes + 1 - body_.size());
    if (body_.size() > kMaxPageBytes)
        fail(QStringLiteral("The page is larger than 4 MiB and is not read"));
}

void PageFetcher::onFinished()
{
    QNetworkReply *reply = reply_.data();
    if (!reply)
        return;
    onReadyRead();
    if (!reply_)
        return; // refused while reading the rest
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (status >= 300 && status < 400 && target.isValid()) {
        const QUrl next = reply->url().resolved(target);
        reply_.clear();
        reply->deleteLater();
        if (++redirects_ > kMaxRedirects) {
            fail(QStringLiteral("The page redirects more than %1 times").arg(kMaxRedirects));
            return;
        }
        if (!IsWebUrl(next)) {
            fail(QStringLiteral("The page redirects to an address that is not http or https"));
            return;
        }
        get(next);
        return;
    }
    if (reply->error() != QNetworkReply::NoError || status >= 400) {
        const QString why =
            status >= 400 ? QStringLiteral("HTTP status %1").arg(status) : reply->errorString();
        fail(QStringLiteral("The page could not be fetched: %1").arg(why));
        return;
    }
    const QByteArray body = body_;
    const QString page = reply->url().toString();
    abort();
    ReadResult result = ReadJsonLd(body, url_.toString(), page);
    emit finished(result);
}

ReadResult PageFetcher::FetchNow(const QUrl &url, int timeoutMs)
{
    PageFetcher fetcher;
    fetcher.setTimeoutMs(timeoutMs);
    ReadResult result;
    QEventLoop loop;
    connect(&fetcher, &PageFetcher::finished, &loop, [&](const ReadResult &r) {
        result = r;
        loop.quit();
    });
    fetcher.fetch(url);
    loop.exec();
    return result;
}

void PageFetcher::fail(const QString &message)
{
    abort();
    ReadResult result;
    result.errors.append({url_.toString(), 0, message});
    emit finished(result);
}

} // namespace zestrel::formats
