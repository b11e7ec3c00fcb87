// Member-to-member frames between relay nodes travel gathered per node and loop turn:
// every frame arrives once, and each sender's frames arrive in the order it sent them.
#include "RawClient.h"
#include "support/NatsServers.h"
#include "support/ServerProcess.h"

#include <QtTest>

#include <map>

using namespace zestrel;
using namespace zestrel::test;
namespace code = zestrel::protocol::code;

class TestCrossNode : public QObject
{
    Q_OBJECT
  private slots:
    void orderPerSenderUnderBatching();
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

QTEST_GUILESS_MAIN(TestCrossNode)
#include "tst_crossnode.moc"
