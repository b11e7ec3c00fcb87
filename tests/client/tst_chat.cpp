// Chat rooms with whole clients on the real relay, and the display's
// rules (room filter, colours, the master user, the trim) on one client.
#include "NetMembers.h"

#include <QSignalSpy>
#include <QTextBlock>

using namespace zestrel;
using namespace zestrel::test;

namespace
{

QString Line(const QString &sender, const QString &text, const QString &colour, const QString &room)
{
    return wire::Encode(wire::ChatLine{sender, text, colour, room});
}

// The colour and size of the text of the display's line `n` (from 0).
QTextCharFormat FormatOfLine(const ChatRooms &chat, int n)
{
    QTextBlock b = chat.rtbChat.begin();
    for (int i = 0; i < n && b.isValid(); ++i)
        b = b.next();
    QTextCursor cursor(b);
    cursor.movePosition(QTextCursor::NextCharacter);
    return cursor.charFormat();
}

std::uint32_t Bgr(const QColor &c)
{
    return std::uint32_t(c.red()) | (std::uint32_t(c.green()) << 8) |
           (std::uint32_t(c.blue()) << 16);
}

} // namespace

class TestChat : public QObject
{
    Q_OBJECT
  private slots:
    void colourRules_data();
    void colourRules();
    void roomFilter();
    void masterUserSeesEveryRoom();
    void trimKeepsWholeLines();
    void trimBound_data();
    void trimBound();
    void refusedTexts_data();
    void refusedTexts();
    void lineBound_data();
    void lineBound();
    void joinWithoutRoomRefused();
    void displaySettings();
    void roomsOverTheRelay();
    void masterUserOverTheRelay();
};

void TestChat::colourRules_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("incomingText");
    QTest::addColumn<QString>("back");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<uint>("shown");
    // Own lines keep the own TEXTCOLOR (255, red) whatever the line says.
    QTest::newRow("own line") << "Anna"
                              << "1"
                              << "16777215"
                              << "65280" << 255u;
    QTest::newRow("incoming colour") << "Bob"
                                     << "1"
                                     << "16777215"
                                     << "65280" << 16711680u;
    QTest::newRow("line colour") << "Bob"
                                 << "0"
                                 << "16777215"
                                 << "65280" << 65280u;
    QTest::newRow("white on white shows black") << "Bob"
                                                << "0"
                                                << "16777215"
                                                << "16777215" << 0u;
    QTest::newRow("black on black shows white") << "Bob"
                                                << "0"
                                                << "0"
                                                << "0" << 16777215u;
    QTest::newRow("grey on grey shows black") << "Bob"
                                              << "0"
                                              << "8421504"
                                              << "8421504" << 0u;
    QTest::newRow("sender case counts") << "anna"
                                        << "0"
                                        << "16777215"
                                        << "65280" << 65280u;
}

void TestChat::colourRules()
{
    QFETCH(QString, sender);
    QFETCH(QString, incomingText);
    QFETCH(QString, back);
    QFETCH(QString, colour);
    QFETCH(uint, shown);
    TestClient c("Anna");
    c.app.UserName = "Anna";
    c.app.Settings["TEXTCOLOR"] = "255";
    c.app.Settings["INCOMINGTEXT"] = incomingText;
    c.app.Settings["INCOMINGCOLOR"] = "16711680";
    c.app.Settings["BACKCOLOR"] = back;
    c.app.Settings["BASEFONTSIZE"] = "9";
    ChatRooms &chat = c.session.chat;
    chat.ApplyDisplaySettings();
    chat.ProcessRoomList(QStringList(Rooms()).join(LS()));
    chat.ShowChatLine(Line(sender, "hello", colour, "0"));
    QCOMPARE(chat.DisplayText(), "[" + sender + "]:  hello\r\n");
    const QTextCharFormat f = FormatOfLine(chat, 0);
    QCOMPARE(Bgr(f.foreground().color()), std::uint32_t(shown));
    QCOMPARE(f.fontPointSize(), 13.0);
    QCOMPARE(f.fontFamilies().toStringList(), QStringList("Courier New"));
    QVERIFY(!f.fontItalic() && !f.fontUnderline() && f.fontWeight() == QFont::Normal);
    QCOMPARE(c.connection.lights.Colour(ActivityLights::Chat), ActivityLights::Yellow);
    QTRY_COMPARE(c.connection.lights.Colour(ActivityLights::Chat), ActivityLights::White);
}

void TestChat::roomFilter()
{
    TestClient c("Anna");
    c.app.UserName = "Anna";
    ChatRooms &chat = c.session.chat;
    chat.ProcessRoomList(Rooms().join(LS()));
    QCOMPARE(chat.cboChatRooms.stringList(), Rooms());
    QCOMPARE(chat.ListIndex(), 0);
    chat.ShowChatLine(Line("Bob", "in lobby", "0", "0"));
    chat.ShowChatLine(Line("Bob", "in kitchen", "0", "1"));
    chat.ShowChatLine(Line("Master", "to all", "0", "-999"));
    chat.ShowChatLine("Bob" + FS() + "three fields" + FS() + "0");
    QCOMPARE(chat.DisplayText(), QString("[Bob]:  in lobby\r\n[Master]:  to all\r\n"));
    // Selecting another room empties the display; its lines are shown, without joining.
    chat.SetListIndex(1);
    QCOMPARE(chat.DisplayText(), QString());
    QCOMPARE(chat.CurrentRoom, -1);
    chat.ShowChatLine(Line("Bob", "in lobby", "0", "0"));
    chat.ShowChatLine(Line("Bob", "in kitchen", "0", "1"));
    QCOMPARE(chat.DisplayText(), QString("[Bob]:  in kitchen\r\n"));
}

void TestChat::masterUserSeesEveryRoom()
{
    TestClient c("Master");
    c.app.UserName = "Master";
    c.app.IsMasterUser = true;
    ChatRooms &chat = c.session.chat;
    chat.RequestRoomList();
    QCOMPARE(chat.cboChatRooms.stringList(), QStringList(ChatRooms::MasterRoomName()));
    QCOMPARE(chat.ListIndex(), 0);
    chat.ShowChatLine(Line("Bob", "hi", "0", "3"));
    chat.ShowChatLine(Line("Cleo", "yo", "0", "0"));
    QCOMPARE(chat.DisplayText(), QString("3 [Bob]:  hi\r\n0 [Cleo]:  yo\r\n"));
}

void TestChat::trimKeepsWholeLines()
{
    TestClient c("Anna");
    ChatRooms &chat = c.session.chat;
    chat.ProcessRoomList(Rooms().join(LS()));
    for (int i = 0; i < 400; ++i) {
        chat.ShowChatLine(Line("Bob", QString("line %1 ").arg(i) + QString(i % 37, 'x'), "0", "0"));
        QVERIFY(chat.DisplayLength() <= ChatRooms::kMaxChatChars);
    }
    const QString text = chat.DisplayText();
    QVERIFY(text.size() > ChatRooms::kMaxChatChars - 200);
    QVERIFY(text.startsWith("[Bob]:  line "));
    QVERIFY(text.endsWith("[Bob]:  line 399 " + QString(399 % 37, 'x') + "\r\n"));
    // One line longer than the bound is removed whole (it ends with CR LF).
    chat.ShowChatLine(Line("Bob", QString(6000, 'y'), "0", "0"));
    QCOMPARE(chat.DisplayText(), QString());
    // Without any line break left, single characters go from the top.
    chat.AddLine(QString(5003, 'z'), "Courier New", 10, false, false, false, 0);
    chat.ShowChatLine(Line("Bob", "", "0", "-999"));
    QVERIFY(chat.DisplayLength() <= ChatRooms::kMaxChatChars);
}

void TestChat::trimBound_data()
{
    // Lines of 100 characters with their CR LF: 50 fill the display exactly.
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("firstShown");
    QTest::newRow("5,000 characters") << 50 << 0;
    QTest::newRow("5,100 characters") << 51 << 1;
}

void TestChat::trimBound()
{
    QFETCH(int, lines);
    QFETCH(int, firstShown);
    TestClient c("Anna");
    ChatRooms &chat = c.session.chat;
    chat.ProcessRoomList(Rooms().join(LS()));
    for (int i = 0; i < lines; ++i) // "[Bob]:  " + 90 + CR LF
        chat.ShowChatLine(Line("Bob", QString("%1").arg(i, 2, 10, QChar('0')) + QString(88, 'x'), "0", "0"));
    QCOMPARE(chat.DisplayLength(), qsizetype(5000));
    QVERIFY2(chat.DisplayText().startsWith(QString("[Bob]:  %1x").arg(firstShown, 2, 10, QChar('0'))),
             qPrintable(chat.DisplayText().left(20)));
}

void TestChat::refusedTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::newRow("caret") << "a^b"
                           << "Text not sent";
    QTest::newRow("begin marker") << "x *~B~* y"
                                  << "Text not sent";
    QTest::newRow("end marker") << "*~E~*"
                                << "Text not sent";
    QTest::newRow("foul") << ContainedWords().first().toLower() << "Foul language detected";
}

void TestChat::refusedTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, title);
    TestClient c("Anna");
    ChatRooms &chat = c.session.chat;
    chat.ProcessRoomList(Rooms().join(LS()));
    chat.CurrentRoom = 0; // as if joined; nothing may be sent
    QSignalSpy focus(&chat, &ChatRooms::focusSendBoxRequested);
    chat.SetSendText(text);
    chat.cmdSend_Click();
    QCOMPARE(c.prompter.titles(), QStringList(title));
    QCOMPARE(chat.SendText(), text);
    QCOMPARE(focus.count(), 1);
}

// The payload "Anna" NUL NUL NUL text NUL NUL NUL "0" NUL NUL NUL "0" carries 15 bytes
// around the text; the relay passes at most 65,536.
void TestChat::lineBound_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("sent");
    QTest::newRow("65,536 bytes") << QString(65521, 'a') << true;
    QTest::newRow("65,537 bytes") << QString(65522, 'a') << false;
    QTest::newRow("32,761 two-byte characters") << QString(32761, QChar(0xe9)) << false;
    QTest::newRow("40,000 characters") << QString(40000, 'a') + "!" << true;
}

void TestChat::lineBound()
{
    QFETCH(QString, text);
    QFETCH(bool, sent);
    TestClient c("Anna");
    c.app.UserName = "Anna"; // as after sign-in
    ChatRooms &chat = c.session.chat;
    chat.ProcessRoomList(Rooms().join(LS()));
    chat.CurrentRoom = 0;
    chat.SetSendText(text);
    chat.cmdSend_Click();
    QCOMPARE(c.prompter.titles(), sent ? QStringList() : QStringList{"Text not sent"});
    QCOMPARE(chat.SendText(), sent ? QString() : text);
    if (!sent)
        QCOMPARE(c.prompter.shown[0].text,
                 QString("The text was not sent: the Zestrel network carries at most 65536 bytes "
                         "in one chat line.\r\n\r\nPlease shorten the text and send it again."));
}

void TestChat::joinWithoutRoomRefused()
{
    TestClient c("Anna");
    ChatRooms &chat = c.session.chat;
    QSignalSpy buttons(&chat, &ChatRooms::buttonsChanged);
    chat.EnterRoom();
    QCOMPARE(buttons.count(), 0);
    QCOMPARE(chat.CurrentRoom, -1);
    QVERIFY(chat.Enabled(ChatRooms::cmdJoin));
    QVERIFY(!chat.Enabled(ChatRooms::cmdSend));
    QCOMPARE(chat.DefaultButton(), ChatRooms::cmdJoin);
    // Not in a room: the text is neither sent nor cleared, the filter still ran.
    chat.SetSendText(ContainedWords().first());
    chat.cmdSend_Click();
    QCOMPARE(c.prompter.titles(), QStringList("Foul language detected"));
    chat.SetSendText("hello");
    chat.cmdSend_Click();
    QCOMPARE(chat.SendText(), QString("hello"));
}

void TestChat::displaySettings()
{
    TestClient c("Anna");
    ChatRooms &chat = c.session.chat;
    c.app.Settings["BACKCOLOR"] = "0";
    c.app.Settings["TEXTCOLOR"] = "65280";
    c.app.Settings["BASEFONTSIZE"] = "12";
    chat.ApplyDisplaySettings();
    QCOMPARE(chat.BackColor, 0u);
    QCOMPARE(chat.TextColor, 65280u);
    QCOMPARE(chat.SendFontSize, 14);
    chat.AddLine("kept", "Courier New", 10, false, false, false, 0);
    chat.ApplyDisplaySettings(); // same size: the display stays
    QCOMPARE(chat.DisplayText(), QString("kept"));
    c.app.Settings["BASEFONTSIZE"] = "8";
    chat.ApplyDisplaySettings();
    QCOMPARE(chat.DisplayText(), QString());
    // AddLine with an empty text adds a line break.
    chat.AddLine("", "Courier New", 10, false, false, false, 0);
    QCOMPARE(chat.DisplayLength(), 2);
}

void TestChat::roomsOverTheRelay()
{
    ServerProcess server;
    QVERIFY(StartRelay(server));
    NetMember a(server, "Anna"), b(server, "Bob"), c(server, "Cleo");
    a.setting("TEXTCOLOR", "255");
    b.setting("TEXTCOLOR", "65280");
    QVERIFY(SignInAll({&a, &b, &c}));
    for (NetMember *m : {&a, &b, &c}) {
        m->session.chat.ApplyDisplaySettings();
        m->session.chat.TabShown();
    }
    for (NetMember *m : {&a, &b, &c})
        QTRY_COMPARE_WITH_TIMEOUT(m->session.chat.cboChatRooms.stringList(), Rooms(), kNetWait);

    ChatRooms &ca = a.session.chat, &cb = b.session.chat, &cc = c.session.chat;
    cc.SetListIndex(2); // Cleo looks at another room
    ca.SetSendText("typed before");
    ca.EnterRoom();
    QCOMPARE(ca.CurrentRoom, 0);
    QCOMPARE(ca.SendText(), QString("typed before"));
    QVERIFY(!ca.Enabled(ChatRooms::cmdJoin) && ca.Enabled(ChatRooms::cmdSend));
    QCOMPARE(ca.DefaultButton(), ChatRooms::cmdSend);
    cb.EnterRoom();
    const QString entered = "[Anna]:  <HAS ENTERED THE ROOM>\r\n[Bob]:  <HAS ENTERED THE ROOM>\r\n";
    QTRY_COMPARE_WITH_TIMEOUT(ca.DisplayText(), entered, kNetWait);
    // Bob had the room selected before he joined, so he saw Anna enter too.
    QTRY_COMPARE_WITH_TIMEOUT(cb.DisplayText(), entered, kNetWait);

    // One's own line comes back once, in one's own colour and the chat size.
    ca.SetSendText("  Hello Bob ");
    ca.cmdSend_Click();
    QCOMPARE(ca.SendText(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(
        cb.DisplayText().endsWith("[Anna]:  " + QString("  Hello Bob ") + "\r\n"), kNetWait);
    QTRY_VERIFY_WITH_TIMEOUT(ca.DisplayText().endsWith("[Anna]:    Hello Bob \r\n"), kNetWait);
    QTest::qWait(200);
    QCOMPARE(ca.DisplayText().count("Hello Bob"), 1);
    QCOMPARE(Bgr(FormatOfLine(ca, 2).foreground().color()), 255u);
    QCOMPARE(FormatOfLine(ca, 2).fontPointSize(), 14.0);
    QCOMPARE(Bgr(FormatOfLine(cb, 2).foreground().color()), 255u);
    // Lines of other rooms are filtered.
    QCOMPARE(cc.DisplayText(), QString());

    // Leaving announces with the room being left, then leaves.
    ca.LeaveRoom();
    QCOMPARE(ca.CurrentRoom, -1);
    QVERIFY(ca.Enabled(ChatRooms::cmdJoin) && !ca.Enabled(ChatRooms::cmdSend));
    QTRY_VERIFY_WITH_TIMEOUT(cb.DisplayText().endsWith("[Anna]:  <HAS LEFT THE ROOM>\r\n"),
                             kNetWait);
    // Bob selecting another room while joined leaves the old one.
    cb.SetListIndex(2);
    QCOMPARE(cb.CurrentRoom, -1);
    QTRY_VERIFY_WITH_TIMEOUT(ca.DisplayText().endsWith("[Bob]:  <HAS LEFT THE ROOM>\r\n"),
                             kNetWait);
    QCOMPARE(cb.DisplayText(), QString());
    QCOMPARE(cc.DisplayText(), QString());

    // Closing the window runs ResetChatRoom: a joined room is left with its line.
    cb.EnterRoom();
    QTRY_VERIFY_WITH_TIMEOUT(cc.DisplayText().endsWith("[Bob]:  <HAS ENTERED THE ROOM>\r\n"),
                             kNetWait);
    cb.ResetChatRoom();
    QTRY_VERIFY_WITH_TIMEOUT(cc.DisplayText().endsWith("[Bob]:  <HAS LEFT THE ROOM>\r\n"),
                             kNetWait);

    // A reset of the connection empties the list and the display.
    emit c.client->connection.viewsCleared();
    QCOMPARE(cc.cboChatRooms.rowCount(), 0);
    QCOMPARE(cc.DisplayText(), QString());
}

void TestChat::masterUserOverTheRelay()
{
    ServerProcess server;
    QVERIFY(StartRelay(server));
    NetMember a(server, "Anna"), m(server, "Master");
    QVERIFY(SignInAll({&a, &m}));
    m.app.IsMasterUser = true;
    ChatRooms &ca = a.session.chat, &cm = m.session.chat;
    ca.TabShown();
    cm.TabShown();
    QTRY_COMPARE_WITH_TIMEOUT(ca.cboChatRooms.rowCount(), 3, kNetWait);
    QCOMPARE(cm.cboChatRooms.stringList(), QStringList(ChatRooms::MasterRoomName()));
    ca.SetListIndex(1);
    ca.EnterRoom();
    QTRY_COMPARE_WITH_TIMEOUT(cm.DisplayText(), QString("1 [Anna]:  <HAS ENTERED THE ROOM>\r\n"),
                              kNetWait);
    // The master's own lines carry room -999 and appear in every room.
    cm.EnterRoom();
    QTRY_VERIFY_WITH_TIMEOUT(ca.DisplayText().endsWith("[Master]:  <HAS ENTERED THE ROOM>\r\n"),
                             kNetWait);
    QTRY_VERIFY_WITH_TIMEOUT(
        cm.DisplayText().endsWith("-999 [Master]:  <HAS ENTERED THE ROOM>\r\n"), kNetWait);
}

QTEST_MAIN(TestChat)
#include "tst_chat.moc"
