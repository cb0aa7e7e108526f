// Chat archive: 1,000 sessions of 100 messages each. Prints the time to encode, to
// save the whole archive on one thread (encode, write, flush), and the UI thread's
// share of one save of the store after a turn changed one session, with the time until
// that save is on disk; then load (read, decode) next to the time nlohmann/json alone
// needs to parse the same bytes, and the store's start-up.
#include "core/agentstate.h"
#include "core/archive.h"
#include "platform/preferences.h"

#include "bench/samplearchive.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <functional>

namespace {
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1.0e6;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

double bestOf(int runs, const std::function<void()> &work)
{
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}
} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tovra AI"));
    QCoreApplication::setApplicationName(QStringLiteral("Tovra AI"));

    const QList<ChatSession> sessions = makeArchive(1000, 100);
    QByteArray bytes;
    const double encodeMs = bestOf(5, [&] { bytes = encodeSessions(sessions); });
    const double saveMs = bestOf(5, [&] {
        Preferences::setData(QStringLiteral("chatSessions"), encodeSessions(sessions));
        Preferences::sync();
    });
    const double floorMs = bestOf(5, [&] {
        const auto document = nlohmann::json::parse(bytes.cbegin(), bytes.cend());
        if (document.empty())
            std::abort();
    });
    std::optional<QList<ChatSession>> decoded;
    const double decodeMs = bestOf(5, [&] { decoded = decodeSessions(bytes); });
    const double loadMs = bestOf(5, [&] {
        decoded = decodeSessions(*Preferences::data(QStringLiteral("chatSessions")));
    });
    if (!decoded || *decoded != sessions) {
        std::fprintf(stderr, "archive did not round-trip\n");
        return 1;
    }
    // A whole start-up of the store, settings file read included; the sessions come later.
    const auto waitForSessions = [](AgentState &state) {
        while (!state.sessionsLoaded())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    QList<double> storeMs;
    QList<double> sessionsInMs;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        AgentState state;
        storeMs.append(timer.nsecsElapsed() / 1e6);
        waitForSessions(state);
        sessionsInMs.append(timer.nsecsElapsed() / 1e6);
        // The bytes for the first save are still being made: not the next start's work.
        QThreadPool::globalInstance()->waitForDone();
    }

    // A turn's save: one session changed. The UI thread's CPU time covers the request, the
    // encoding of the changed session and the continuation after the worker's write.
    AgentState state;
    waitForSessions(state);
    QSignalSpy written(state.sessionArchive(), &SessionArchive::written);
    QList<double> uiMs;
    QList<double> onDiskMs;
    for (int i = 0; i < 21; ++i) {
        state.appendMessage(
            Message::make(Role::user, QStringLiteral("one more question %1").arg(i)));
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = threadCpuMs();
        state.syncActiveSession();
        if (!written.wait(10000))
            return 1;
        uiMs.append(threadCpuMs() - cpu0);
        onDiskMs.append(wall.nsecsElapsed() / 1e6);
    }

    std::printf("archive: 1000 sessions x 100 messages, %.1f MB\n", bytes.size() / 1048576.0);
    std::printf("  encode                 %8.1f ms\n", encodeMs);
    std::printf("  whole save on one thread (encode+write+sync, as every save was) %6.1f ms\n",
                saveMs);
    std::printf("  one save after a turn, UI thread (median of 21) %6.2f ms   target < 8 ms\n",
                median(uiMs));
    std::printf("  one save after a turn, asked for until on disk (median) %6.1f ms   target "
                "< 250 ms\n",
                median(onDiskMs));
    std::printf("  json parse alone (floor) %6.1f ms\n", floorMs);
    std::printf("  decode                 %8.1f ms\n", decodeMs);
    std::printf("  load (read+decode)     %8.1f ms   %.2fx floor, target <= 2x\n",
                loadMs,
                loadMs / floorMs);
    std::printf("  store start-up (median of 3) %8.1f ms, the sessions in after %.1f ms\n",
                median(storeMs),
                median(sessionsInMs));
    return 0;
}
