// Received data through the real reassembly and dispatch, without a server.
#include "TestClient.h"

#include <QSignalSpy>
#include <QtTest>

using namespace zestrel;
using namespace zestrel::test;

namespace
{

QByteArray Frame(const QString &code, const QString &payload, const QString &source = QString())
{
    return BuildMessage(code, source, QString(), payload).toUtf8();
}

// Codes the client never receives, used to watch the order of dispatch.
constexpr int kProbeA = 7, kProbeB = 8;

} // namespace

class TestDispatch : public QObject
{
    Q_OBJECT
  private slots:
    void reassembly_data();
    void reassembly();
    void splitAnywhere();
    void statuses_data();
    void statuses();
    void arrivalLoggedRaw_data();
    void arrivalLoggedRaw();
    void arrivalLogFailure();
    void handlers_data();
    void handlers();
    void nestedArrivalKeepsOrder();
    void oversizedDataIsBoundedAndLosesNothingElse();
    void receiveLightSwitchesOffByTimer();
};

void TestDispatch::reassembly_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QStringList>("dispatched");

    const QByteArray a = Frame("7", "A"), b = Frame("7", "B");
    QTest::newRow("two frames in one chunk") << QList<QByteArray>{a + b} << QStringList{"A", "B"};
    QTest::newRow("whole frame and half, then the rest")
        << QList<QByteArray>{a + b.left(9), b.mid(9)} << QStringList{"A", "B"};
    // The end of one frame and a whole next one: neither is lost.
    QTest::newRow("half, then rest and a whole frame")
        << QList<QByteArray>{a.left(6), a.mid(6) + b} << QStringList{"A", "B"};
    QTest::newRow("line break between frames")
        << QList<QByteArray>{a + "\r\n" + b} << QStringList{"A", "B"};
    QTest::newRow("stray text before a frame")
        << QList<QByteArray>{"hello" + a} << QStringList{"A"};
    QTest::newRow("server notice glued to a frame")
        << QList<QByteArray>{QByteArray(protocol::kServerNotice.data()) + a} << QStringList{"A"};
    QTest::newRow("end marker split over chunks")
        << QList<QByteArray>{a.left(a.size() - 2), a.right(2)} << QStringList{"A"};
    QTest::newRow("nothing but junk") << QList<QByteArray>{"abc", "def"} << QStringList();
}

void TestDispatch::reassembly()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QStringList, dispatched);
    TestClient c;
    QStringList seen;
    c.session.dispatcher.Register(kProbeA, [&](const QString &, const QString &p) { seen << p; });
    for (const QByteArray &chunk : chunks)
        c.connection.ProcessChunk(chunk);
    QCOMPARE(seen, dispatched);
    if (!dispatched.isEmpty())
        QCOMPARE(c.connection.PartialDataSize(), std::size_t(0));
}

void TestDispatch::splitAnywhere()
{
    const QByteArray frame = Frame("7", "payload " + FS() + "x", "src");
    for (int cut = 1; cut < frame.size(); ++cut) {
        TestClient c;
        int count = 0;
        c.session.dispatcher.Register(kProbeA, [&](const QString &, const QString &) { ++count; });
        c.connection.ProcessChunk(frame.left(cut));
        QCOMPARE(count, 0);
        QVERIFY(c.connection.PartialDataSize() > 0);
        c.connection.ProcessChunk(frame.mid(cut));
        QCOMPARE(count, 1);
    }
}

void TestDispatch::statuses_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("logged");

    const QStringList ok{"Receiving Data.", "Parsing successful.", "Processing data received.",
                         "Data processed."};
    QTest::newRow("letters as code") << Frame("abc", "x") << ok << true;
    QTest::newRow("117.5 selects nothing") << Frame("117.5", "9") << ok << true;
    QTest::newRow("104 changes nothing else") << Frame("104", "x") << ok << true;
    QTest::newRow("caret in payload")
        << Frame("7", "a^b") << QStringList{"Receiving Data.", "Parsing failed."} << true;
    QTest::newRow("incomplete")
        << QByteArray("*~B~*7^^^x")
        << QStringList{"Receiving Data.", "Invalid data which has been stored as partial data."}
        << true;
    QTest::newRow("server notice")
        << QByteArray(protocol::kServerNotice.data(), qsizetype(protocol::kServerNotice.size()))
        << QStringList{"Server echo recieved..."} << false;
}

void TestDispatch::statuses()
{
    QFETCH(QByteArray, chunk);
    QFETCH(QStringList, expected);
    QFETCH(bool, logged);
    TestClient c;
    c.enableLog();
    c.connection.ProcessChunk(chunk);
    QCOMPARE(c.statuses, expected);
    QCOMPARE(c.app.MyUserKey, QString());
    QVERIFY(!c.diag.messageCenter());
    QCOMPARE(!c.log().isEmpty(), logged);
}

void TestDispatch::arrivalLoggedRaw_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("spaces and separators")
        << QByteArray("  *~B~*7^^^a\0\0\0b\0\1\0c*~E~*  ", 27)
        << QByteArray("Client - Data Arrival: '  *~B~*7^^^a\0\0\0b\0\1\0c*~E~*  '\r\n", 54);
    // Bytes that are no UTF-8 go into the log as they came, not as replacement characters.
    QTest::newRow("not UTF-8") << QByteArray("*~B~*7^^^caf\xe9*~E~*\xff")
                               << QByteArray(
                                      "Client - Data Arrival: '*~B~*7^^^caf\xe9*~E~*\xff'\r\n");
    QTest::newRow("UTF-8 title") << QByteArray("*~B~*7^^^J\xc3\xb8rn*~E~*")
                                 << QByteArray(
                                        "Client - Data Arrival: '*~B~*7^^^J\xc3\xb8rn*~E~*'\r\n");
    QTest::newRow("half a UTF-8 character")
        << QByteArray("*~B~*7^^^J\xc3")
        << QByteArray("Client - Data Arrival: '*~B~*7^^^J\xc3'\r\n");
}

void TestDispatch::arrivalLoggedRaw()
{
    QFETCH(QByteArray, chunk);
    QFETCH(QByteArray, line);
    TestClient c;
    c.enableLog();
    c.connection.ProcessChunk(chunk);
    QCOMPARE(c.log(), line);
}

void TestDispatch::arrivalLogFailure()
{
    const QByteArray chunk = Frame("7", "x");

    // With logging off nothing is written, and no file appears.
    TestClient quiet;
    const QString path = quiet.enableLog();
    quiet.diag.LoggingEnabled = false;
    quiet.connection.ProcessChunk(chunk);
    QVERIFY(!QFile::exists(path));

    // A log that cannot be written costs no message, and the status line says so.
    TestClient broken;
    broken.enableLog();
    broken.diag.LogFilePath = broken.dir.path() + "/missing/folder/zestrel.log";
    broken.app.UserName = "Me";
    broken.connection.ProcessChunk(Frame("117", "3"));
    QVERIFY(broken.app.MyUserKey.endsWith(FS() + "Me" + FS() + "3"));
    QCOMPARE(broken.statuses,
             (QStringList{"Receiving Data. The log could not be written (Error #75, Path/File "
                          "access error); the data is processed all the same.",
                          "Parsing successful.", "Processing data received.", "Data processed."}));
}

void TestDispatch::handlers_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QString>("myIndex");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QStringList>("profile");
    QTest::addColumn<QString>("webPage");

    const QStringList noProfile{"", "", "", ""};
    const QString anna = "10.0.0.1" + FS() + "Anna" + FS() + "4";
    QTest::newRow("117") << "117"
                         << ""
                         << "7"
                         << "7"
                         << ""
                         << "" << noProfile << "";
    QTest::newRow("117.0") << "117.0"
                           << ""
                           << "12"
                           << "12"
                           << ""
                           << "" << noProfile << "";
    QTest::newRow("117.5") << "117.5"
                           << ""
                           << "12"
                           << ""
                           << ""
                           << "" << noProfile << "";
    QTest::newRow("118") << "118"
                         << ""
                         << "Maintenance at noon"
                         << ""
                         << "Server Broadcast Message"
                         << "Maintenance at noon" << noProfile << "";
    QTest::newRow("900") << "900" << anna << ""
                         << ""
                         << "Search too generic"
                         << "The search you performed was too generic and yeilded too many "
                            "results from user [Anna]!  You will see a partial list of results "
                            "from this user.\r\n\r\nPlease me more specific with your search "
                            "criteria!"
                         << noProfile << "";
    QTest::newRow("900 one-piece key")
        << "900"
        << "10.0.0.1"
        << ""
        << ""
        << "Search too generic"
        << "The search you performed was too generic and yeilded too many results from user "
           "[]!  You will see a partial list of results from this user.\r\n\r\nPlease me more "
           "specific with your search criteria!"
        << noProfile << "";
    QTest::newRow("901") << "901" << anna << ""
                         << ""
                         << "Recipe Not Found"
                         << "The recipe you requested from user [Anna] was not found!" << noProfile
                         << "";
    QTest::newRow("106") << "106" << anna << "I bake" + FS() + "Line 1" + LS() + "Line 2"
                         << ""
                         << ""
                         << "" << QStringList{"", "", "I bake", "Line 1" + LS() + "Line 2"} << "";
    QTest::newRow("106 without separator")
        << "106" << anna << "Only a description"
        << ""
        << ""
        << "" << QStringList{"", "", "Only a description", ""} << "";
    QTest::newRow("115") << "115"
                         << ""
                         << "http://news.example/today.htm"
                         << ""
                         << ""
                         << "" << noProfile << "http://news.example/today.htm";
}

void TestDispatch::handlers()
{
    QFETCH(QString, code);
    QFETCH(QString, source);
    QFETCH(QString, payload);
    QFETCH(QString, myIndex);
    QFETCH(QString, title);
    QFETCH(QString, notice);
    QFETCH(QStringList, profile);
    QFETCH(QString, webPage);

    TestClient c;
    c.app.UserName = QStringLiteral("Chef");
    QSignalSpy pages(&c.session.handlers, &NetHandlers::webPageRequested);
    // The member notices answer a search and a recipe request of ours.
    if (code == "900")
        c.connection.requests.NoteSent(7, QString());
    if (code == "901")
        c.connection.requests.NoteSent(107, source);
    c.receive(code, source, payload);

    if (myIndex.isEmpty()) {
        QCOMPARE(c.app.MyUserKey, QString());
    } else {
        QVERIFY(!c.app.LocalIp.isEmpty());
        QCOMPARE(c.app.ConnectionIndex, myIndex);
        QCOMPARE(c.app.MyUserKey,
                 c.app.LocalIp + QString(3, QChar(0)) + "Chef" + QString(3, QChar(0)) + myIndex);
    }
    QCOMPARE(c.centerTitle(), title);
    QCOMPARE(c.centerText(), notice);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(c.session.profile.Text(i), profile[i]);
    if (webPage.isEmpty()) {
        QCOMPARE(pages.count(), 0);
    } else {
        QCOMPARE(pages.count(), 1);
        QCOMPARE(pages.first().first().toString(), webPage);
    }
    QCOMPARE(c.statuses.last(), QStringLiteral("Data processed."));
}

void TestDispatch::nestedArrivalKeepsOrder()
{
    TestClient c;
    QStringList seen;
    int depth = 0, deepest = 0;
    auto record = [&](const QString &p) {
        ++depth;
        deepest = std::max(deepest, depth);
        seen << p;
        // More data arrives while this handler lets events run.
        if (p == "A")
            c.connection.ProcessChunk(Frame("8", "D"));
        --depth;
    };
    c.session.dispatcher.Register(kProbeA, [&](const QString &, const QString &p) { record(p); });
    c.session.dispatcher.Register(kProbeB, [&](const QString &, const QString &p) { record(p); });
    c.connection.ProcessChunk(Frame("7", "A") + Frame("8", "B") + Frame("7", "C"));
    QCOMPARE(seen, (QStringList{"A", "B", "C", "D"}));
    QCOMPARE(deepest, 1);
}

void TestDispatch::oversizedDataIsBoundedAndLosesNothingElse()
{
    TestClient c;
    QStringList seen;
    c.session.dispatcher.Register(kProbeA, [&](const QString &, const QString &p) { seen << p; });
    c.connection.ProcessChunk(Frame("7", "before") + "*~B~*7^^^");
    const QByteArray mib(1024 * 1024, 'x');
    for (int i = 0; i < 17; ++i) {
        c.connection.ProcessChunk(mib);
        QVERIFY(c.connection.PartialDataSize() <= protocol::kMaxFrameBytes);
    }
    QVERIFY(c.statuses.contains(QStringLiteral("Oversized data dropped.")));
    c.connection.ProcessChunk(Frame("7", "after"));
    QCOMPARE(seen, (QStringList{"before", "after"}));
}

void TestDispatch::receiveLightSwitchesOffByTimer()
{
    TestClient c;
    QSignalSpy spy(&c.connection.lights, &ActivityLights::colourChanged);
    for (int i = 0; i < 200; ++i)
        c.connection.ProcessChunk(Frame("104", "x"));
    // A burst keeps the light on without waiting inside the handler.
    QCOMPARE(c.connection.lights.Colour(ActivityLights::Receive), ActivityLights::Red);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(0).toInt(), int(ActivityLights::Receive));
    QTRY_COMPARE(c.connection.lights.Colour(ActivityLights::Receive), ActivityLights::White);
    QCOMPARE(c.connection.lights.Colour(ActivityLights::Send), ActivityLights::White);
}

QTEST_GUILESS_MAIN(TestDispatch)
#include "tst_dispatch.moc"
