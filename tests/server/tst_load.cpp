// The relay under bursts: many members connecting and signing in at the same time.
#include "RawClient.h"
#include "support/ServerProcess.h"

#include <QtTest>

#include <map>
#include <set>

using namespace zestrel;
using namespace zestrel::test;
namespace code = zestrel::protocol::code;

namespace
{
// Built by appending: GCC 12 gives a false -Wrestrict for "m" + std::string at -O3.
std::string Name(int i)
{
    std::string name{"m"};
    name += std::to_string(i);
    return name;
}
} // namespace

class TestLoad : public QObject
{
    Q_OBJECT
  private slots:
    void burstOfSignInsEveryoneKnowsEveryone_data();
    void burstOfSignInsEveryoneKnowsEveryone();
};

void TestLoad::burstOfSignInsEveryoneKnowsEveryone_data()
{
    QTest::addColumn<int>("members");
    QTest::newRow("2") << 2;
    QTest::newRow("40") << 40;
    QTest::newRow("150") << 150;
}

// All members connect before any is accepted and sign in at once, so the server takes
// many connections and sign-ins in one pass. Each must still get its own index, and
// its list plus the later announcements must name every member exactly once.
void TestLoad::burstOfSignInsEveryoneKnowsEveryone()
{
    QFETCH(int, members);
    ServerProcess server;
    // All from one address, more at once than one address may have waiting.
    QVERIFY(server.start({QStringLiteral("--max-unsigned-per-address"), QStringLiteral("0")}));
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < members; ++i) {
        clients.push_back(std::make_unique<RawClient>());
        clients.back()->Socket().connectToHost(QStringLiteral("127.0.0.1"), server.port());
    }
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(clients.begin(), clients.end(),
                                         [](const auto &c) {
                                             return c->Socket().state() ==
                                                    QAbstractSocket::ConnectedState;
                                         }),
                             10000);
    // The sign-in payload has the layout of a key: address, name, version.
    for (int i = 0; i < members; ++i)
        clients[std::size_t(i)]->Send(code::SignIn, {}, {},
                                      protocol::BuildUserKey("127.0.0.1", Name(i), "2.4.0"));
    // Everyone has an index and a list, and the announcements add up: member k of n
    // hears of the n - k - 1 who signed in after it.
    const int announcements = members * (members - 1) / 2;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            int heard = 0;
            for (const auto &c : clients) {
                if (!c->Find(code::ConnectionIndex) || !c->Find(code::UsersList))
                    return false;
                heard += c->Count(code::UsersAdded);
            }
            return heard == announcements;
        }(),
        20000);

    std::set<std::string> indexes;
    std::set<std::string> everyone;
    for (int i = 0; i < members; ++i) {
        const RawClient &c = *clients[std::size_t(i)];
        const std::string index = c.Find(code::ConnectionIndex)->payload;
        QVERIFY2(indexes.insert(index).second, "an index was given twice");
        everyone.insert(protocol::BuildUserKey("127.0.0.1", Name(i), index));
    }
    for (const auto &c : clients) {
        std::map<std::string, int> known;
        for (const auto &key : SplitList(c->Find(code::UsersList)->payload))
            ++known[key];
        for (const auto &e : c->Frames())
            if (protocol::CodeNumber(e.message.code) == code::UsersAdded)
                ++known[e.message.payload];
        QCOMPARE(int(known.size()), members);
        for (const auto &[key, times] : known) {
            QVERIFY2(everyone.count(key) == 1, "a key nobody has");
            QCOMPARE(times, 1);
        }
    }
}

QTEST_MAIN(TestLoad)
#include "tst_load.moc"
