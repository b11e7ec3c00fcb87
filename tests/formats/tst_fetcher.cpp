// Fetching a recipe page from a local HTTP server: the page, redirects up to the bound,
// errors, the size bound on both sides and a server that never answers.
#include "formats/PageFetcher.h"
#include "support/HttpServer.h"

#include <QSignalSpy>
#include <QTest>

using namespace zestrel;
using namespace zestrel::formats;

namespace
{
const QByteArray kPage =
    "<html><head><script type=\"application/ld+json\">{\"@type\":\"Recipe\",\"name\":\"Fetched "
    "Soup\",\"recipeIngredient\":[\"1 l stock\"],\"recipeInstructions\":\"Heat.\"}</script>"
    "</head><body>";

// A page of exactly `size` bytes carrying the recipe.
QByteArray PageOfSize(qint64 size)
{
    const QByteArray tail = "</body></html>";
    return kPage + QByteArray(size - kPage.size() - tail.size(), ' ') + tail;
}
} // namespace

class TestFetcher : public QObject
{
    Q_OBJECT
  private slots:
    void fetch_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QString>("title"); // empty when the fetch fails
        QTest::addColumn<QString>("error");
        QTest::newRow("a page") << QByteArray("/page") << "Fetched Soup"
                                << "";
        QTest::newRow("five redirects") << QByteArray("/r5") << "Fetched Soup"
                                        << "";
        QTest::newRow("six redirects") << QByteArray("/r6") << ""
                                       << "The page redirects more than 5 times";
        QTest::newRow("redirect to a file")
            << QByteArray("/tofile") << ""
            << "The page redirects to an address that is not http or https";
        QTest::newRow("not found") << QByteArray("/missing") << ""
                                   << "The page could not be fetched: HTTP status 404";
        QTest::newRow("4 MiB") << QByteArray("/big") << "Fetched Soup"
                               << "";
        QTest::newRow("4 MiB and a byte") << QByteArray("/bigger") << ""
                                          << "The page is larger than 4 MiB and is not read";
        QTest::newRow("no answer") << QByteArray("/silent") << ""
                                   << "The page did not answer within 1 s";
        QTest::newRow("a page without a recipe") << QByteArray("/plain") << ""
                                                 << "No schema.org Recipe found on the page";
    }
    void fetch()
    {
        QFETCH(QByteArray, path);
        QFETCH(QString, title);
        QFETCH(QString, error);
        test::HttpServer server;
        QVERIFY(server.start());
        server.setResponse(404, "gone");
        server.setRoute("/page", 200, kPage);
        server.setRoute("/plain", 200, "<html><body>Just words</body></html>");
        server.setRoute("/r1", 302, {}, "Location: /page\r\n");
        for (int i = 2; i <= 6; ++i)
            server.setRoute("/r" + QByteArray::number(i), 301, {},
                            "Location: /r" + QByteArray::number(i - 1) + "\r\n");
        server.setRoute("/tofile", 302, {}, "Location: file:///etc/passwd\r\n");
        server.setRoute("/big", 200, PageOfSize(PageFetcher::kMaxPageBytes));
        server.setRoute("/bigger", 200, PageOfSize(PageFetcher::kMaxPageBytes + 1));
        server.setRoute("/silent", 200, {}, {}, true);

        PageFetcher fetcher;
        fetcher.setTimeoutMs(300);
        QSignalSpy finished(&fetcher, &PageFetcher::finished);
        const QString url = server.baseUrl() + QString::fromLatin1(path);
        fetcher.fetch(QUrl(url));
        QVERIFY(finished.wait(10000));
        const ReadResult result = finished.first().first().value<ReadResult>();
        if (title.isEmpty()) {
            QVERIFY(result.recipes.isEmpty());
            QCOMPARE(result.errors, (QList<ReadIssue>{{url, 0, error}}));
        } else {
            QCOMPARE(result.errors.size(), 0);
            QCOMPARE(result.recipes.value(0).title, title);
            // Without an author the page the fetch ended on is the source.
            const QString page = path == "/big" ? QStringLiteral("/big") : QStringLiteral("/page");
            QCOMPARE(result.recipes.value(0).source, server.baseUrl() + page);
        }
        QVERIFY(!finished.wait(50)); // once only
    }

    void onlyWebAddresses()
    {
        const ReadResult result =
            PageFetcher::FetchNow(QUrl(QStringLiteral("ftp://example.test/a.html")));
        QCOMPARE(
            result.errors,
            (QList<ReadIssue>{{QStringLiteral("ftp://example.test/a.html"), 0,
                               QStringLiteral("Only http and https addresses can be fetched")}}));
    }
};

QTEST_GUILESS_MAIN(TestFetcher)
#include "tst_fetcher.moc"
