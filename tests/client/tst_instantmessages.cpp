// Instant messages with whole clients on the real relay: a round trip, delivery to oneself,
// the automatic replies and their end, the 200-character cut, the refusals.
#include "NetMembers.h"

#include <QSignalSpy>

using namespace zestrel;
using namespace zestrel::test;

class TestInstantMessages : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void roundTrip();
    void toOneself();
    void automaticReplies_data();
    void automaticReplies();
    void twoMinimizedMembers();
    void switchedOffShowsNothing_data();
    void switchedOffShowsNothing();
    void cutTo200();
    void refusals_data();
    void refusals();

  private:
    std::unique_ptr<ServerProcess> server_;
    std::unique_ptr<NetMember> a_, b_;
};

void TestInstantMessages::initTestCase()
{
    server_ = std::make_unique<ServerProcess>();
    QVERIFY(StartRelay(*server_));
}

void TestInstantMessages::cleanupTestCase()
{
    server_.reset();
}

void TestInstantMessages::init()
{
    a_ = std::make_unique<NetMember>(*server_, "Anna");
    b_ = std::make_unique<NetMember>(*server_, "Bob");
    QVERIFY(SignInAll({a_.get(), b_.get()}));
}

void TestInstantMessages::cleanup()
{
    b_.reset();
    a_.reset();
    QTest::qWait(100); // the relay notices both departures before the next pair signs in
}

void TestInstantMessages::roundTrip()
{
    NetMember &a = *a_, &b = *b_;
    QVERIFY(a.selectMember("Bob"));
    a.client->prompter.inputs << "  Hello Bob, how is the soup?  ";
    a.session.messages.mnuSendMessage_Click();
    QCOMPARE(a.client->prompter.shown.first().text,
             QString("Enter the message you would like to send (200 char limit) to Bob."));
    QCOMPARE(a.client->prompter.shown.first().title, QString("Instant Message"));
    QTRY_COMPARE_WITH_TIMEOUT(b.client->centerTitle(), QString("Instant Message from: Anna"),
                              kNetWait);
    QVERIFY(b.client->centerText().contains("Hello Bob, how is the soup?"));
    QVERIFY(!b.client->centerText().contains("  Hello"));
    QVERIFY(b.client->statuses.contains("Inst. Msg. from: Anna"));

    // The answer goes back the same way.
    QVERIFY(b.selectMember("Anna"));
    b.client->prompter.inputs << "Fine, thanks";
    b.session.messages.mnuSendMessage_Click();
    QTRY_VERIFY_WITH_TIMEOUT(a.client->centerText().contains("Fine, thanks"), kNetWait);
    QCOMPARE(a.client->centerTitle(), QString("Instant Message from: Bob"));
}

void TestInstantMessages::toOneself()
{
    NetMember &a = *a_;
    QVERIFY(a.selectMember("Anna"));
    a.client->prompter.inputs << "note to self";
    QSignalSpy sent(&a.session.messages, &InstantMessages::messageSent);
    a.client->connection.Minimized = true; // one's own message is always shown
    a.app.Settings["INSTANTMESSAGE"] = "0";
    a.session.messages.mnuSendMessage_Click();
    // Shown at once, without the network.
    QCOMPARE(a.client->centerText(), QString("note to self"));
    QCOMPARE(a.client->centerTitle(), QString("Instant Message from: Anna"));
    QCOMPARE(sent.count(), 1);
    QCOMPARE(sent.first().at(0).toString(), a.app.MyUserKey);
}

void TestInstantMessages::automaticReplies_data()
{
    QTest::addColumn<bool>("minimized");
    QTest::addColumn<QString>("reply");
    QTest::newRow("minimized") << true << InstantMessages::MinimizedReply();
    QTest::newRow("switched off") << false << InstantMessages::DisabledReply();
}

void TestInstantMessages::automaticReplies()
{
    QFETCH(bool, minimized);
    QFETCH(QString, reply);
    NetMember &a = *a_, &b = *b_;
    b.client->connection.Minimized = minimized;
    if (!minimized)
        b.setting("INSTANTMESSAGE", "1");
    QVERIFY(a.selectMember("Bob"));
    a.client->prompter.inputs << "are you there?";
    a.session.messages.mnuSendMessage_Click();
    QTRY_COMPARE_WITH_TIMEOUT(a.client->centerText(), reply, kNetWait);
    QCOMPARE(a.client->centerTitle(), QString("Instant Message from: Bob"));
    // The recipient's message center stays unchanged; its status line names the sender.
    QVERIFY(!b.client->diag.messageCenter());
    QVERIFY(b.client->statuses.contains("Inst. Msg. from: Anna"));
}

void TestInstantMessages::twoMinimizedMembers()
{
    NetMember &a = *a_, &b = *b_;
    a.client->connection.Minimized = true;
    b.client->connection.Minimized = true;
    QSignalSpy fromA(&a.session.messages, &InstantMessages::messageSent);
    QSignalSpy fromB(&b.session.messages, &InstantMessages::messageSent);
    a.session.messages.SendInstantMessage("hi Bob", b.app.MyUserKey);
    b.session.messages.SendInstantMessage("hi Anna", a.app.MyUserKey);
    QTRY_COMPARE_WITH_TIMEOUT(fromA.count(), 2, kNetWait);
    QTRY_COMPARE_WITH_TIMEOUT(fromB.count(), 2, kNetWait);
    QTest::qWait(500);
    // Exactly one automatic reply each; the replies themselves are not answered.
    QCOMPARE(fromA.count(), 2);
    QCOMPARE(fromB.count(), 2);
    QCOMPARE(fromA.at(1).at(1).toString(), InstantMessages::MinimizedReply());
    QCOMPARE(fromB.at(1).at(1).toString(), InstantMessages::MinimizedReply());
    QVERIFY(!a.client->diag.messageCenter());
    QVERIFY(!b.client->diag.messageCenter());

    // Restored, a member is shown an automatic reply.
    a.client->connection.Minimized = false;
    a.session.messages.ProcessInstantMessage(b.app.MyUserKey, InstantMessages::DisabledReply());
    QCOMPARE(a.client->centerText(), InstantMessages::DisabledReply());
    QCOMPARE(fromA.count(), 2);
}

void TestInstantMessages::switchedOffShowsNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("replies");
    QTest::newRow("ordinary text") << "open sesame" << 1;
    QTest::newRow("reads as the switched-off reply")
        << "This user has instant messaging disabled!" << 0;
    QTest::newRow("reads as the minimized reply")
        << "This user has Zestrel minimized and can not respond to messages!" << 0;
}

void TestInstantMessages::switchedOffShowsNothing()
{
    QFETCH(QString, text);
    QFETCH(int, replies);
    NetMember &a = *a_, &b = *b_;
    a.setting("INSTANTMESSAGE", "1");
    QSignalSpy fromA(&a.session.messages, &InstantMessages::messageSent);
    a.session.messages.ProcessInstantMessage(b.app.MyUserKey, text);
    QVERIFY(!a.client->diag.messageCenter());
    QCOMPARE(fromA.count(), replies);
    QVERIFY(a.client->statuses.contains("Inst. Msg. from: Bob"));
}

void TestInstantMessages::cutTo200()
{
    NetMember &a = *a_, &b = *b_;
    QVERIFY(a.selectMember("Bob"));
    a.client->prompter.inputs << QString(250, 'x');
    a.session.messages.mnuSendMessage_Click();
    QTRY_VERIFY_WITH_TIMEOUT(b.client->diag.messageCenter(), kNetWait);
    QCOMPARE(b.client->centerText(), QString(200, 'x'));
}

void TestInstantMessages::refusals_data()
{
    QTest::addColumn<QString>("disabled");
    QTest::addColumn<bool>("select");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("disabled") << "1" << true << QStringList{"x"}
                              << QStringList{"Instant Message Disabled"};
    QTest::newRow("no node") << "0" << false << QStringList{"x"} << QStringList{"Instant Message"};
    QTest::newRow("blanks only") << "0" << true << QStringList{"    "}
                                 << QStringList{"Instant Message"};
    QTest::newRow("cancelled") << "0" << true << QStringList{} << QStringList{"Instant Message"};
    QTest::newRow("caret, then cancel")
        << "0" << true << QStringList{"a^b"}
        << QStringList{"Instant Message", "Text not sent", "Instant Message"};
}

void TestInstantMessages::refusals()
{
    QFETCH(QString, disabled);
    QFETCH(bool, select);
    QFETCH(QStringList, inputs);
    QFETCH(QStringList, titles);
    NetMember &a = *a_, &b = *b_;
    a.setting("INSTANTMESSAGE", disabled);
    if (select)
        QVERIFY(a.selectMember("Bob"));
    else
        a.client->members.tree.tvUsersSelection.clear();
    for (const QString &i : inputs)
        a.client->prompter.inputs << i;
    QSignalSpy sent(&a.session.messages, &InstantMessages::messageSent);
    a.session.messages.mnuSendMessage_Click();
    QCOMPARE(a.client->prompter.titles(), titles);
    if (!select) // refused with a notice before any prompt
        QCOMPARE(a.client->prompter.shown.first().kind, QString("message"));
    QCOMPARE(sent.count(), 0);
    QTest::qWait(200);
    QVERIFY(!b.client->diag.messageCenter());
}

QTEST_MAIN(TestInstantMessages)
#include "tst_instantmessages.moc"
