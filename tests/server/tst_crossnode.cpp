// Member-to-member frames between relay nodes travel gathered per node and loop turn:
// every frame arrives once, and each sender's frames arrive in the order it sent them.
// What another node says of its members is bounded before it reaches ours.
#include "RawClient.h"
#include "support/NatsServers.h"
#include "support/ServerProcess.h"

#include <QTcpSocket>
#include <QUrl>
#include <QtTest>

#include <map>

using namespace zestrel;
using namespace zestrel::test;
namespace code = zestrel::protocol::code;

namespace
{
// A node of our own making, speaking the NATS protocol itself.
struct FakeNode {
    QTcpSocket socket;
    bool Connect(const QString &url)
    {
        const QUrl u(url);
        socket.connectToHost(u.host(), quint16(u.port()));
        if (!socket.waitForConnected(5000))
            return false;
        socket.write("CONNECT {\"verbose\":false}\r\n");
        return socket.waitForBytesWritten(5000);
    }
    // One bus message from node "fake" (slot 150) of this type, sequence and body.
    void Publish(char type, int seq, const std::string &body)
    {
        const std::string data = std::string(1, type) + " fake 7 " + std::to_string(seq) +
                                 " 150 0\n" + body;
        const std::string pub =
            "PUB zestrel.all " + std::to_string(data.size()) + "\r\n" + data + "\r\n";
        socket.write(pub.data(), qint64(pub.size()));
        socket.flush();
    }
};
} // namespace

class TestCrossNode : public QObject
{
    Q_OBJECT
  private slots:
    void orderPerSenderUnderBatching();
    void keyBoundFromAnotherNode_data();
    void keyBoundFromAnotherNode();
};

void TestCrossNode::orderPerSenderUnderBatching()
{
    QVERIFY2(!NatsServers::Executable().isEmpty(),
             "nats-server is missing: scripts/deps.sh installs it");
    NatsServers nats;
    QVERIFY(nats.start(1));
    ServerProcess one, two;
    QVERIFY(one.start({"--cluster", nats.urls(0), "--node", "relay1"}));
    QVERIFY(two.start({"--cluster", nats.urls(0), "--node", "relay2"}));
    RawClient receiver;
    QVERIFY(receiver.Connect(two.port()));
    QVERIFY(!receiver.SignIn("receiver").empty());
    std::vector<std::unique_ptr<RawClient>> senders;
    for (const char *name : {"ann", "bob", "cyd"}) {
        senders.push_back(std::make_unique<RawClient>());
        QVERIFY(senders.back()->Connect(one.port()));
        QVERIFY(!senders.back()->SignIn(name).empty());
    }
    // Probes until the first node knows the second (late probes are left out below).
    const std::string probe = "probe";
    QVERIFY(QTest::qWaitFor(
        [&] {
            if (receiver.Find(code::InstantMessage))
                return true;
            senders[0]->Send(code::InstantMessage, senders[0]->Key(), receiver.Key(), probe);
            return false;
        },
        15000));
    const std::size_t from = receiver.Seen();

    // Each sender writes its frames in one burst, so one loop turn of the first node
    // holds many of them, with frames of all three interleaved; some are large enough
    // to fill a batch on their own.
    constexpr int kFrames = 600;
    for (int i = 0; i < kFrames; ++i)
        for (auto &s : senders) {
            const std::string text =
                std::to_string(i) + ":" + std::string(i % 97 == 0 ? 40000 : i % 13, '.');
            s->SendRaw(protocol::BuildMessage(std::to_string(code::InstantMessage), s->Key(),
                                              receiver.Key(), text));
        }
    QVERIFY(QTest::qWaitFor(
        [&] { return receiver.Seen() >= from + std::size_t(kFrames) * senders.size(); }, 30000));
    std::map<std::string, int> next;
    for (std::size_t i = from; i < receiver.Frames().size(); ++i) {
        const auto &m = receiver.Frames()[i].message;
        if (m.payload == probe)
            continue;
        QCOMPARE(protocol::CodeNumber(m.code), int(code::InstantMessage));
        const int n = std::stoi(m.payload.substr(0, m.payload.find(':')));
        QCOMPARE(n, next[m.source]++);
    }
    QCOMPARE(next.size(), senders.size());
    for (const auto &s : senders)
        QCOMPARE(next[s->Key()], kFrames);
}

void TestCrossNode::keyBoundFromAnotherNode_data()
{
    QTest::addColumn<bool>("inSnapshot"); // or as an arrival after an empty snapshot
    QTest::addColumn<int>("keyBytes");
    QTest::addColumn<bool>("reaches");
    QTest::newRow("snapshot, 512 bytes") << true << 512 << true;
    QTest::newRow("snapshot, 513 bytes") << true << 513 << false;
    QTest::newRow("snapshot, 600 bytes") << true << 600 << false;
    QTest::newRow("arrival, 512 bytes") << false << 512 << true;
    QTest::newRow("arrival, 600 bytes") << false << 600 << false;
}

void TestCrossNode::keyBoundFromAnotherNode()
{
    QFETCH(bool, inSnapshot);
    QFETCH(int, keyBytes);
    QFETCH(bool, reaches);
    QVERIFY2(!NatsServers::Executable().isEmpty(),
             "nats-server is missing: scripts/deps.sh installs it");
    NatsServers nats;
    QVERIFY(nats.start(1));
    ServerProcess relay;
    QVERIFY(relay.start({"--cluster", nats.urls(0), "--node", "relay1"}));
    RawClient member;
    QVERIFY(member.Connect(relay.port()));
    QVERIFY(!member.SignIn("member").empty());
    FakeNode fake;
    QVERIFY(fake.Connect(nats.url(0)));
    const std::string key(std::size_t(keyBytes), 'k');
    // The relay may subscribe a moment after its member signs in: repeat until it hears.
    const std::size_t from = member.Seen();
    int seq = 1;
    QVERIFY(QTest::qWaitFor(
        [&] {
            if (inSnapshot) {
                fake.Publish('S', seq, key + std::string(protocol::kListSep) + "marker");
            } else {
                fake.Publish('S', seq, {});
                fake.Publish('A', seq + 1, key);
                fake.Publish('A', seq + 2, "marker");
            }
            seq += 3;
            for (std::size_t i = from; i < member.Seen(); ++i)
                if (member.Frames()[i].message.payload.find("marker") != std::string::npos)
                    return true;
            return false;
        },
        15000));
    bool seen = false;
    for (std::size_t i = from; i < member.Seen(); ++i) {
        const auto &m = member.Frames()[i].message;
        seen = seen || (protocol::CodeNumber(m.code) == code::UsersAdded &&
                        m.payload.find(key) != std::string::npos);
    }
    QCOMPARE(seen, reaches);
}

QTEST_GUILESS_MAIN(TestCrossNode)
#include "tst_crossnode.moc"
