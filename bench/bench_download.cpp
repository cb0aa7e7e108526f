// Model download with verification: a 1 GiB file from the loopback file server,
// fetched by the model manager through the hub's redirect (which names the file's
// SHA-256, checked as the bytes arrive) and by `curl -s URL | sha256sum` from the
// same server. Prints both throughputs and the app's peak memory growth.
//
//   bench_download [--size-mib N] [--rounds N]
//
// The file is made in a temporary folder at start and removed at exit.
#include "models/modelmanager.h"
#include "tests/fixtures/fileserver.h"

#include "bench/measure.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {
constexpr double mib = 1024.0 * 1024.0;

// Resets the peak resident size to the current one (Linux 4.0 and later).
bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

bool makeFile(const QString &path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator generator{7u};
    for (qint64 written = 0; written < bytes; written += block.size()) {
        generator.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        const qint64 count = std::min<qint64>(block.size(), bytes - written);
        if (file.write(block.constData(), count) != count)
            return false;
    }
    return true;
}

double curlSeconds(const QString &url)
{
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("bash"),
               {QStringLiteral("-c"),
                QStringLiteral("set -o pipefail; curl -s --fail '%1' | sha256sum").arg(url)});
    if (!curl.waitForFinished(600000) || curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed: %s\n", curl.readAllStandardError().constData());
        std::exit(1);
    }
    return timer.nsecsElapsed() / 1e9;
}

struct AppRun
{
    double seconds = 0;
    qint64 peakGrowth = 0;
    double longestStallMs = 0; // the longest the event loop went without turning
};

AppRun appRun(ModelManager &manager)
{
    const HFModel model = manager.models().first();
    const QString dest = ModelManager::filePath(model, model.variants.first());
    QFile::remove(dest);
    manager.refreshDownloadStatus();

    const bool peakReset = resetPeak();
    const qint64 baseline = bench::statusBytes("VmRSS");
    QElapsedTimer timer;
    timer.start();
    manager.startDownload(model, model.variants.first());
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!manager.models().first().variants.first().isDownloading)
            QCoreApplication::exit(0);
    });
    poll.start(10);
    bench::StallMeter stalls; // of the window
    stalls.start();
    QCoreApplication::exec();
    const double seconds = timer.nsecsElapsed() / 1e9;
    const qint64 peak = bench::statusBytes("VmHWM");
    if (manager.lastError() || !QFile::exists(dest)) {
        std::fprintf(stderr, "download failed: %s\n", qPrintable(manager.lastErrorText()));
        std::exit(1);
    }
    QFile::remove(dest);
    if (!peakReset)
        std::fprintf(
            stderr, "note: could not reset the peak resident size; growth is measured from start\n");
    return AppRun{seconds, peak - baseline, stalls.longestMs()};
}
} // namespace

int main(int argc, char **argv)
{
    // Keep the app's data folder private to this run.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tovra AI"));

    qint64 sizeMiB = 1024;
    int rounds = 5;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--size-mib"))
            sizeMiB = args[i + 1].toLongLong();
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[i + 1].toInt());
    }

    ModelManager manager;
    const HFModel model = manager.models().first();
    QTemporaryDir served;
    const QString source = served.filePath(model.variants.first().filename);
    const qint64 bytes = sizeMiB * 1024 * 1024;
    if (!makeFile(source, bytes)) {
        std::fprintf(stderr,
                     "could not write %lld MiB to %s\n",
                     static_cast<long long>(sizeMiB),
                     qPrintable(source));
        return 1;
    }
    FileServer server(served.path(), QStringLiteral(FILE_SERVER_PATH));
    if (!server.isRunning()) {
        std::fprintf(stderr, "file server did not start\n");
        return 1;
    }
    // curl fetches from the file host directly; the app goes through the hub's redirect.
    qputenv("HF_ENDPOINT", server.baseURL(QStringLiteral("files")).toUtf8());
    const QString url = ModelManager::downloadURL(model, model.variants.first()).toString();
    qputenv("HF_ENDPOINT", server.baseURL(QStringLiteral("redirect")).toUtf8());

    // First runs of each: they warm the page cache, and the app's first run, which
    // makes all its first-time allocations, gives the peak memory growth. Later runs
    // reuse what that run left resident, so their growth reads as zero.
    curlSeconds(url);
    const AppRun first = appRun(manager);
    qint64 worstGrowth = first.peakGrowth;
    double worstStall = first.longestStallMs;
    std::printf("  first run: ModelManager %7.1f MiB/s, peak growth %.1f MiB, stall %.1f ms\n",
                double(bytes) / mib / first.seconds,
                double(first.peakGrowth) / mib,
                first.longestStallMs);
    QList<double> curlTimes;
    QList<double> appTimes;
    // Alternating rounds, so that the disk's write-back and the other load on the
    // machine fall on both alike.
    for (int round = 0; round < rounds; ++round) {
        curlTimes << curlSeconds(url);
        const AppRun run = appRun(manager);
        appTimes << run.seconds;
        worstGrowth = std::max(worstGrowth, run.peakGrowth);
        worstStall = std::max(worstStall, run.longestStallMs);
        std::printf(
            "  round %d: curl | sha256sum %7.1f MiB/s, ModelManager %7.1f MiB/s, stall %.1f ms\n",
            round + 1,
            double(bytes) / mib / curlTimes.last(),
            double(bytes) / mib / appTimes.last(),
            run.longestStallMs);
    }
    std::sort(curlTimes.begin(), curlTimes.end());
    std::sort(appTimes.begin(), appTimes.end());
    const double curlRate = double(bytes) / mib / curlTimes[curlTimes.size() / 2];
    const double appRate = double(bytes) / mib / appTimes[appTimes.size() / 2];
    std::printf(
        "download and SHA-256 verification of %lld MiB over loopback, median of %d rounds\n",
        static_cast<long long>(sizeMiB),
        rounds);
    std::printf("  curl | sha256sum: %8.1f MiB/s\n", curlRate);
    std::printf("  ModelManager:     %8.1f MiB/s\n", appRate);
    std::printf("  ratio:            %8.2f        (target at least 0.90)\n", appRate / curlRate);
    std::printf("  peak memory growth during a download: %.1f MiB (target under 50 MiB)\n",
                double(worstGrowth) / mib);
    std::printf("  longest event-loop stall during a download: %.1f ms (target at most 16 ms)\n",
                worstStall);
    return 0;
}
