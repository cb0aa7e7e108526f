#include "fileserver.h"
#include "modelmanager.h"
#include "testenvironment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using nlohmann::json;

namespace {
QByteArray digest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
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

// Watches one row of the list: every progress value it shows, and whether the
// models folder ever held anything but complete files while a download ran.
class RowWatch : public QObject
{
public:
    RowWatch(ModelManager &manager, int row, QStringList allowedFiles = {})
    {
        ModelListModel *list = manager.modelList();
        connect(list, &QAbstractItemModel::dataChanged, this,
                [this, list, row, allowedFiles](const QModelIndex &first, const QModelIndex &last,
                                                const QList<int> &roles) {
                    if (roles.contains(ModelListModel::DownloadProgressRole) && first.row() != last.row())
                        ++wideChanges;
                    if (row < first.row() || row > last.row() || !roles.contains(ModelListModel::DownloadProgressRole))
                        return;
                    const QModelIndex index = list->index(row);
                    if (list->data(index, ModelListModel::IsDownloadingRole).toBool()) {
                        progress << list->data(index, ModelListModel::DownloadProgressRole).toDouble();
                        const QStringList present = filesUnder(ModelManager::modelsDirectory());
                        for (const QString &name : present) {
                            if (!allowedFiles.contains(name))
                                strayFiles << name;
                        }
                    }
                });
    }
    QList<double> progress;
    QStringList strayFiles;
    int wideChanges = 0; // progress announced for more than one row at once
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
    static QString destination(const ModelManager &manager, int index)
    {
        const HFModel &model = manager.models()[index];
        return ModelManager::filePath(model, model.variants[0]);
    }
    static QString partial(const ModelManager &manager, int index)
    {
        const HFModel &model = manager.models()[index];
        return ModelManager::partialFilePath(model, model.variants[0]);
    }
    static void start(ModelManager &manager, int index)
    {
        manager.startDownload(manager.models()[index], manager.models()[index].variants[0]);
    }
    static const ModelVariant &variant(const ModelManager &manager, int index)
    {
        return manager.models()[index].variants[0];
    }
    json requestsFor(const QString &file)
    {
        json result = json::array();
        for (const json &request : m_server->requests()) {
            if (request["file"] == file.toStdString())
                result.push_back(request);
        }
        return result;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_served.isValid());
        ModelManager manager;
        const QString gguf = QDir(qEnvironmentVariable("TOVRA_TESTDATA")).filePath(QStringLiteral("stories260K.gguf"));
        QVERIFY2(QFile::exists(gguf), qPrintable(gguf));
        for (int i = 0; i < manager.models().size(); ++i) {
            const QString path = m_served.filePath(variant(manager, i).filename);
            if (i == 0) {
                QVERIFY(QFile::copy(gguf, path));
            } else {
                // Sizes that are no multiple of any buffer, with bytes that show misplaced ranges.
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                QByteArray bytes(i * 1024 * 1024 + 4099, Qt::Uninitialized);
                QRandomGenerator generator{quint32(i)};
                generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
                QCOMPARE(file.write(bytes), bytes.size());
            }
            m_sources << path;
        }
        m_server = std::make_unique<FileServer>(m_served.path());
        QVERIFY2(m_server->isRunning(), "file server did not start (FILE_SERVER)");
    }

    void init()
    {
        QDir(ModelManager::modelsDirectory()).removeRecursively();
        QDir(ModelManager::partialDirectory()).removeRecursively();
        m_server->control("/control/reset");
        m_server->control("/control/slow?chunk=16384&delay=20");
        m_server->control("/control/version?value=1");
        useMode(QStringLiteral("files"));
    }

    void downloads_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("reportsProgress");
        QTest::newRow("length and entity tag") << "files" << true;
        QTest::newRow("last-modified only") << "lastmod" << true;
        QTest::newRow("no validator") << "novalidator" << true;
        QTest::newRow("no length") << "chunked" << false;
        QTest::newRow("redirect to file host") << "redirect" << true;
        QTest::newRow("two redirects") << "redirect2" << true;
        QTest::newRow("slow body") << "slow" << true;
    }

    void downloads()
    {
        QFETCH(QString, mode);
        QFETCH(bool, reportsProgress);
        useMode(mode);
        ModelManager manager;
        RowWatch watch(manager, 0);
        start(manager, 0);
        QVERIFY(variant(manager, 0).isDownloading);
        QVERIFY(variant(manager, 0).downloadStartTime);
        QPointer<HFDownloadSession> session = manager.activeSession(variant(manager, 0).id);
        QVERIFY(session);
        QTRY_VERIFY_WITH_TIMEOUT(!variant(manager, 0).isDownloading, 30000);

        QVERIFY2(!manager.lastError(), qPrintable(manager.lastErrorText()));
        const ModelVariant &done = variant(manager, 0);
        QVERIFY(done.isDownloaded);
        QCOMPARE(done.downloadProgress, 1.0);
        QVERIFY(!done.downloadStartTime);
        QCOMPARE(manager.activeDownloadCount(), 0);
        QCOMPARE(digest(destination(manager, 0)), digest(source(0)));
        QCOMPARE(watch.strayFiles, QStringList());
        QCOMPARE(watch.wideChanges, 0);
        QCOMPARE(filesUnder(ModelManager::partialDirectory()), QStringList());
        const qint64 size = QFileInfo(source(0)).size();
        if (reportsProgress) {
            QVERIFY(!watch.progress.isEmpty());
            QVERIFY(std::is_sorted(watch.progress.cbegin(), watch.progress.cend()));
            QCOMPARE(watch.progress.last(), 1.0);
            QCOMPARE(done.totalBytes, size);
            QCOMPARE(done.downloadedBytes, size);
        } else {
            QCOMPARE(watch.progress, QList<double>());
            QCOMPARE(done.totalBytes, 0);
        }
        // The finished download's session is released.
        QTRY_VERIFY(session.isNull());

        const json requests = requestsFor(variant(manager, 0).filename);
        QVERIFY(!requests.empty());
        for (const json &request : requests) {
            QCOMPARE(request["userAgent"].get<std::string>(), std::string("Tovra AI/1.0 (macOS; like Safari)"));
            QCOMPARE(request["accept"].get<std::string>(), std::string("*/*"));
            QCOMPARE(request["range"].get<std::string>(), std::string());
        }
    }

    void failures_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("expected"); // a trailing "*" matches any rest
        QTest::addColumn<bool>("keepsPartial");
        QTest::newRow("404") << "404" << "Download failed: HTTP 404 Not Found" << false;
        QTest::newRow("500") << "500" << "Download failed: HTTP 500 Internal Server Error" << false;
        QTest::newRow("not enough disk space")
            << "huge" << "Download failed: not enough disk space (needs 1048576.0 GB, *" << false;
        QTest::newRow("dropped halfway") << "drop" << "Download failed: *" << true;
        QTest::newRow("no data for the idle limit") << "stall" << "Download failed: The request timed out." << true;
        QTest::newRow("nothing listening") << "refused" << "Download failed: Connection refused" << false;
    }

    void failures()
    {
        QFETCH(QString, mode);
        QFETCH(QString, expected);
        QFETCH(bool, keepsPartial);
        if (mode == QLatin1String("refused")) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            const quint16 port = probe.serverPort();
            probe.close();
            qputenv("HF_ENDPOINT", QStringLiteral("http://127.0.0.1:%1/").arg(port).toUtf8());
        } else {
            useMode(mode);
        }
        ModelManager manager;
        manager.setTransferTimeouts(1s, 7200s);
        // A file already in place must survive a failed download untouched.
        const QString dest = destination(manager, 1);
        QDir().mkpath(QFileInfo(dest).absolutePath());
        QVERIFY(QFile::copy(source(2), dest));
        manager.refreshDownloadStatus();
        QSignalSpy errors(&manager, &ModelManager::lastErrorChanged);
        start(manager, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!variant(manager, 1).isDownloading, 30000);

        const QString error = manager.lastErrorText();
        if (expected.endsWith(QLatin1Char('*')))
            QVERIFY2(error.startsWith(expected.chopped(1)) && error.size() > expected.size(), qPrintable(error));
        else
            QCOMPARE(error, expected);
        if (mode == QLatin1String("huge"))
            QVERIFY2(error.endsWith(QStringLiteral(" GB free)")), qPrintable(error));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(variant(manager, 1).downloadProgress, 0.0);
        QVERIFY(!variant(manager, 1).downloadStartTime);
        QCOMPARE(manager.activeDownloadCount(), 0);
        QCOMPARE(digest(dest), digest(source(2)));
        QCOMPARE(filesUnder(ModelManager::modelsDirectory()), QStringList{QDir(ModelManager::modelsDirectory()).relativeFilePath(dest)});
        QCOMPARE(QFile::exists(partial(manager, 1)), keepsPartial);
        if (keepsPartial)
            QCOMPARE(QFileInfo(partial(manager, 1)).size(), QFileInfo(source(1)).size() / 2);
    }

    void totalTimeLimit()
    {
        useMode(QStringLiteral("slow"));
        ModelManager manager;
        manager.setTransferTimeouts(60s, 400ms);
        start(manager, 2);
        QTRY_VERIFY_WITH_TIMEOUT(!variant(manager, 2).isDownloading, 30000);
        QCOMPARE(manager.lastErrorText(), QStringLiteral("Download failed: The request timed out."));
        QVERIFY(!QFile::exists(destination(manager, 2)));
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
        QCOMPARE(manager.activeDownloadCount(), 2);
        QVERIFY(manager.activeSession(variant(manager, 1).id) != manager.activeSession(variant(manager, 2).id));
        QTRY_VERIFY_WITH_TIMEOUT(first.progress.size() > 2 && second.progress.size() > 2, 30000);
        QCOMPARE(manager.activeDownloadCount(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(!variant(manager, 1).isDownloading && !variant(manager, 2).isDownloading, 60000);
        QVERIFY2(!manager.lastError(), qPrintable(manager.lastErrorText()));
        QCOMPARE(digest(destination(manager, 1)), digest(source(1)));
        QCOMPARE(digest(destination(manager, 2)), digest(source(2)));
        QCOMPARE(variant(manager, 1).totalBytes, QFileInfo(source(1)).size());
        QCOMPARE(variant(manager, 2).totalBytes, QFileInfo(source(2)).size());
        QVERIFY(std::is_sorted(first.progress.cbegin(), first.progress.cend()));
        QVERIFY(std::is_sorted(second.progress.cbegin(), second.progress.cend()));
        QCOMPARE(first.wideChanges, 0);
    }

    void secondStartOfSameVariant()
    {
        useMode(QStringLiteral("slow"));
        ModelManager manager;
        start(manager, 0);
        HFDownloadSession *session = manager.activeSession(variant(manager, 0).id);
        const ModelVariant before = variant(manager, 0);
        start(manager, 0);
        QCOMPARE(manager.activeSession(variant(manager, 0).id), session);
        QCOMPARE(variant(manager, 0), before);
        QTRY_VERIFY_WITH_TIMEOUT(!variant(manager, 0).isDownloading, 30000);
        QVERIFY(variant(manager, 0).isDownloaded);
        QCOMPARE(requestsFor(variant(manager, 0).filename).size(), size_t(1));
    }

    void cancel()
    {
        useMode(QStringLiteral("slow"));
        ModelManager manager;
        RowWatch watch(manager, 1);
        start(manager, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!watch.progress.isEmpty(), 30000);
        QVERIFY(QFile::exists(partial(manager, 1)));
        manager.cancelDownload(manager.models()[1], variant(manager, 1));
        QCOMPARE(manager.activeDownloadCount(), 0);
        QVERIFY(!variant(manager, 1).isDownloading);
        QCOMPARE(variant(manager, 1).downloadProgress, 0.0);
        QCOMPARE(variant(manager, 1).downloadedBytes, 0);
        QCOMPARE(variant(manager, 1).totalBytes, 0);
        QVERIFY(!variant(manager, 1).downloadStartTime);
        // The cancelled transfer's completion arrives later, as a failure.
        QVERIFY(!manager.lastError());
        QTRY_COMPARE(manager.lastErrorText(), QStringLiteral("Download failed: Operation canceled"));
        QVERIFY(!variant(manager, 1).isDownloading);
        QVERIFY(!variant(manager, 1).isDownloaded);
        QCOMPARE(filesUnder(ModelManager::modelsDirectory()), QStringList());
        QCOMPARE(filesUnder(ModelManager::partialDirectory()), QStringList());
    }

    // The late completion of a cancelled transfer must leave a newer download of
    // the same file alone.
    void restartRightAfterCancel()
    {
        useMode(QStringLiteral("slow"));
        ModelManager manager;
        RowWatch watch(manager, 2);
        start(manager, 2);
        QTRY_VERIFY_WITH_TIMEOUT(!watch.progress.isEmpty(), 30000);
        manager.cancelDownload(manager.models()[2], variant(manager, 2));
        m_server->control("/control/slow?chunk=65536&delay=5");
        start(manager, 2);
        QPointer<HFDownloadSession> newer = manager.activeSession(variant(manager, 2).id);
        QVERIFY(newer);
        QTest::qWait(100); // the old completion is delivered in here
        QVERIFY(variant(manager, 2).isDownloading);
        QCOMPARE(manager.activeSession(variant(manager, 2).id), newer.data());
        QTRY_VERIFY_WITH_TIMEOUT(!variant(manager, 2).isDownloading, 30000);
        QVERIFY2(!manager.lastError(), qPrintable(manager.lastErrorText()));
        QVERIFY(variant(manager, 2).isDownloaded);
        QCOMPARE(digest(destination(manager, 2)), digest(source(2)));
    }

    void replacesExistingFile()
    {
        ModelManager manager;
        const QString dest = destination(manager, 0);
        QDir().mkpath(QFileInfo(dest).absolutePath());
        QVERIFY(QFile::copy(source(1), dest));
        manager.refreshDownloadStatus();
        QVERIFY(variant(manager, 0).isDownloaded);
        start(manager, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!variant(manager, 0).isDownloading, 30000);
        QVERIFY2(!manager.lastError(), qPrintable(manager.lastErrorText()));
        QCOMPARE(digest(dest), digest(source(0)));
        QCOMPARE(QDir(QFileInfo(dest).absolutePath()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(dest).fileName()});
    }

    void resume_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("newVersion");   // the file's validator changes between the two tries
        QTest::addColumn<bool>("keepsPartial"); // after the dropped try
        QTest::addColumn<bool>("sendsRange");   // on the second try
        QTest::addColumn<int>("status");        // of the second try's last answer
        QTest::newRow("entity tag") << "files" << false << true << true << 206;
        QTest::newRow("last-modified") << "lastmod" << false << true << true << 206;
        QTest::newRow("through redirect") << "redirect" << false << true << true << 206;
        QTest::newRow("file changed") << "files" << true << true << true << 200;
        QTest::newRow("server ignores range") << "norange" << false << true << true << 200;
        QTest::newRow("weak entity tag") << "weak" << false << false << false << 200;
        QTest::newRow("no validator") << "novalidator" << false << false << false << 200;
    }

    void resume()
    {
        QFETCH(QString, mode);
        QFETCH(bool, newVersion);
        QFETCH(bool, keepsPartial);
        QFETCH(bool, sendsRange);
        QFETCH(int, status);
        useMode(mode);
        ModelManager manager;
        const QString file = variant(manager, 1).filename;
        const qint64 size = QFileInfo(source(1)).size();
        m_server->control("/control/drop-next?count=1");
        start(manager, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!variant(manager, 1).isDownloading, 30000);
        QVERIFY(manager.lastError());
        QCOMPARE(QFile::exists(partial(manager, 1)), keepsPartial);
        QCOMPARE(filesUnder(ModelManager::modelsDirectory()), QStringList());
        const qint64 kept = QFileInfo(partial(manager, 1)).size();

        if (newVersion)
            m_server->control("/control/version?value=2");
        m_server->control("/control/reset");
        manager.clearLastError();
        RowWatch watch(manager, 1);
        start(manager, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!variant(manager, 1).isDownloading, 30000);
        QVERIFY2(!manager.lastError(), qPrintable(manager.lastErrorText()));
        QVERIFY(variant(manager, 1).isDownloaded);
        QCOMPARE(digest(destination(manager, 1)), digest(source(1)));
        QCOMPARE(variant(manager, 1).downloadedBytes, size);
        QCOMPARE(filesUnder(ModelManager::partialDirectory()), QStringList());

        const json requests = requestsFor(file);
        QVERIFY(!requests.empty());
        const json &last = requests.back();
        QCOMPARE(last["status"].get<int>(), status);
        const std::string expectedRange = sendsRange ? "bytes=" + std::to_string(kept) + "-" : std::string();
        QCOMPARE(last["range"].get<std::string>(), expectedRange);
        QCOMPARE(last["ifRange"].get<std::string>().empty(), !sendsRange);
        if (status == 206)
            QVERIFY(watch.progress.first() >= double(kept) / double(size)); // picks up where it stopped
    }

    // The hub is HTTPS: the certificate is checked, and a trusted one downloads.
    void https_data()
    {
        QTest::addColumn<bool>("trusted");
        QTest::newRow("trusted certificate") << true;
        QTest::newRow("unknown certificate") << false;
    }

    void https()
    {
        QFETCH(bool, trusted);
        QTemporaryDir keys;
        const QString cert = keys.filePath(QStringLiteral("cert.pem"));
        const QString key = keys.filePath(QStringLiteral("key.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                       QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"), key,
                       QStringLiteral("-out"), cert});
        QVERIFY2(openssl.waitForFinished(60000) && openssl.exitCode() == 0, openssl.readAllStandardError().constData());
        FileServer secure(m_served.path(), qEnvironmentVariable("FILE_SERVER"), cert, key);
        QVERIFY(secure.isRunning());
        const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
        const auto restore = qScopeGuard([original] { QSslConfiguration::setDefaultConfiguration(original); });
        if (trusted) {
            QSslConfiguration config = original;
            config.addCaCertificates(QSslCertificate::fromPath(cert));
            QSslConfiguration::setDefaultConfiguration(config);
        }
        qputenv("HF_ENDPOINT", secure.baseURL(QStringLiteral("redirect")).toUtf8());
        ModelManager manager;
        start(manager, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!variant(manager, 0).isDownloading, 30000);
        QCOMPARE(variant(manager, 0).isDownloaded, trusted);
        QCOMPARE(manager.lastError().has_value(), !trusted);
        if (trusted)
            QCOMPARE(digest(destination(manager, 0)), digest(source(0)));
        else
            QCOMPARE(filesUnder(ModelManager::modelsDirectory()), QStringList());
    }

    void managerGoneDuringDownload()
    {
        useMode(QStringLiteral("slow"));
        auto manager = std::make_unique<ModelManager>();
        RowWatch watch(*manager, 0);
        start(*manager, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!watch.progress.isEmpty(), 30000);
        const QString dest = destination(*manager, 0);
        manager.reset();
        QTest::qWait(200);
        QVERIFY(!QFile::exists(dest));
    }
};

TOVRA_TEST_MAIN(ModelDownloadsTest, QCoreApplication)
#include "tst_modeldownloads.moc"
