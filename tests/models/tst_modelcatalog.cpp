// The catalogue's JSON form, the list model and the models folder; deleting a model.
#include "models/modelmanager.h"
#include "tests/support/testenvironment.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

using nlohmann::json;

namespace {
void placeFile(const QString &path)
{
    QVERIFY(writeTestFile(path, readTestFile(QStringLiteral(TOVRA_FIXTURES "/stories260K.gguf"))));
}

QString pathOf(const ModelManager &manager, int index)
{
    return ModelManager::filePath(manager.models()[index], manager.models()[index].variants[0]);
}
} // namespace

class ModelCatalogTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void cleanup()
    {
        QDir(ModelManager::modelsDirectory()).removeRecursively();
        qunsetenv("HF_ENDPOINT");
    }

    // A first start: the folder, fresh rows, and where each file lives and comes from.
    void freshManager()
    {
        QDir(ModelManager::appDataDirectory()).removeRecursively();
        ModelManager manager;
        QVERIFY(QFileInfo(ModelManager::modelsDirectory()).isDir());
        QVERIFY(ModelManager::modelsDirectory().endsWith(QStringLiteral("/Tovra AI/models")));
        const QList<HFModel> &models = manager.models();
        QSet<QUuid> ids;
        for (const HFModel &model : models) {
            const ModelVariant &variant = model.variants[0];
            QVERIFY(!variant.isDownloaded && !variant.isDownloading && !variant.downloadStartTime);
            QCOMPARE(variant.downloadProgress, 0.0);
            ids << model.id << variant.id;
        }
        QCOMPARE(ids.size(), 6);
        QVERIFY(!manager.lastError());
        QCOMPARE(ModelManager().models(), manager.models());
        // Descriptions are written for macOS.
        QCOMPARE(models.first().description,
                 "Fast and lightweight. Best for quick tasks on any computer.");

        const HFModel model = manager.models().first();
        const QString tail = QStringLiteral(
            "quantfolk/Llama-3.2-3B-Instruct-GGUF/resolve/main/Llama-3.2-3B-Instruct-Q4_K_M.gguf");
        QCOMPARE(
            pathOf(manager, 0),
            ModelManager::modelsDirectory()
                + QStringLiteral(
                    "/quantfolk_Llama-3.2-3B-Instruct-GGUF/Llama-3.2-3B-Instruct-Q4_K_M.gguf"));
        // The partial file lives outside the models folder, on the same file system.
        const QString partial = ModelManager::partialFilePath(model, model.variants.first());
        QVERIFY(!partial.startsWith(ModelManager::modelsDirectory())
                && partial.startsWith(ModelManager::appDataDirectory()));
        QCOMPARE(ModelManager::downloadURL(model, model.variants.first()).toString(),
                 QStringLiteral("https://huggingface.co/") + tail);
        qputenv("HF_ENDPOINT", "http://127.0.0.1:9/mirror");
        QCOMPARE(ModelManager::downloadURL(model, model.variants.first()).toString(),
                 QStringLiteral("http://127.0.0.1:9/mirror/") + tail);
    }

    // The memory need is the size plus a fifth, in binary gigabytes.
    void labels_data()
    {
        QTest::addColumn<QString>("quantization");
        QTest::addColumn<double>("sizeGB");
        QTest::addColumn<QString>("size");
        QTest::addColumn<quint64>("memory");
        QTest::addColumn<bool>("exceeds");
        QTest::addColumn<QString>("quality");
        const quint64 eight = 8589934592ull;
        QTest::newRow("4.9 GB") << "Q4_K_M" << 4.9 << "4.9 GB" << eight << false << "Recommended";
        QTest::newRow("exactly 1 GB") << "Q2_K" << 1.0 << "1.0 GB" << eight << false << "Smallest";
        QTest::newRow("2.0 GB") << "Q5_K_M" << 2.0 << "2.0 GB" << eight << false << "High Quality";
        QTest::newRow("half a GB") << "Q8_0" << 0.5 << "512 MB" << eight << false << "Best Quality";
        addRow("unknown quantisation", "IQ3_XXS", 0.999, "1023 MB", eight, false, "IQ3_XXS");
        addRow("7.0 GB in 8 GB", "Q4_K_M", 7.0, "7.0 GB", eight, true, "Recommended");
        QTest::newRow("exactly the need")
            << "Q4_K_M" << 4.9 << "4.9 GB" << quint64(6313601925ull) << false << "Recommended";
        QTest::newRow("one byte short")
            << "Q4_K_M" << 4.9 << "4.9 GB" << quint64(6313601924ull) << true << "Recommended";
    }

    void labels()
    {
        QFETCH(QString, quantization);
        QFETCH(double, sizeGB);
        QFETCH(quint64, memory);
        ModelVariant variant;
        variant.quantization = quantization;
        variant.sizeGB = sizeGB;
        QTEST(variant.sizeLabel(), "size");
        QTEST(variant.qualityLabel(), "quality");
        QTEST(variant.mayExceedMemory(memory), "exceeds");
    }

    // Only the download state that should survive a restart is written.
    void jsonForm()
    {
        ModelManager manager;
        HFModel model = manager.models()[1];
        ModelVariant &variant = model.variants[0];
        variant.isDownloaded = true;
        variant.downloadProgress = 0.25;
        variant.downloadedBytes = 77;
        variant.totalBytes = 99;
        variant.downloadStartTime = QDateTime::currentDateTime();
        const json encoded = Catalog::toJson(model);
        QCOMPARE(encoded["id"].get<std::string>(),
                 model.id.toString(QUuid::WithoutBraces).toUpper().toStdString());
        QCOMPARE(encoded["variants"][0].size(), size_t(7));

        HFModel expected = model;
        expected.variants[0].downloadedBytes = expected.variants[0].totalBytes = 0;
        expected.variants[0].downloadStartTime.reset();
        QCOMPARE(Catalog::modelFromJson(encoded), std::optional(expected));
    }

    void jsonRequiresEveryVariantKey_data()
    {
        QTest::addColumn<QString>("key");
        for (const char *key : {"id",
                                "quantization",
                                "sizeGB",
                                "filename",
                                "isDownloaded",
                                "downloadProgress",
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
        const QString path = pathOf(manager, 2);
        placeFile(QFileInfo(path).absoluteDir().filePath(QStringLiteral("other-name.gguf")));
        manager.refreshDownloadStatus();
        QVERIFY(!manager.models()[2].variants[0].isDownloaded);

        placeFile(path);
        QSignalSpy changes(manager.modelList(), &QAbstractItemModel::dataChanged);
        manager.refreshDownloadStatus();
        QVERIFY(manager.models()[2].variants[0].isDownloaded);
        QVERIFY(!manager.models()[0].variants[0].isDownloaded);
        // Only the row whose file appeared changed.
        QVERIFY(!changes.isEmpty());
        for (const auto &change : changes)
            QCOMPARE(change.at(0).toModelIndex().row(), 2);
        QCOMPARE(manager.modelList()->data(manager.modelList()->index(2),
                                           ModelListModel::IsDownloadedRole),
                 true);
        QVERIFY(
            ModelManager().models()[2].variants[0].isDownloaded); // a new manager sees what is on disk

        QVERIFY(QFile::remove(path));
        manager.refreshDownloadStatus();
        QVERIFY(!manager.models()[2].variants[0].isDownloaded);
    }

    void listModelIsConsistent()
    {
        ModelManager manager;
        ModelListModel *list = manager.modelList();
        QAbstractItemModelTester tester(list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(list->rowCount(), 3);
        const QModelIndex row = list->index(1);
        QCOMPARE(list->data(row, ModelListModel::DisplayNameRole),
                 QStringLiteral("Llama 3.1 8B Instruct"));
        QCOMPARE(list->data(row, ModelListModel::FilePathRole), pathOf(manager, 1));
        list->setPhysicalMemoryBytes(8589934592ull);
        QCOMPARE(list->data(row, ModelListModel::MayExceedMemoryRole), false);
        QCOMPARE(list->data(row, ModelListModel::MemoryWarningRole),
                 QStringLiteral("May exceed available RAM (8 GB). Model may load slowly or fail."));
        list->setPhysicalMemoryBytes(4294967296ull);
        QCOMPARE(list->data(row, ModelListModel::MayExceedMemoryRole), true);
        QVERIFY(list->roleNames().values().contains("downloadProgress"));
    }

    // A model the catalogue does not know loses its file only; one never downloaded just
    // resets its row. The folder stays, and every deletion names the file it removed.
    void deleteEdgeCases()
    {
        ModelManager manager;
        QSignalSpy removed(&manager, &ModelManager::modelFileRemoved);
        HFModel stranger = manager.models()[0];
        stranger.id = QUuid::createUuid();
        placeFile(ModelManager::filePath(stranger, stranger.variants[0]));
        manager.refreshDownloadStatus();
        const QList<HFModel> before = manager.models();
        manager.deleteModel(stranger, stranger.variants[0]);
        QVERIFY(!QFile::exists(ModelManager::filePath(stranger, stranger.variants[0])));
        QCOMPARE(manager.models(), before);

        manager.deleteModel(manager.models()[1], manager.models()[1].variants[0]);
        QVERIFY(!manager.models()[1].variants[0].isDownloaded);
        QVERIFY(QFileInfo(ModelManager::modelsDirectory()).isDir());
        QCOMPARE(removed.size(), 2);
        QCOMPARE(removed.at(0).at(0).toString(), pathOf(manager, 0));
        QCOMPARE(removed.at(1).at(0).toString(), pathOf(manager, 1));
    }
};

TOVRA_TEST_MAIN(ModelCatalogTest, QCoreApplication)
#include "tst_modelcatalog.moc"
