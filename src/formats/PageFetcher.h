// Fetches one recipe web page and reads its JSON-LD. Only http and https, at most
// kMaxPageBytes, kMaxRedirects redirects and a time-out; whatever goes wrong ends in
// `finished` with the reason in the result's errors (file = the URL, line 0).
#pragma once

#include "formats/Formats.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace zestrel::formats
{

class PageFetcher : public QObject
{
    Q_OBJECT
  public:
    static constexpr qint64 kMaxPageBytes = 4 * 1024 * 1024;
    static constexpr int kMaxRedirects = 5;
    static constexpr int kDefaultTimeoutMs = 30000;

    explicit PageFetcher(QObject *parent = nullptr);
    ~PageFetcher() override;

    void setTimeoutMs(int ms) { timeoutMs_ = ms; }
    int timeoutMs() const { return timeoutMs_; }

    // Starts fetching `url`; a fetch still running is cancelled without a signal.
    void fetch(const QUrl &url);
    void abort();
    bool isRunning() const { return !reply_.isNull(); }

    // For the command line: fetches and waits in an event loop of its own.
    static ReadResult FetchNow(const QUrl &url, int timeoutMs = kDefaultTimeoutMs);

  signals:
    // Exactly once per fetch that is not cancelled.
    void finished(const zestrel::formats::ReadResult &result);

  private:
    void get(const QUrl &url);
    void fail(const QString &message);
    void onReadyRead();
    void onFinished();

    QNetworkAccessManager *manager_;
    QPointer<QNetworkReply> reply_;
    QTimer timer_;
    QUrl url_;
    QByteArray body_;
    int timeoutMs_ = kDefaultTimeoutMs;
    int redirects_ = 0;
};

} // namespace zestrel::formats
