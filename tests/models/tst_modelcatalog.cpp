#include "agentstate.h"
#include "modelmanager.h"
#include "servermanager.h"
#include "standinengine.h"
#include "testenvironment.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using nlohmann::json;

namespace {
QString testModelFile()
{
    return QDir(qEnvironmentVariable("TOVRA_TESTDATA")).filePath(QStringLiteral("stories260K.gguf"));
}

void placeFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    QVERIFY(QFile::copy(testModelFile(), path));
}

ServerManagerOptions standinOptions()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    ServerManagerOptions options;
    options.serverSearchList = {StandinEngine::executable()};
    options.brewCandidates = {};
    options.pollInterval = std::chrono::milliseconds(50);
    options.port = probe.serverPort();
    return options;
}
} // namespace

class ModelCatalogTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        QDir(ModelManager::modelsDirectory()).removeRecursively();
        qunsetenv("HF_ENDPOINT");
    }

    void catalogueInOrderAndFreshState()
    {
        QDir(ModelManager::appDataDirectory()).removeRecursively();
        ModelManager manager;
        QVERIFY(QFileInfo(ModelManager::modelsDirectory()).isDir());
        QVERIFY(ModelManager::modelsDirectory().endsWith(QStringLiteral("/Tovra AI/models")));
        const QList<HFModel> &models = manager.models();
        QCOMPARE(models.size(), 3);
        const QStringList repos{QStringLiteral("quantfolk/Llama-3.2-3B-Instruct-GGUF"),
                                QStringLiteral("quantfolk/Meta-Llama-3.1-8B-Instruct-GGUF"),
                                QStringLiteral("quantfolk/Qwen2.5-3B-Instruct-GGUF")};
        const QStringList files{QStringLiteral("Llama-3.2-3B-Instruct-Q4_K_M.gguf"),
                                QStringLiteral("Meta-Llama-3.1-8B-Instruct-Q4_K_M.gguf"),
                                QStringLiteral("Qwen2.5-3B-Instruct-Q4_K_M.gguf")};
        const QList<double> sizes{2.0, 4.9, 1.9};
        QSet<QUuid> ids;
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(models[i].repo, repos[i]);
            QCOMPARE(models[i].variants.size(), 1);
            const ModelVariant &variant = models[i].variants[0];
            QCOMPARE(variant.quantization, QStringLiteral("Q4_K_M"));
            QCOMPARE(variant.filename, files[i]);
            QCOMPARE(variant.sizeGB, sizes[i]);
            QVERIFY(!variant.isDownloaded && !variant.isDownloading);
            QCOMPARE(variant.downloadProgress, 0.0);
            QCOMPARE(variant.totalBytes, 0);
            QVERIFY(!variant.downloadStartTime);
            ids << models[i].id << variant.id;
        }
        QCOMPARE(ids.size(), 6);
        QCOMPARE(models[1].displayName, QStringLiteral("Llama 3.1 8B Instruct"));
        QCOMPARE(models[2].description,
                 QStringLiteral("Strong reasoning and instruction following. Compact size, any Mac."));
        QVERIFY(!manager.lastError());
        QCOMPARE(manager.activeDownloadCount(), 0);
        // The catalogue is built once per run.
        ModelManager second;
        QCOMPARE(second.models(), models);
    }

    void paths()
    {
        ModelManager manager;
        const HFModel model = manager.models().first();
        QCOMPARE(ModelManager::filePath(model, model.variants.first()),
                 ModelManager::modelsDirectory()
                     + QStringLiteral("/quantfolk_Llama-3.2-3B-Instruct-GGUF/Llama-3.2-3B-Instruct-Q4_K_M.gguf"));
        const QString partial = ModelManager::partialFilePath(model, model.variants.first());
        QVERIFY(!partial.startsWith(ModelManager::modelsDirectory()));
        QVERIFY(partial.startsWith(ModelManager::appDataDirectory()));

        QCOMPARE(ModelManager::downloadURL(model, model.variants.first()).toString(),
                 QStringLiteral("https://huggingface.co/quantfolk/Llama-3.2-3B-Instruct-GGUF/resolve/main/"
                                "Llama-3.2-3B-Instruct-Q4_K_M.gguf"));
        qputenv("HF_ENDPOINT", "http://127.0.0.1:9/mirror");
        QCOMPARE(ModelManager::downloadURL(model, model.variants.first()).toString(),
                 QStringLiteral("http://127.0.0.1:9/mirror/quantfolk/Llama-3.2-3B-Instruct-GGUF/resolve/main/"
                                "Llama-3.2-3B-Instruct-Q4_K_M.gguf"));
    }

    void labels_data()
    {
        QTest::addColumn<QString>("quantization");
        QTest::addColumn<double>("sizeGB");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("quality");
        QTest::newRow("4.9 GB") << "Q4_K_M" << 4.9 << "4.9 GB" << "Recommended";
        QTest::newRow("exactly 1 GB") << "Q2_K" << 1.0 << "1.0 GB" << "Smallest";
        QTest::newRow("2.0 GB") << "Q5_K_M" << 2.0 << "2.0 GB" << "High Quality";
        QTest::newRow("half a GB") << "Q8_0" << 0.5 << "512 MB" << "Best Quality";
        QTest::newRow("unknown quantisation") << "IQ3_XXS" << 0.999 << "1023 MB" << "IQ3_XXS";
    }

    void labels()
    {
        QFETCH(QString, quantization);
        QFETCH(double, sizeGB);
        ModelVariant variant;
        variant.quantization = quantization;
        variant.sizeGB = sizeGB;
        QTEST(variant.sizeLabel(), "size");
        QTEST(variant.qualityLabel(), "quality");
    }

    void memoryWarning_data()
    {
        QTest::addColumn<double>("sizeGB");
        QTest::addColumn<quint64>("memory");
        QTest::addColumn<bool>("warns");
        const quint64 eight = 8589934592ull;
        QTest::newRow("4.9 GB in 8 GB") << 4.9 << eight << false;
        QTest::newRow("7.0 GB in 8 GB") << 7.0 << eight << true;
        QTest::newRow("exactly the need") << 4.9 << quint64(6313601925ull) << false;
        QTest::newRow("one byte short") << 4.9 << quint64(6313601924ull) << true;
    }

    void memoryWarning()
    {
        QFETCH(double, sizeGB);
        QFETCH(quint64, memory);
        ModelVariant variant;
        variant.sizeGB = sizeGB;
        QTEST(variant.mayExceedMemory(memory), "warns");
        QCOMPARE(Catalog::memoryWarningText(8589934592ull + 1000),
                 QStringLiteral("May exceed available RAM (8 GB). Model may load slowly or fail."));
    }

    void jsonForm()
    {
        ModelManager manager;
        HFModel model = manager.models()[1];
        model.variants[0].isDownloaded = true;
        model.variants[0].downloadProgress = 0.25;
        model.variants[0].downloadedBytes = 77;
        model.variants[0].totalBytes = 99;
        model.variants[0].downloadStartTime = QDateTime::currentDateTime();
        const json encoded = Catalog::toJson(model);
        QCOMPARE(encoded["id"].get<std::string>(), model.id.toString(QUuid::WithoutBraces).toUpper().toStdString());
        const json &variant = encoded["variants"][0];
        QCOMPARE(variant.size(), size_t(7));
        QVERIFY(!variant.contains("downloadedBytes") && !variant.contains("downloadStartTime"));
        QCOMPARE(variant["sizeGB"].get<double>(), 4.9);

        const auto decoded = Catalog::modelFromJson(encoded);
        QVERIFY(decoded);
        HFModel expected = model;
        expected.variants[0].downloadedBytes = 0;
        expected.variants[0].totalBytes = 0;
        expected.variants[0].downloadStartTime.reset();
        QCOMPARE(*decoded, expected);
    }

    void jsonRequiresEveryVariantKey_data()
    {
        QTest::addColumn<QString>("key");
        for (const char *key : {"id", "quantization", "sizeGB", "filename", "isDownloaded", "downloadProgress",
                                "isDownloading"})
            QTest::newRow(key) << QString::fromLatin1(key);
    }

    void jsonRequiresEveryVariantKey()
    {
        QFETCH(QString, key);
        ModelManager manager;
        json encoded = Catalog::toJson(manager.models()[0].variants[0]);
        QVERIFY(Catalog::variantFromJson(encoded));
        encoded.erase(key.toStdString());
        QVERIFY(!Catalog::variantFromJson(encoded));
        json model = Catalog::toJson(manager.models()[0]);
        model["variants"][0] = encoded;
        QVERIFY(!Catalog::modelFromJson(model));
    }

    void refreshFollowsTheFolder()
    {
        ModelManager manager;
        const HFModel model = manager.models()[2];
        const QString path = ModelManager::filePath(model, model.variants[0]);
        placeFile(QFileInfo(path).absoluteDir().filePath(QStringLiteral("other-name.gguf")));
        manager.refreshDownloadStatus();
        QVERIFY(!manager.models()[2].variants[0].isDownloaded);

        placeFile(path);
        QSignalSpy changes(manager.modelList(), &QAbstractItemModel::dataChanged);
        manager.refreshDownloadStatus();
        QVERIFY(manager.models()[2].variants[0].isDownloaded);
        QVERIFY(!manager.models()[0].variants[0].isDownloaded);
        // Only the row whose file appeared changed (its own fields, then its card's mark).
        QVERIFY(!changes.isEmpty());
        for (const auto &change : changes)
            QCOMPARE(change.at(0).toModelIndex().row(), 2);
        QCOMPARE(manager.modelList()->data(manager.modelList()->index(2), ModelListModel::IsDownloadedRole), true);

        QVERIFY(QFile::remove(path));
        manager.refreshDownloadStatus();
        QVERIFY(!manager.models()[2].variants[0].isDownloaded);
        // A new manager sees what is on disk.
        placeFile(path);
        ModelManager later;
        QVERIFY(later.models()[2].variants[0].isDownloaded);
    }

    void listModelIsConsistent()
    {
        ModelManager manager;
        QAbstractItemModelTester tester(manager.modelList(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        ModelListModel *list = manager.modelList();
        QCOMPARE(list->rowCount(), 3);
        const QModelIndex row = list->index(1);
        QCOMPARE(list->data(row, ModelListModel::DisplayNameRole), QStringLiteral("Llama 3.1 8B Instruct"));
        QCOMPARE(list->data(row, ModelListModel::SizeLabelRole), QStringLiteral("4.9 GB"));
        QCOMPARE(list->data(row, ModelListModel::QualityLabelRole), QStringLiteral("Recommended"));
        QCOMPARE(list->data(row, ModelListModel::FilePathRole),
                 ModelManager::filePath(manager.models()[1], manager.models()[1].variants[0]));
        list->setPhysicalMemoryBytes(8589934592ull);
        QCOMPARE(list->data(row, ModelListModel::MayExceedMemoryRole), false);
        QCOMPARE(list->data(row, ModelListModel::MemoryWarningRole),
                 QStringLiteral("May exceed available RAM (8 GB). Model may load slowly or fail."));
        list->setPhysicalMemoryBytes(4294967296ull);
        QCOMPARE(list->data(row, ModelListModel::MayExceedMemoryRole), true);
        QVERIFY(list->roleNames().values().contains("downloadProgress"));
    }

    void deleteNeverDownloadedOnlyResetsFlags()
    {
        ModelManager manager;
        const HFModel model = manager.models()[0];
        manager.deleteModel(model, model.variants[0]);
        QVERIFY(!manager.models()[0].variants[0].isDownloaded);
        QCOMPARE(manager.models()[0].variants[0].downloadProgress, 0.0);
        QVERIFY(QFileInfo(ModelManager::modelsDirectory()).isDir());
    }

    void deleteUnknownVariantRemovesFileOnly()
    {
        ModelManager manager;
        HFModel stranger = manager.models()[0];
        stranger.id = QUuid::createUuid();
        const QString path = ModelManager::filePath(stranger, stranger.variants[0]);
        placeFile(path);
        manager.refreshDownloadStatus();
        const QList<HFModel> before = manager.models();
        manager.deleteModel(stranger, stranger.variants[0]);
        QVERIFY(!QFile::exists(path));
        QCOMPARE(manager.models(), before);
    }

    // Deleting the loaded model stops the engine; when it is also the auto-load
    // model both settings are cleared and saved. The folder stays.
    void deleteLoadedAndAutoLoadModel_data()
    {
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<bool>("autoLoad");
        QTest::newRow("loaded and auto-load") << true << true;
        QTest::newRow("loaded only") << true << false;
        QTest::newRow("auto-load only") << false << true;
    }

    void deleteLoadedAndAutoLoadModel()
    {
        QFETCH(bool, loaded);
        QFETCH(bool, autoLoad);
        AgentState state;
        ServerManager server(standinOptions());
        ModelManager manager;
        manager.setAgentState(&state);
        manager.setServerManager(&server);
        const HFModel model = manager.models()[0];
        const QString path = ModelManager::filePath(model, model.variants[0]);
        placeFile(path);
        manager.refreshDownloadStatus();

        const QString other = QDir(ModelManager::modelsDirectory()).filePath(QStringLiteral("elsewhere/other.gguf"));
        state.setAutoLoadModelPath(autoLoad ? path : other);
        state.setAutoLoadModelName(QStringLiteral("Llama 3.2 3B Instruct Q4_K_M"));
        state.saveSettings();
        if (loaded) {
            server.startServer(path, QStringLiteral("Llama 3.2 3B Instruct Q4_K_M"));
            QTRY_VERIFY_WITH_TIMEOUT(server.isRunning(), 20000);
        }

        manager.deleteModel(model, model.variants[0]);
        QVERIFY(!QFile::exists(path));
        QVERIFY(QFileInfo(QFileInfo(path).absolutePath()).isDir());
        QVERIFY(!manager.models()[0].variants[0].isDownloaded);
        // The stop runs later, as its own task.
        QCOMPARE(server.isRunning(), loaded);
        if (loaded) {
            QTRY_VERIFY_WITH_TIMEOUT(!server.isRunning(), 20000);
            QCOMPARE(server.statusMessage(), QStringLiteral("No model loaded"));
        }
        QCOMPARE(state.autoLoadModelPath(), autoLoad ? std::nullopt : std::optional<QString>(other));
        AgentState reloaded;
        QCOMPARE(reloaded.autoLoadModelPath(), autoLoad ? std::nullopt : std::optional<QString>(other));
        QCOMPARE(reloaded.autoLoadModelName().has_value(), !autoLoad);
    }

    void deleteWithoutReferences()
    {
        ModelManager manager;
        {
            AgentState state;
            manager.setAgentState(&state);
        }
        QVERIFY(!manager.agentState());
        const HFModel model = manager.models()[1];
        placeFile(ModelManager::filePath(model, model.variants[0]));
        manager.refreshDownloadStatus();
        manager.deleteModel(model, model.variants[0]);
        QVERIFY(!manager.models()[1].variants[0].isDownloaded);
    }
};

TOVRA_TEST_MAIN(ModelCatalogTest, QCoreApplication)
#include "tst_modelcatalog.moc"
