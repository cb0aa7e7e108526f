// Downloads from a loopback stand-in for the model hub: redirects, HTTPS, failures,
// cancels, parallel transfers and resumes, with no partial file ever in the models folder.
#include "models/modelmanager.h"
#include "tests/fixtures/fileserver.h"
#include "tests/support/testenvironment.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpServer>

using namespace std::chrono_literals;
using nlohmann::json;

namespace {
QByteArray digest(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// Every regular file under a folder, relative names.
QStringList filesUnder(const QString &folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(folder).relativeFilePath(it.next());
    return names;
}

// Watches one row of the list: the progress it shows while downloading, every file in the
// models folder meanwhile, and progress announced for several rows at once.
class RowWatch : public QObject
{
public:
    RowWatch(ModelManager &manager, int row)
    {
        ModelListModel *list = manager.modelList();
        connect(list,
                &QAbstractItemModel::dataChanged,
                this,
                [this, list, row](const QModelIndex &first,
                                  const QModelIndex &last,
                                  const QList<int> &roles) {
                    if (!roles.contains(ModelListModel::DownloadProgressRole))
                        return;
                    wideChanges += first.row() != last.row();
                    const QModelIndex index = list->index(row);
                    if (row < first.row() || row > last.row()
                        || !list->data(index, ModelListModel::IsDownloadingRole).toBool())
                        return;
                    progress << list->data(index, ModelListModel::DownloadProgressRole).toDouble();
                    for (const QString &name : filesUnder(ModelManager::modelsDirectory()))
                        filesSeen.insert(name);
                });
    }
    QList<double> progress;
    QSet<QString> filesSeen;
    QPointer<HFDownloadSession> session;
    int wideChanges = 0;
};
} // namespace

class ModelDownloadsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_served;
    std::unique_ptr<FileServer> m_server;
    QStringList m_sources; // served copies, by catalogue position

    void useMode(const QString &mode) { qputenv("HF_ENDPOINT", m_server->baseURL(mode).toUtf8()); }
    QString source(int index) const { return m_sources.at(index); }
    static const ModelVariant &variant(const ModelManager &manager, int index)
    {
        return manager.models()[index].variants[0];
    }
    static QString destination(const ModelManager &manager, int index)
    {
        return ModelManager::filePath(manager.models()[index], variant(manager, index));
    }
    static QString partial(const ModelManager &manager, int index)
    {
        return ModelManager::partialFilePath(manager.models()[index], variant(manager, index));
    }
    static void start(ModelManager &manager, int index)
    {
        manager.startDownload(manager.models()[index], variant(manager, index));
    }
    static bool finishes(const ModelManager &manager, int index)
    {
        return QTest::qWaitFor([&] { return !variant(manager, index).isDownloading; }, 30000);
    }
    // Finished without error, with the served bytes in place.
    bool arrived(const ModelManager &manager, int index) const
    {
        return finishes(manager, index) && !manager.lastError()
               && variant(manager, index).isDownloaded
               && readTestFile(destination(manager, index)) == readTestFile(source(index));
    }
    static void place(const QString &from, const QString &to)
    {
        QVERIFY(writeTestFile(to, readTestFile(from)));
    }
    json requestsFor(const ModelManager &manager, int index)
    {
        json result = json::array();
        for (const json &request : m_server->requests())
            if (request["file"] == variant(manager, index).filename.toStdString())
                result.push_back(request);
        return result;
    }

private slots:
    // Serves the catalogue's files: the first a real model, the others random bytes in sizes
    // that are no multiple of any buffer, so that misplaced ranges show.
    void initTestCase()
    {
        ModelManager manager;
        for (int i = 0; i < manager.models().size(); ++i) {
            m_sources << m_served.filePath(variant(manager, i).filename);
            if (i == 0) {
                QVERIFY(QFile::copy(QStringLiteral(TOVRA_FIXTURES "/stories260K.gguf"),
                                    m_sources.last()));
                continue;
            }
            QByteArray bytes(i * 1024 * 1024 + 4099, Qt::Uninitialized);
            QRandomGenerator(quint32(i))
                .fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
            QVERIFY(writeTestFile(m_sources.last(), bytes));
        }
        m_server = std::make_unique<FileServer>(m_served.path());
        QVERIFY2(m_server->isRunning(), "file server did not start (FILE_SERVER)");
    }

    void init()
    {
        failOnUnexpectedWarnings();
        QDir(ModelManager::modelsDirectory()).removeRecursively();
        QDir(ModelManager::partialDirectory()).removeRecursively();
        m_server->control("/control/reset");
        m_server->control("/control/slow?chunk=16384&delay=20");
        m_server->control("/control/version?value=1");
        useMode(QStringLiteral("files"));
    }

    void downloads_data()
    {
        // "requests": one per hop
        columns<QString, bool, QString, int>("mode", "reportsProgress", "setup", "requests");
        addRow("length and entity tag", "files", true, "", 1);
        addRow("no length", "chunked", false, "", 1);
        addRow("hub digest, redirect to file host", "redirect", true, "", 2);
        addRow("two redirects", "redirect2", true, "", 3);
        addRow("hub size without digest", "nodigest", true, "", 2);
        addRow("slow body", "slow", true, "", 1);
        addRow("replaces an existing file", "files", true, "replaces", 1);
        addRow("models folder on another file system", "redirect", true, "volume", 2);
    }

    void downloads()
    {
        const auto [mode, reportsProgress] = fetch<QString, bool>("mode", "reportsProgress");
        const auto [setup, requests] = fetch<QString, int>("setup", "requests");
        const bool replaces = setup == QLatin1String("replaces");
        useMode(mode);
        // The models folder as a link to another file system: the finished file is copied.
        QTemporaryDir volume(QStringLiteral("/dev/shm/tovra-models-XXXXXX"));
        const auto unlink = qScopeGuard([] { QFile::remove(ModelManager::modelsDirectory()); });
        if (setup == QLatin1String("volume")) {
            const QString models = ModelManager::modelsDirectory();
            QDir(models).removeRecursively();
            QVERIFY(QFile::link(volume.path(), models));
        }
        ModelManager manager;
        const QString name
            = QDir(ModelManager::modelsDirectory()).relativeFilePath(destination(manager, 0));
        if (replaces)
            place(source(1), destination(manager, 0));
        manager.refreshDownloadStatus();
        QCOMPARE(variant(manager, 0).isDownloaded, replaces);
        RowWatch watch(manager, 0);
        start(manager, 0);
        QVERIFY(variant(manager, 0).isDownloading && variant(manager, 0).downloadStartTime);
        QPointer<HFDownloadSession> session = manager.activeSession(variant(manager, 0).id);
        QVERIFY(session);
        // A second start of the same variant changes nothing.
        const ModelVariant before = variant(manager, 0);
        start(manager, 0);
        QCOMPARE(manager.activeSession(variant(manager, 0).id), session.data());
        QCOMPARE(variant(manager, 0), before);
        QVERIFY2(arrived(manager, 0), qPrintable(manager.lastErrorText()));

        const ModelVariant &done = variant(manager, 0);
        QVERIFY(!done.downloadStartTime);
        QCOMPARE(done.downloadProgress, 1.0);
        QCOMPARE(manager.activeDownloadCount(), 0);
        // Nothing but a complete file ever shows in the models folder.
        QCOMPARE(watch.filesSeen, replaces ? QSet<QString>{name} : QSet<QString>());
        QCOMPARE(filesUnder(ModelManager::modelsDirectory()), QStringList{name});
        QCOMPARE(filesUnder(ModelManager::partialDirectory()), QStringList());
        QCOMPARE(watch.wideChanges, 0);
        const qint64 size = QFileInfo(source(0)).size();
        QCOMPARE(done.totalBytes, reportsProgress ? size : 0);
        if (reportsProgress) {
            QVERIFY(!watch.progress.isEmpty()
                    && std::is_sorted(watch.progress.cbegin(), watch.progress.cend()));
            QCOMPARE(watch.progress.last(), 1.0);
            QCOMPARE(done.downloadedBytes, size);
        } else {
            QCOMPARE(watch.progress, QList<double>());
        }
        QTRY_VERIFY(session.isNull()); // released once finished

        QCOMPARE(HFDownloadSession::userAgent("macOS"), "Tovra AI/1.0 (macOS; like Safari)");
        const json served = requestsFor(manager, 0);
        QCOMPARE(served.size(), size_t(requests));
        for (const json &request : served) {
            // The platform it really runs on.
            QCOMPARE(request["userAgent"].get<std::string>(), std::string("Tovra AI/1.0 (Linux)"));
            QCOMPARE(request["accept"].get<std::string>(), std::string("*/*"));
            QCOMPARE(request["range"].get<std::string>(), std::string());
        }
    }

    // A file already in place survives every failed download untouched; only a failure
    // after data arrived keeps the partial file (for a resume).
    void failures_data()
    {
        // "expected": "*" matches any text
        columns<QString, int, QString, bool>("mode", "totalLimitMs", "expected", "keepsPartial");
        const QString timedOut = "Download failed: The request timed out.";
        addRow("404", "404", 0, "Download failed: HTTP 404 Not Found", false);
        addRow("500", "500", 0, "Download failed: HTTP 500 Internal Server Error", false);
        QTest::newRow("not enough disk space")
            << "huge" << 0
            << "Download failed: not enough disk space (needs 1048576.0 GB, * GB free)" << false;
        addRow("dropped halfway", "drop", 0, "Download failed: *", true);
        addRow("no data for the idle limit", "stall", 0, timedOut, true);
        addRow("total time limit", "slow", 400, timedOut, true);
        const QString refused = "Download failed: Connection refused";
        addRow("nothing listening", "http://127.0.0.1:9/", 0, refused, false);
        QTest::newRow("corrupted body")
            << "corrupt" << 0
            << "Download failed: the file's checksum does not match the hub's (expected %E, got %G)"
            << false;
        QTest::newRow("more than the hub's size")
            << "undersize" << 0
            << "Download failed: the server sent more than the announced 1052674 bytes" << false;
        QTest::newRow("no address to build")
            << "http://[::1" << 0 << "Download failed: “http://[::1/” is not a valid hub address."
            << false;
        QTest::newRow("size unlike the hub's")
            << "wrongsize" << 0
            << "Download failed: the file's size does not match the hub's (expected 1052676 "
               "bytes, got 1052675)"
            << false;
    }

    void failures()
    {
        auto [mode, totalLimitMs, expected]
            = fetch<QString, int, QString>("mode", "totalLimitMs", "expected");
        QByteArray flipped = readTestFile(source(1));
        flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x5a);
        expected.replace(QStringLiteral("%E"), QString::fromLatin1(digest(readTestFile(source(1)))))
            .replace(QStringLiteral("%G"), QString::fromLatin1(digest(flipped)));
        if (mode.startsWith(QLatin1String("http"))) // 9, the discard port: nothing listens
            qputenv("HF_ENDPOINT", mode.toUtf8());
        else
            useMode(mode);
        ModelManager manager;
        manager.setTransferTimeouts(1s,
                                    totalLimitMs ? std::chrono::milliseconds(totalLimitMs) : 7200s);
        const QString dest = destination(manager, 1);
        place(source(2), dest);
        manager.refreshDownloadStatus();
        QSignalSpy errors(&manager, &ModelManager::lastErrorChanged);
        start(manager, 1);
        QVERIFY(finishes(manager, 1));

        const QString error = manager.lastErrorText();
        const QStringList parts = expected.split(QLatin1Char('*'));
        QVERIFY2(parts.size() == 1 ? error == expected
                                   : error.startsWith(parts[0]) && error.endsWith(parts[1])
                                         && error.size() > expected.size(),
                 qPrintable(error));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(variant(manager, 1).downloadProgress, 0.0);
        QVERIFY(!variant(manager, 1).downloadStartTime);
        QCOMPARE(manager.activeDownloadCount(), 0);
        QCOMPARE(readTestFile(dest), readTestFile(source(2)));
        QCOMPARE(filesUnder(ModelManager::modelsDirectory()),
                 QStringList{QDir(ModelManager::modelsDirectory()).relativeFilePath(dest)});
        QTEST(QFile::exists(partial(manager, 1)), "keepsPartial");
    }

    void parallelDownloads()
    {
        useMode(QStringLiteral("slow"));
        m_server->control("/control/slow?chunk=65536&delay=10");
        ModelManager manager;
        RowWatch first(manager, 1);
        RowWatch second(manager, 2);
        start(manager, 1);
        start(manager, 2);
        QVERIFY(manager.activeSession(variant(manager, 1).id)
                != manager.activeSession(variant(manager, 2).id));
        // Both make progress at once.
        QTRY_VERIFY_WITH_TIMEOUT(first.progress.size() > 2 && second.progress.size() > 2, 30000);
        QCOMPARE(manager.activeDownloadCount(), 2);
        for (const int index : {1, 2}) {
            QVERIFY2(arrived(manager, index), qPrintable(manager.lastErrorText()));
            QCOMPARE(variant(manager, index).totalBytes, QFileInfo(source(index)).size());
        }
    }

    void cancel_data()
    {
        QTest::addColumn<bool>("restart");
        addRow("cancel", false);
        addRow("restart right after", true);
    }

    // A cancel resets the row and leaves no file and no error; the cancelled transfer's late
    // completion never touches a newer download of the same file.
    void cancel()
    {
        QFETCH(bool, restart);
        useMode(QStringLiteral("slow"));
        ModelManager manager;
        RowWatch watch(manager, 1);
        start(manager, 1);
        watch.session = manager.activeSession(variant(manager, 1).id);
        QTRY_VERIFY_WITH_TIMEOUT(!watch.progress.isEmpty(), 30000);
        QVERIFY(QFile::exists(partial(manager, 1)));
        manager.cancelDownload(manager.models()[1], variant(manager, 1));
        const ModelVariant &row = variant(manager, 1);
        QCOMPARE(manager.activeDownloadCount(), 0);
        QVERIFY(!row.isDownloading && !row.downloadStartTime && !manager.lastError());
        QCOMPARE(row.downloadProgress, 0.0);
        QCOMPARE(row.downloadedBytes + row.totalBytes, 0);
        if (!restart) {
            QTRY_VERIFY(!watch.session);
            QVERIFY2(!manager.lastError(), qPrintable(manager.lastErrorText()));
            QVERIFY(!variant(manager, 1).isDownloading && !variant(manager, 1).isDownloaded);
            QCOMPARE(filesUnder(ModelManager::modelsDirectory())
                         + filesUnder(ModelManager::partialDirectory()),
                     QStringList());
            return;
        }
        start(manager, 1);
        QPointer<HFDownloadSession> newer = manager.activeSession(variant(manager, 1).id);
        QTest::qWait(100); // the old completion is delivered in here
        QVERIFY(newer && variant(manager, 1).isDownloading);
        QCOMPARE(manager.activeSession(variant(manager, 1).id), newer.data());
        QVERIFY2(arrived(manager, 1), qPrintable(manager.lastErrorText()));
    }

    void resume_data()
    {
        // "newVersion": the file's validator changes between the two tries; "rewritten": and its
        // content and length with it; "resumable": the dropped try keeps its partial file, the
        // next sends a Range; "status": of the second try's last answer
        columns<QString, bool, bool, bool>("mode", "newVersion", "rewritten", "resumable");
        columns<int>("status");
        addRow("entity tag", "files", false, false, true, 206);
        addRow("last-modified", "lastmod", false, false, true, 206);
        addRow("through redirect, hashing the kept part", "redirect", false, false, true, 206);
        addRow("file changed", "files", true, false, true, 200);
        addRow("server ignores range", "norange", false, false, true, 200);
        // Range honoured, If-Range ignored: the new version's 206 must not be spliced on.
        addRow("file changed, server ignores if-range", "blindrange", true, true, true, 200);
        addRow("weak entity tag", "weak", false, false, false, 200);
        addRow("no validator", "novalidator", false, false, false, 200);
    }

    void resume()
    {
        const auto [mode, newVersion] = fetch<QString, bool>("mode", "newVersion");
        const auto [rewritten, resumable, status]
            = fetch<bool, bool, int>("rewritten", "resumable", "status");
        useMode(mode);
        ModelManager manager;
        m_server->control("/control/drop-next?count=1");
        start(manager, 1);
        QVERIFY(finishes(manager, 1) && manager.lastError());
        QCOMPARE(QFile::exists(partial(manager, 1)), resumable);
        QCOMPARE(filesUnder(ModelManager::modelsDirectory()), QStringList());
        const qint64 kept = QFileInfo(partial(manager, 1)).size();

        if (newVersion)
            m_server->control("/control/version?value=2");
        const QByteArray original = readTestFile(source(1));
        const auto restore = qScopeGuard([&] { writeTestFile(source(1), original); });
        if (rewritten)
            QVERIFY(writeTestFile(source(1),
                                  QByteArray(original).replace('\x01', '\x02') + "appended"));
        m_server->control("/control/reset");
        manager.clearLastError();
        RowWatch watch(manager, 1);
        start(manager, 1);
        QVERIFY2(arrived(manager, 1), qPrintable(manager.lastErrorText()));
        const qint64 size = QFileInfo(source(1)).size();
        QCOMPARE(variant(manager, 1).downloadedBytes, size);
        QCOMPARE(filesUnder(ModelManager::partialDirectory()), QStringList());

        const json requests = requestsFor(manager, 1);
        QVERIFY(!requests.empty());
        QCOMPARE(requests.back()["status"].get<int>(), status);
        const json &first = requests.front();
        QCOMPARE(first["range"].get<std::string>(),
                 resumable ? "bytes=" + std::to_string(kept) + "-" : std::string());
        QCOMPARE(first["ifRange"].get<std::string>().empty(), !resumable);
        // Picks up where it stopped; the time left is reckoned from this transfer's bytes.
        QCOMPARE(variant(manager, 1).resumedBytes, status == 206 ? kept : 0);
        if (status == 206)
            QVERIFY(watch.progress.first() >= double(kept) / double(size));
    }

    void https_data()
    {
        QTest::addColumn<bool>("trusted");
        addRow("trusted certificate", true);
        addRow("unknown certificate", false);
    }

    // The hub is HTTPS: the certificate (of the test CA) is checked, and a trusted one downloads.
    void https()
    {
        QFETCH(bool, trusted);
        const QString tls = QStringLiteral(TOVRA_FIXTURES "/tls/");
        FileServer secure(m_served.path(),
                          qEnvironmentVariable("FILE_SERVER"),
                          tls + "server.pem",
                          tls + "server-key.pem");
        QVERIFY(secure.isRunning());
        const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
        const auto restore
            = qScopeGuard([original] { QSslConfiguration::setDefaultConfiguration(original); });
        if (trusted) {
            QSslConfiguration config = original;
            config.addCaCertificates(QSslCertificate::fromPath(tls + "ca.pem"));
            QSslConfiguration::setDefaultConfiguration(config);
        }
        qputenv("HF_ENDPOINT", secure.baseURL(QStringLiteral("redirect")).toUtf8());
        ModelManager manager;
        start(manager, 0);
        QCOMPARE(arrived(manager, 0), trusted);
        QCOMPARE(manager.lastError().has_value(), !trusted);
        QCOMPARE(filesUnder(ModelManager::modelsDirectory()).size(), trusted ? 1 : 0);
    }

    // Quitting is never held by file work: the hash of a kept part (64 GB) stops with its
    // download, and so does a copy into place from another file system.
    void fileWorkStops()
    {
        QTcpServer silent; // takes the request, never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        qputenv("HF_ENDPOINT", "http://127.0.0.1:" + QByteArray::number(silent.serverPort()) + "/");
        auto manager = std::make_unique<ModelManager>();
        QFile kept(partial(*manager, 1));
        QVERIFY(QDir().mkpath(QFileInfo(kept).path()) && kept.open(QIODevice::WriteOnly)
                && kept.resize(qint64(64) << 30));
        PartialFile::writeRecord(kept.fileName() + ".validator", {"\"v1\"", qint64(64) << 30, {}});
        start(*manager, 1);
        QTest::qWait(300);
        manager.reset();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(5000));
        QTemporaryDir volume(QStringLiteral("/dev/shm/tovra-install-XXXXXX"));
        QVERIFY(
            !PartialFile::install(source(1), volume.filePath("x"), [] { return true; }).isEmpty());
        QCOMPARE(filesUnder(volume.path()), QStringList());
        QVERIFY(QFile::exists(source(1)));
    }

    void managerGoneDuringDownload()
    {
        useMode(QStringLiteral("slow"));
        auto manager = std::make_unique<ModelManager>();
        RowWatch watch(*manager, 0);
        start(*manager, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!watch.progress.isEmpty(), 30000);
        manager.reset();
        QTest::qWait(200);
        QCOMPARE(filesUnder(ModelManager::modelsDirectory()), QStringList());
    }
};

TOVRA_TEST_MAIN(ModelDownloadsTest, QCoreApplication)
#include "tst_modeldownloads.moc"
