// The relay's output queue: shared blocks stay intact for every holder, small
// frames pack into a private block, partial writes resume at the right byte.
#include "server/Buffers.h"

#include <QtTest>

#include <string>

using namespace zestrel::server;

namespace
{

std::string Drain(OutputQueue &q, BlockPool &pool, std::size_t step)
{
    std::string out;
    while (!q.Empty()) {
        asio::const_buffer bufs[OutputQueue::kMaxGather];
        const std::size_t n = q.Gather(bufs, OutputQueue::kMaxGather);
        std::string gathered;
        for (std::size_t i = 0; i < n; ++i)
            gathered.append(static_cast<const char *>(bufs[i].data()), bufs[i].size());
        const std::size_t take = std::min(step, gathered.size());
        out += gathered.substr(0, take);
        q.Consume(pool, take);
    }
    return out;
}

Block *Shared(BlockPool &pool, std::string_view text)
{
    Block *b = pool.Get(text.size());
    b->Append(text);
    return b;
}

} // namespace

class TestBuffers : public QObject
{
    Q_OBJECT
  private slots:
    void orderKeptAcrossWriteSizes_data();
    void orderKeptAcrossWriteSizes();
    void sharedBlockIsNeverWrittenInto();
    void slicesOfAGrowingBlock();
    void laggingReaderSharesFrames_data();
    void laggingReaderSharesFrames();
    void blocksReturnToPool();
    void quietTrimGivesMemoryBack_data();
    void quietTrimGivesMemoryBack();
};

void TestBuffers::orderKeptAcrossWriteSizes_data()
{
    QTest::addColumn<int>("step");
    for (const int step : {1, 7, 100, 5000, 1 << 20})
        QTest::newRow(qPrintable(QString::number(step))) << step;
}

void TestBuffers::orderKeptAcrossWriteSizes()
{
    QFETCH(int, step);
    BlockPool pool;
    OutputQueue q;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        const std::string piece =
            "frame" + std::to_string(i) + std::string(std::size_t(i % 37), '.');
        if (i % 5 == 0) {
            Block *b = Shared(pool, piece);
            q.PushShared(pool, b);
            pool.Release(b);
        } else {
            q.PushCopy(pool, piece);
        }
        expected += piece;
    }
    const std::string big(50000, 'B'); // larger than any pooled block
    q.PushCopy(pool, big);
    expected += big;
    QCOMPARE(q.Bytes(), expected.size());
    QCOMPARE(Drain(q, pool, std::size_t(step)), expected);
    QCOMPARE(q.Bytes(), std::size_t(0));
}

void TestBuffers::sharedBlockIsNeverWrittenInto()
{
    BlockPool pool;
    OutputQueue a, b;
    Block *frame = Shared(pool, "shared");
    a.PushShared(pool, frame);
    b.PushShared(pool, frame);
    pool.Release(frame);
    a.PushCopy(pool, "-for-a");
    b.PushCopy(pool, "-for-b");
    QCOMPARE(Drain(a, pool, 3), std::string("shared-for-a"));
    // With a gone, b is the only holder; appending after it must still not
    // disturb what b has queued.
    b.PushCopy(pool, "-more");
    QCOMPARE(Drain(b, pool, 4), std::string("shared-for-b-more"));
}

// The member list and the notices grow in place: a queued slice keeps exactly
// its bytes, and a queue never appends its own bytes into a block grown past it.
void TestBuffers::slicesOfAGrowingBlock()
{
    BlockPool pool;
    OutputQueue a, b, c;
    Block *list = pool.Get(64);
    list->Append("HEAD");
    a.PushSlice(pool, list, 0, list->size);
    list->Append("-MORE");
    b.PushSlice(pool, list, 0, list->size);
    c.PushSlice(pool, list, 5, 4);
    pool.Release(list);
    a.PushCopy(pool, "+a");
    c.PushCopy(pool, "+c");
    QCOMPARE(a.Bytes(), std::size_t(6));
    QCOMPARE(Drain(a, pool, 1), std::string("HEAD+a"));
    QCOMPARE(Drain(c, pool, 3), std::string("MORE+c"));
    QCOMPARE(Drain(b, pool, 2), std::string("HEAD-MORE"));
}

// However far behind a member is, fan-out frames stay shared: no private copies
// whose cost would grow with members times frames.
void TestBuffers::laggingReaderSharesFrames_data()
{
    QTest::addColumn<int>("frameBytes");
    QTest::addColumn<bool>("copied");
    QTest::newRow("chat line") << 4 << false;
    QTest::newRow("470-byte line") << 470 << false;
    QTest::newRow("just over a 1 KiB block") << 1100 << false;
    QTest::newRow("2 KiB") << 2048 << false;
    QTest::newRow("larger frames") << 2049 << false;
}

void TestBuffers::laggingReaderSharesFrames()
{
    QFETCH(int, frameBytes);
    QFETCH(bool, copied);
    BlockPool pool;
    OutputQueue q;
    const std::size_t lag = 64 * 1024;
    q.PushCopy(pool, std::string(lag, 'x'));
    const std::string text(std::size_t(frameBytes), 'c');
    std::vector<Block *> frames;
    for (int i = 0; i < 3; ++i) {
        frames.push_back(Shared(pool, text));
        q.PushShared(pool, frames.back());
    }
    // Copied, so each shared block has only the broadcaster's reference left.
    for (Block *frame : frames) {
        QCOMPARE(frame->refs, copied ? 1u : 2u);
        pool.Release(frame);
    }
    QCOMPARE(Drain(q, pool, 9999), std::string(lag, 'x') + text + text + text);
}

void TestBuffers::blocksReturnToPool()
{
    BlockPool pool;
    OutputQueue q;
    Block *first = pool.Get(10);
    first->Append("0123456789");
    q.PushShared(pool, first);
    pool.Release(first);
    Drain(q, pool, 3);
    // The freed block is handed out again rather than a new allocation.
    Block *again = pool.Get(10);
    QCOMPARE(again, first);
    QCOMPARE(again->size, 0u);
    pool.Release(again);
    q.Clear(pool);
}

void TestBuffers::quietTrimGivesMemoryBack_data()
{
    QTest::addColumn<bool>("drained");
    QTest::newRow("drained queue") << true;
    QTest::newRow("queue still holding bytes") << false;
}

// Trimming after a burst frees what idle members no longer need, never what a member
// still has queued, and the queue works as before afterwards.
void TestBuffers::quietTrimGivesMemoryBack()
{
    QFETCH(bool, drained);
    BlockPool pool;
    OutputQueue q;
    std::string expected;
    for (int i = 0; i < 200; ++i) { // a burst of announcements, each shared
        Block *b = Shared(pool, "frame" + std::to_string(i));
        q.PushShared(pool, b);
        pool.Release(b);
        expected += "frame" + std::to_string(i);
    }
    if (drained) {
        QCOMPARE(Drain(q, pool, 1000), expected);
        expected.clear();
    }
    QVERIFY(pool.FreeBlocks() > 0 || !drained);
    q.ReleaseIdle(pool);
    pool.Trim();
    QCOMPARE(pool.FreeBlocks(), std::size_t(0));
    QCOMPARE(q.SliceCapacity() == 0, drained);
    q.PushCopy(pool, "after");
    QCOMPARE(Drain(q, pool, 7), expected + "after");
    q.Clear(pool);
}

QTEST_APPLESS_MAIN(TestBuffers)
#include "tst_buffers.moc"
