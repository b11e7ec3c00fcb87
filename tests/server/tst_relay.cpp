// Sign-in, member lists and relaying member-to-member messages by key.
#include "RawClient.h"
#include "support/ServerProcess.h"

#include <QtTest>

using namespace zestrel;
using namespace zestrel::test;
namespace code = zestrel::protocol::code;

class TestRelay : public QObject
{
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void signInNumbersAndLists();
    void relayByKey_data();
    void relayByKey();
    void absentKeyAnswers902();
    void foreignSourceIsDropped_data();
    void foreignSourceIsDropped();
    void requestUsers();
    void framesSplitAndGluedByTheSender();
    void signInAgainReplacesKey();

  private:
    std::unique_ptr<ServerProcess> server_;
};

void TestRelay::init()
{
    server_ = std::make_unique<ServerProcess>();
    QVERIFY(server_->start());
}

void TestRelay::cleanup()
{
    server_.reset();
}

void TestRelay::signInNumbersAndLists()
{
    RawClient a, b, c;
    QVERIFY(a.Connect(server_->port()));
    QVERIFY(b.Connect(server_->port()));
    QVERIFY(c.Connect(server_->port()));
    const std::string ka = a.SignIn("anna", "10.0.0.1");
    const std::string kb = b.SignIn("bert", "10.0.0.2");
    const std::string kc = c.SignIn("carl", "10.0.0.3");
    QVERIFY(!ka.empty() && !kb.empty() && !kc.empty());
    // Indexes are distinct and increase with each sign-in.
    QVERIFY(std::stoi(a.Index()) < std::stoi(b.Index()));
    QVERIFY(std::stoi(b.Index()) < std::stoi(c.Index()));

    // 117 comes first, then the whole list with the newcomer in it.
    QCOMPARE(protocol::CodeNumber(c.Frames().at(0).message.code), code::ConnectionIndex);
    const auto list = c.WaitFor(code::UsersList);
    QVERIFY(list);
    QCOMPARE(SplitList(list->payload), (std::vector<std::string>{ka, kb, kc}));
    QCOMPARE(SplitList(a.WaitFor(code::UsersList)->payload), std::vector<std::string>{ka});

    // Earlier members hear of each newcomer once, by its record alone.
    QTRY_COMPARE(a.Count(code::UsersAdded), 2);
    QTRY_COMPARE(b.Count(code::UsersAdded), 1);
    QCOMPARE(a.Find(code::UsersAdded)->payload, kb);
    QCOMPARE(b.Find(code::UsersAdded)->payload, kc);
    QCOMPARE(c.Count(code::UsersAdded), 0);
}

void TestRelay::relayByKey_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("107 recipe request") << code::RecipeRequest
                                        << QByteArray("R\0\2\0"
                                                      "17",
                                                      6);
    QTest::newRow("121 instant message") << code::InstantMessage << QByteArray("hello there");
    QTest::newRow("105 recipe reply, long") << code::RecipeReply << QByteArray(40000, 'r');
    QTest::newRow("900 too generic") << code::SearchTooGeneric << QByteArray();
    QTest::newRow("120 letters reply")
        << code::LettersReply << QByteArray("A-C\0\2\0L5\0\1\0D-F", 14);
}

void TestRelay::relayByKey()
{
    QFETCH(int, code);
    QFETCH(QByteArray, payload);
    RawClient a, b, c;
    QVERIFY(a.Connect(server_->port()) && b.Connect(server_->port()) && c.Connect(server_->port()));
    const std::string ka = a.SignIn("anna");
    const std::string kb = b.SignIn("bert");
    QVERIFY(!c.SignIn("carl").empty());
    const std::size_t seenB = b.Seen();
    const std::string frame =
        protocol::BuildMessage(std::to_string(code), ka, kb, payload.toStdString());
    a.SendRaw(frame);
    const auto got = b.WaitFor(code, seenB);
    QVERIFY(got);
    // Delivered unchanged: the very bytes that were sent.
    QCOMPARE(b.Frames().back().frame, frame);
    QCOMPARE(got->payload, payload.toStdString());
    // And to nobody else.
    a.Send(code::InstantMessage, ka, c.Key(), "marker");
    QVERIFY(c.WaitFor(code::InstantMessage));
    QCOMPARE(c.Count(code), code == code::InstantMessage ? 1 : 0);
    QCOMPARE(a.Count(code), 0);
}

void TestRelay::absentKeyAnswers902()
{
    RawClient a, b;
    QVERIFY(a.Connect(server_->port()) && b.Connect(server_->port()));
    const std::string ka = a.SignIn("anna");
    const std::string kb = b.SignIn("bert");
    const std::string ghost = protocol::BuildUserKey("127.0.0.1", "bert", "999");
    a.Send(code::RecipeRequest, ka, ghost, "x");
    const auto answer = a.WaitFor(code::UserUnavailable);
    QVERIFY(answer);
    QCOMPARE(answer->payload, ghost);
    QCOMPARE(b.Count(code::RecipeRequest), 0);

    // A member who has left is absent too.
    b.Send(code::SignOff, kb, {}, {});
    QVERIFY(a.WaitFor(code::UserLeft));
    const std::size_t seen = a.Seen();
    a.Send(code::InstantMessage, ka, kb, "still there?");
    const auto gone = a.WaitFor(code::UserUnavailable, seen);
    QVERIFY(gone);
    QCOMPARE(gone->payload, kb);
}

void TestRelay::foreignSourceIsDropped_data()
{
    QTest::addColumn<bool>("signIn");
    QTest::newRow("member speaking for another") << true;
    QTest::newRow("connection never signed in") << false;
}

void TestRelay::foreignSourceIsDropped()
{
    QFETCH(bool, signIn);
    RawClient mallory, victim, target;
    QVERIFY(mallory.Connect(server_->port()) && victim.Connect(server_->port()) &&
            target.Connect(server_->port()));
    const std::string kv = victim.SignIn("victim");
    const std::string kt = target.SignIn("target");
    const std::string km = signIn ? mallory.SignIn("mallory") : std::string();
    mallory.Send(code::InstantMessage, kv, kt, "forged");
    mallory.Send(code::InstantMessage, {}, kt, "no source");
    // Once mallory's list request is handled (answered for a member, refused with a
    // log line otherwise) the server has handled the forged frames; an honest frame
    // sent after that reaches the target behind them.
    const std::size_t seen = mallory.Seen();
    mallory.Send(code::RequestUsers, km, km, {});
    if (signIn) {
        QVERIFY(mallory.WaitFor(code::UsersList, seen));
    } else {
        QString log;
        QTRY_VERIFY((log += QString::fromUtf8(server_->process().readAllStandardError()))
                        .contains(QStringLiteral("not signed in")));
    }
    victim.Send(code::InstantMessage, kv, kt, "honest");
    QTRY_VERIFY(target.Find(code::InstantMessage));
    QCOMPARE(target.Count(code::InstantMessage), 1);
    QCOMPARE(target.Find(code::InstantMessage)->payload, std::string("honest"));
    QCOMPARE(mallory.Count(code::UserUnavailable), 0);
}

void TestRelay::requestUsers()
{
    RawClient a, b, watcher;
    QVERIFY(a.Connect(server_->port()) && b.Connect(server_->port()) &&
            watcher.Connect(server_->port()));
    const std::string ka = a.SignIn("anna");
    const std::string kb = b.SignIn("bert");
    // Before signing in a connection gets no list: the index comes first.
    watcher.Send(code::RequestUsers, {}, {}, {});
    const std::string kw = watcher.SignIn("watcher");
    QCOMPARE(protocol::CodeNumber(watcher.Frames().at(0).message.code), code::ConnectionIndex);
    QCOMPARE(watcher.Count(code::UsersList), 1);
    std::size_t seen = watcher.Seen();
    watcher.Send(code::RequestUsers, kw, kw, {});
    auto list = watcher.WaitFor(code::UsersList, seen);
    QVERIFY(list);
    QCOMPARE(SplitList(list->payload), (std::vector<std::string>{ka, kb, kw}));

    // After a departure the list is rebuilt without the member.
    a.Send(code::SignOff, ka, {}, {});
    QVERIFY(b.WaitFor(code::UserLeft));
    seen = b.Seen();
    b.Send(code::RequestUsers, kb, kb, {});
    list = b.WaitFor(code::UsersList, seen);
    QVERIFY(list);
    QCOMPARE(SplitList(list->payload), (std::vector<std::string>{kb, kw}));
}

void TestRelay::framesSplitAndGluedByTheSender()
{
    RawClient a, b;
    QVERIFY(a.Connect(server_->port()) && b.Connect(server_->port()));
    const std::string ka = a.SignIn("anna");
    const std::string kb = b.SignIn("bert");
    std::string stream;
    // Built by appending: GCC 12 gives a false -Wrestrict for "m" + std::string at -O3.
    const auto text = [](int n) {
        std::string t{"m"};
        t += std::to_string(n);
        return t;
    };
    for (int i = 0; i < 5; ++i)
        stream += "\r\n" + protocol::BuildMessage("121", ka, kb, text(i));
    // One byte per write for the first frames, the rest in one piece.
    for (std::size_t i = 0; i < 40; ++i)
        a.SendRaw(stream.substr(i, 1));
    a.SendRaw(stream.substr(40));
    QTRY_COMPARE(b.Count(code::InstantMessage), 5);
    int i = 0;
    for (const auto &e : b.Frames())
        if (protocol::CodeNumber(e.message.code) == code::InstantMessage)
            QCOMPARE(e.message.payload, text(i++));
}

void TestRelay::signInAgainReplacesKey()
{
    RawClient a, b;
    QVERIFY(a.Connect(server_->port()) && b.Connect(server_->port()));
    const std::string first = a.SignIn("anna");
    const std::string kb = b.SignIn("bert");
    const std::size_t seen = b.Seen();
    const std::string second = a.SignIn("annie");
    QVERIFY(second != first);
    const auto left = b.WaitFor(code::UserLeft, seen);
    QVERIFY(left);
    QCOMPARE(left->payload, first);
    const auto added = b.WaitFor(code::UsersAdded, seen);
    QVERIFY(added);
    QCOMPARE(added->payload, second);
}

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
