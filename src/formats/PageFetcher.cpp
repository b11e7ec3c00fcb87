#include "formats/PageFetcher.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace zestrel::formats
{

PageFetcher::PageFetcher(QObject *parent)
    : QObject(parent), manager_(new QNetworkAccessManager(this))
{
    timer_.setSingleShot(true);
}

PageFetcher::~PageFetcher() = default;

void PageFetcher::fetch(const QUrl &url)
{
    url_ = url;
    fail(QStringLiteral("Fetching pages is not available yet"));
}

void PageFetcher::abort() {}

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

void PageFetcher::finish(const ReadResult &result)
{
    emit finished(result);
}

void PageFetcher::fail(const QString &message)
{
    ReadResult result;
    result.errors.append({url_.toString(), 0, message});
    QMetaObject::invokeMethod(
        this, [this, result] { finish(result); }, Qt::QueuedConnection);
}

void PageFetcher::onReadyRead() {}
void PageFetcher::onFinished() {}

} // namespace zestrel::formats
