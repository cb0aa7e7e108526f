#include "core/framebatcher.h"

#include "platform/systeminfo.h"

#include "tests/support/testenvironment.h"

namespace {
// Keeps this thread's CPU busy for the time given, as drawing a large reply would.
void spendCpu(std::chrono::milliseconds cost)
{
    const std::chrono::nanoseconds until = SystemInfo::processCpuTime() + cost;
    while (SystemInfo::processCpuTime() < until) {
    }
}
} // namespace

// Updates that cost much stretch the interval to keep within their share of a core, never
// beyond its longest; after a quiet spell a stream starts again at one frame.
class FrameBatcherTest : public QObject
{
    Q_OBJECT

private slots:
    void intervalFollowsTheCost()
    {
        int runs = 0;
        std::chrono::milliseconds cost{0};
        FrameBatcher batcher(
            [&] {
                ++runs;
                spendCpu(cost);
            },
            FrameBatcher::frameInterval,
            FrameBatcher::CpuBudget{0.05, std::chrono::milliseconds(200)});
        const auto stream = [&](int updates) {
            for (const int until = runs + updates; runs < until;) {
                batcher.request();
                QTest::qWait(5);
            }
        };
        stream(5);
        QVERIFY(batcher.interval() < std::chrono::milliseconds(40));

        cost = std::chrono::milliseconds(4); // 80 ms at a twentieth of a core
        stream(6);
        QVERIFY2(batcher.interval() >= std::chrono::milliseconds(60),
                 qPrintable(QString::number(batcher.interval().count())));
        cost = std::chrono::milliseconds(30);
        stream(6);
        QCOMPARE(batcher.interval(), std::chrono::milliseconds(200));

        cost = std::chrono::milliseconds(0);
        QTest::qWait(450);
        stream(1);
        QCOMPARE(batcher.interval(), FrameBatcher::frameInterval);
    }
};

TOVRA_TEST_MAIN(FrameBatcherTest, QCoreApplication)
#include "tst_framebatcher.moc"
