// The model library: the catalogue's JSON form, its list model and the models folder; the hub
// search, file lists and downloads of any GGUF model against the loopback stand-in hub
// (tests/fixtures/hub), the index that keeps them, and files used in place.
#include "models/hubfilelistmodel.h"
#include "models/hubsearch.h"
#include "models/modelindex.h"
#include "models/modelmanager.h"
#include "models/storednames.h"
#include "tests/fixtures/fileserver.h"
#include "tests/support/testenvironment.h"

using namespace std::chrono_literals;
using nlohmann::json;

namespace {
const QString hubFolder = QStringLiteral(TOVRA_FIXTURES "/hub");

// "name quantization size [parts] [!]" per file, "!" for the memory warning.
QStringList fileLines(const HubFileListModel &files)
{
    QStringList lines;
    for (int row = 0; row < files.rowCount(); ++row) {
        const QModelIndex index = files.index(row);
        QStringList parts{index.data(HubFileListModel::FileNameRole).toString(),
                          index.data(HubFileListModel::QuantizationRole).toString(),
                          index.data(HubFileListModel::SizeLabelRole).toString(),
                          index.data(HubFileListModel::PartsTextRole).toString(),
                          index.data(HubFileListModel::VisionTextRole).toString()};
        if (index.data(HubFileListModel::MayExceedMemoryRole).toBool())
            parts << QStringLiteral("!");
        parts.removeAll(QString());
        lines << parts.join(QLatin1Char(' '));
    }
    return lines;
}

void placeFile(const QString &path)
{
    QVERIFY(writeTestFile(path, readTestFile(QStringLiteral(TOVRA_FIXTURES "/stories260K.gguf"))));
}

QString pathOf(const ModelManager &manager, int index)
{
    return ModelManager::filePath(manager.models()[index], manager.models()[index].variants[0]);
}
QByteArray digest(const QString &path)
{
    return QCryptographicHash::hash(readTestFile(path), QCryptographicHash::Sha256).toHex();
}

// The one variant of the library's model of a repository or file name; null when none.
std::optional<std::pair<HFModel, ModelVariant>> libraryEntry(const ModelManager &manager,
                                                             const QString &name)
{
    for (const HFModel &model : manager.models()) {
        if (model.source != ModelSource::Catalogue
            && (model.repo == name || model.displayName == name) && !model.variants.isEmpty())
            return std::pair{model, model.variants.first()};
    }
    return std::nullopt;
}
} // namespace

class ModelsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<FileServer> m_server;

    void useMode(const QString &mode) { qputenv("HF_ENDPOINT", m_server->baseURL(mode).toUtf8()); }

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<FileServer>(hubFolder);
        QVERIFY2(m_server->isRunning(), "file server did not start (FILE_SERVER)");
    }

    void init()
    {
        failOnUnexpectedWarnings();
        QDir(ModelManager::modelsDirectory()).removeRecursively();
        QDir(ModelManager::partialDirectory()).removeRecursively();
        useMode(QStringLiteral("files"));
    }

    // A first start: the folder, fresh rows, and where each file lives and comes from.
    void freshManager()
    {
        QDir(ModelManager::appDataDirectory()).removeRecursively();
        qunsetenv("HF_ENDPOINT");
        ModelManager manager;
        QVERIFY(QFileInfo(ModelManager::modelsDirectory()).isDir());
        const QList<HFModel> &models = manager.models();
        QVERIFY(!manager.lastError());
        QCOMPARE(ModelManager().models(), manager.models()); // the same ids on every run
        // Descriptions are written for macOS.
        QCOMPARE(models.first().description,
                 "Fast and lightweight. Best for quick tasks on any computer.");

        const HFModel model = manager.models().first();
        const QString tail = QStringLiteral(
            "bartowski/Llama-3.2-3B-Instruct-GGUF/resolve/main/Llama-3.2-3B-Instruct-Q4_K_M.gguf");
        const QString folder
            = ModelManager::modelsDirectory() + "/bartowski_Llama-3.2-3B-Instruct-GGUF";
        QCOMPARE(pathOf(manager, 0), folder + "/Llama-3.2-3B-Instruct-Q4_K_M.gguf");
        // The partial file lives outside the models folder, on the same file system.
        const QString partial = ModelManager::partialFilePath(model, model.variants.first());
        QVERIFY(!partial.startsWith(ModelManager::modelsDirectory())
                && partial.startsWith(ModelManager::appDataDirectory()));
        QCOMPARE(ModelManager::downloadURL(model, model.variants.first()).toString(),
                 QStringLiteral("https://huggingface.co/") + tail);
        // Public repositories that publish these very file names.
        QCOMPARE(roleTexts(*manager.modelList(), ModelListModel::RepoRole),
                 (QStringList{"bartowski/Llama-3.2-3B-Instruct-GGUF",
                              "bartowski/Meta-Llama-3.1-8B-Instruct-GGUF",
                              "bartowski/Qwen2.5-3B-Instruct-GGUF"}));
        qputenv("HF_ENDPOINT", "http://127.0.0.1:9/mirror");
        QCOMPARE(ModelManager::downloadURL(model, model.variants.first()).toString(),
                 QStringLiteral("http://127.0.0.1:9/mirror/") + tail);
    }

    // The memory need is the size plus a fifth, in binary gigabytes.
    void labels_data()
    {
        columns<QString, double, QString, quint64>("quantization", "sizeGB", "size", "memory");
        columns<bool, QString>("exceeds", "quality");
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
        const auto [quantization, sizeGB, memory]
            = fetch<QString, double, quint64>("quantization", "sizeGB", "memory");
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
        QCOMPARE(list->data(row, ModelListModel::FilePathRole), pathOf(manager, 1));
        list->setPhysicalMemoryBytes(8589934592ull);
        QCOMPARE(list->data(row, ModelListModel::MayExceedMemoryRole), false);
        QCOMPARE(list->data(row, ModelListModel::MemoryWarningRole),
                 QStringLiteral("May exceed available RAM (8 GB). Model may load slowly or fail."));
        list->setPhysicalMemoryBytes(4294967296ull);
        QCOMPARE(list->data(row, ModelListModel::MayExceedMemoryRole), true);
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

    void search_data()
    {
        // "endpoint": a mode of the stand-in, or a whole address
        columns<QString, QString, QStringList, QString>("endpoint", "text", "repos", "firstDetail");
        columns<QString>("status");
        QTest::newRow("most downloaded first") << "files"
                                               << "stories"
                                               << QStringList{"bigfolk/Stories-70B-GGUF",
                                                              "tinyfolk/Stories-260K-GGUF",
                                                              "tinyfolk/Stories-Split-GGUF",
                                                              "lockedlab/Stories-Gated-GGUF",
                                                              "lockedlab/Stories-Approval-GGUF",
                                                              "tinyfolk/Stories-Tampered-GGUF",
                                                              "tinyfolk/Stories-Names-GGUF"}
                                               << "120K downloads · Updated 14 Oct 2026"
                                               << "";
        QTest::newRow("narrower text") << "files"
                                       << "Stories-2" << QStringList{"tinyfolk/Stories-260K-GGUF"}
                                       << "48.2K downloads · Updated 2 Nov 2026"
                                       << "";
        const QStringList none;
        const QString http500 = "The hub cannot be reached: HTTP 500 Internal Server Error";
        const QStringList names{"tinyfolk/Stories-Names-GGUF"};
        addRow("no date", "files", "names", names, "5 downloads · ", "");
        addRow("nothing found", "files", "llama", none, "", "");
        addRow("server error", "500", "stories", none, "", http500);
        const QString refused = "The hub cannot be reached: Connection refused";
        addRow("nobody listening", "http://127.0.0.1:9/", "stories", none, "", refused);
    }

    void search()
    {
        const auto [endpoint, text, firstDetail]
            = fetch<QString, QString, QString>("endpoint", "text", "firstDetail");
        if (endpoint.startsWith(QLatin1String("http")))
            qputenv("HF_ENDPOINT", endpoint.toUtf8());
        else
            useMode(endpoint);
        HubSearch search;
        QAbstractItemModelTester searchTester(&search,
                                              QAbstractItemModelTester::FailureReportingMode::QtTest);
        search.setInterval(1ms);
        QSignalSpy answered(&search, &HubSearch::resultsChanged);
        search.setQuery(text);
        QVERIFY(search.isActive());
        QVERIFY(answered.wait(10000));
        QTEST(roleTexts(search, HubSearch::RepoIdRole), "repos");
        QTEST(search.statusText(), "status");
        QCOMPARE(search.isSearching(), false);
        if (!firstDetail.isEmpty())
            QCOMPARE(search.index(0).data(HubSearch::DownloadsTextRole).toString()
                         + QStringLiteral(" · ")
                         + search.index(0).data(HubSearch::UpdatedTextRole).toString(),
                     firstDetail);
    }

    // The stand-in holds a "slow" search until a later one has been answered: an answer
    // to superseded typing arrives last and must not replace the newer one.
    void newerTypingSupersedes()
    {
        HubSearch search;
        QAbstractItemModelTester searchTester(&search,
                                              QAbstractItemModelTester::FailureReportingMode::QtTest);
        search.setInterval(20ms);
        QStringList shown;
        connect(&search, &HubSearch::resultsChanged, this, [&](const QString &text) {
            shown << text;
        });
        search.setQuery(QStringLiteral("spl"));
        search.setQuery(QStringLiteral("slow split"));
        QTRY_VERIFY(search.isSearching());
        search.setQuery(QStringLiteral("split"));
        QTRY_COMPARE(shown, QStringList{"split"});
        search.setQuery(QStringLiteral("70B"));
        QTRY_COMPARE(shown, (QStringList{"split", "70B"}));
        QCOMPARE(roleTexts(search, HubSearch::RepoIdRole), QStringList{"bigfolk/Stories-70B-GGUF"});
        search.setQuery(QStringLiteral("70"));
        QCOMPARE(search.rowCount(), 0);
        QVERIFY(!search.isActive());
    }

    void files_data()
    {
        columns<QString, QString, QStringList, QString>("mode", "repo", "files", "status");
        QTest::newRow("whole files, quantization from the name")
            << "files"
            << "tinyfolk/Stories-260K-GGUF"
            << QStringList{"stories260K-Q8_0.gguf Q8_0 1 MB", "Stories-260K-IQ3_XS.gguf IQ3_XS 3 MB"}
            << "";
        const QString split = "stories-split-Q4_K_M-00001-of-00003.gguf Q4_K_M 0 MB 3 parts";
        QTest::newRow("split parts as one, an incomplete set left out")
            << "files"
            << "tinyfolk/Stories-Split-GGUF" << QStringList{split} << "";
        const QStringList named{"Q8/Stories 260K #1 100% ü-Q8_0.gguf Q8_0 1 MB",
                                "../../../../x.gguf GGUF 0 MB",
                                "/tmp/tovra-absolute.gguf GGUF 0 MB",
                                "over/stories260K-Q8_0.gguf Q8_0 0 MB"};
        addRow("each file with its folder", "files", "tinyfolk/Stories-Names-GGUF", named, "");
        const QString big = "Stories-70B-Q4_K_M.gguf Q4_K_M 40.0 GB !";
        addRow("too big for memory", "files", "bigfolk/Stories-70B-GGUF", QStringList{big}, "");
        addRow("a projector goes with the model, the F16 one of two",
               "files",
               "seefolk/Pictures-Vision-GGUF",
               QStringList{"stories260K-Q8_0.gguf Q8_0 1 MB Vision (0 MB)"},
               "");
        const QStringList none;
        const QString gated = "This model needs a hub account and access approval.";
        addRow("account needed (401)", "files", "lockedlab/Stories-Gated-GGUF", none, gated);
        addRow("approval needed (403)", "files", "lockedlab/Stories-Approval-GGUF", none, gated);
        const QString http500 = "The hub cannot be reached: HTTP 500 Internal Server Error";
        addRow("server error", "500", "tinyfolk/Stories-260K-GGUF", none, http500);
    }

    void files()
    {
        const auto [mode, repo] = fetch<QString, QString>("mode", "repo");
        useMode(mode);
        HubSearch search;
        QAbstractItemModelTester searchTester(&search,
                                              QAbstractItemModelTester::FailureReportingMode::QtTest);
        HubFileListModel list(&search);
        QAbstractItemModelTester listTester(&list,
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.setPhysicalMemoryBytes(8ull << 30);
        search.expand(repo);
        QCOMPARE(search.expandedRepo(), repo);
        QTRY_VERIFY_WITH_TIMEOUT(!search.isListing(), 10000);
        QTEST(fileLines(list), "files");
        QTEST(search.filesStatusText(), "status");
    }

    void quantization_data()
    {
        columns<QString, QString>("fileName", "quantization");
        addRow("importance quant, lower case", "qwen2.5-0.5b-instruct-iq3_xs.gguf", "IQ3_XS");
        addRow("dotted", "tiny.Q8_0.gguf", "Q8_0");
        addRow("float, split part", "Mistral-7B-F16-00002-of-00004.gguf", "F16");
        addRow("none named", "model.gguf", "");
    }

    void quantization()
    {
        QFETCH(QString, fileName);
        QTEST(HubApi::quantizationOf(fileName), "quantization");
    }

    // One rule for the hub's names; an index entry or a deletion naming a file outside its
    // repository's folder, by name or through a link, touches nothing there.
    void namesStayInside()
    {
        QVERIFY(StoredNames::isAcceptable("Q4/a b/#1%ü.gguf"));
        const QString refused
            = QStringLiteral("/u/x.gguf|../../x.gguf|.|Q4//x.gguf|Q4\\x.gguf|x\n.gguf|x\0.gguf|");
        for (const QString &name : refused.split(QLatin1Char('|')))
            QVERIFY2(!StoredNames::isAcceptable(name), qPrintable(name));
        const QString outside = QDir(ModelManager::appDataDirectory()).filePath("x.gguf");
        const QString folder = QDir(ModelManager::modelsDirectory()).filePath("a_b");
        placeFile(outside);
        QVERIFY(QDir().mkpath(folder)
                && QFile::link(ModelManager::appDataDirectory(), folder + "/up"));
        QVERIFY(writeTestFile(ModelIndex::filePath(ModelManager::modelsDirectory()),
                              R"({"models": [{"repo": "a/b", "parts": [{"file": "../../x.gguf"}]},
                                             {"repo": "a/b", "parts": [{"file": "up/x.gguf"}]}]})"));
        ModelManager manager;
        QVERIFY(!libraryEntry(manager, "a/b"));
        HFModel model = manager.models()[0];
        model.repo = "a/b";
        for (const char *name : {"../../x.gguf", "up/x.gguf"}) {
            model.variants[0].filename = name;
            manager.deleteModel(model, model.variants[0]);
        }
        QVERIFY(QFile::exists(outside));
    }

    // Downloaded with the catalogue's machinery into the models folder, all parts of a
    // split file, checked against the listing's SHA-256; a finished one is in the index
    // and in the library of the next run, until one of its files goes.
    void hubDownloads_data()
    {
        columns<QString, QString, QString, QString>("mode", "repo", "file", "error");
        const QString tampered
            = QStringLiteral("Download failed: the file's checksum does not match the "
                             "hub's (expected %1, got %2)")
                  .arg(QString(64, QLatin1Char('c')),
                       QString::fromLatin1(
                           digest(hubFolder + QStringLiteral("/stories260K-Q8_0.gguf"))));
        const QString names = "tinyfolk/Stories-Names-GGUF", whole = "stories260K-Q8_0.gguf";
        const QString refused = "The hub listed a file the app will not save: ";
        const QString over = "over/stories260K-Q8_0.gguf", up = "../../../../x.gguf";
        const QString beyond
            = "Download failed: the server sent more than the announced 1000 bytes";
        const QString q8 = "Q8/Stories 260K #1 100% ü-Q8_0.gguf";
        const QString split = "stories-split-Q4_K_M-00001-of-00003.gguf",
                      absolute = "/tmp/tovra-absolute.gguf";
        addRow("whole file", "files", "tinyfolk/Stories-260K-GGUF", whole, "");
        addRow("split file", "files", "tinyfolk/Stories-Split-GGUF", split, "");
        addRow("with its projector", "files", "seefolk/Pictures-Vision-GGUF", whole, "");
        addRow("checksum differs", "files", "tinyfolk/Stories-Tampered-GGUF", whole, tampered);
        addRow("in a folder, a name to encode", "files", names, q8, "");
        addRow("a name climbing out", "files", names, up, refused + up);
        addRow("an absolute name", "files", names, absolute, refused + absolute);
        addRow("more than listed", "files", names, over, beyond);
        addRow("no length, more than listed", "chunked", names, over, beyond);
    }

    void hubDownloads()
    {
        const auto [mode, repo, name, error]
            = fetch<QString, QString, QString, QString>("mode", "repo", "file", "error");
        useMode(mode);
        HubSearch search;
        QAbstractItemModelTester
            searchTester(&search,
                         QAbstractItemModelTester::FailureReportingMode::
                             QtTest); // the repository's files as the hub lists them
        search.expand(repo);
        QTRY_VERIFY_WITH_TIMEOUT(!search.isListing(), 10000);
        HubFile file;
        for (const HubFile &listed : search.files())
            file = listed.name() == name ? listed : file;
        QVERIFY(!file.parts.isEmpty());
        const QString folder
            = QDir(ModelManager::modelsDirectory())
                  .filePath(QString(repo).replace(QLatin1Char('/'), QLatin1Char('_')));
        {
            ModelManager manager;
            const QString id = manager.downloadHubFile(repo, file);
            QCOMPARE(manager.model(QUuid::fromString(id)).has_value(), !error.startsWith("The hub"));
            const auto variant
                = [&, repo = repo, name = name] { // clang 14 captures no structured bindings
                      return manager.hubVariant(repo, name).value_or(ModelVariant());
                  };
            QTRY_VERIFY_WITH_TIMEOUT(!variant().isDownloading, 20000);
            QCOMPARE(manager.lastErrorText(), error);
            QCOMPARE(variant().isDownloaded, error.isEmpty());
            // Its projector ("mmproj_…", as some repositories name it) lies beside it.
            const bool sees
                = error.isEmpty() && repo == QLatin1String("seefolk/Pictures-Vision-GGUF");
            QCOMPARE(variant().seesImages, sees);
            for (const QString &part : file.parts)
                QCOMPARE(readTestFile(QDir(folder).filePath(part)),
                         error.isEmpty()
                             ? readTestFile(hubFolder + '/' + QFileInfo(part).fileName())
                             : QByteArray());
        }
        ModelManager next;
        const auto kept = libraryEntry(next, repo);
        QCOMPARE(kept.has_value(), error.isEmpty());
        if (!kept)
            return;
        QCOMPARE(kept->second.filename, name);
        QVERIFY(kept->second.isDownloaded);
        QCOMPARE(kept->second.seesImages, repo == QLatin1String("seefolk/Pictures-Vision-GGUF"));
        // Every start writes the index again: the start after that still finds the model.
        QVERIFY(libraryEntry(ModelManager(), repo));
        QCOMPARE(ModelManager::filePath(kept->first, kept->second), QDir(folder).filePath(name));
        QVERIFY(QFile::remove(QDir(folder).filePath(file.parts.last())));
        QVERIFY(!libraryEntry(ModelManager(), repo));
        QVERIFY(!readTestFile(QDir(ModelManager::modelsDirectory()).filePath("library.json"))
                     .contains(repo.toUtf8()));
    }

    // A model file elsewhere is checked, then used where it is; forgetting it leaves it.
    void localFiles_data()
    {
        columns<QString, QString>("path", "problem");
        addRow("GGUF version 3", TOVRA_FIXTURES "/stories260K.gguf", "");
        addRow("not a model",
               TOVRA_FIXTURES "/hub/notes.txt",
               "“notes.txt” is not a GGUF model file.");
        addRow("GGUF version 1",
               TOVRA_FIXTURES "/hub/old-v1.gguf",
               "“old-v1.gguf” is GGUF version 1; only versions 2 and 3 can be loaded.");
    }

    void localFiles()
    {
        const auto [path, problem] = fetch<QString, QString>("path", "problem");
        const QString name = QFileInfo(path).fileName();
        {
            ModelManager manager;
            QCOMPARE(manager.addLocalFile(path), problem);
            QCOMPARE(libraryEntry(manager, name).has_value(), problem.isEmpty());
        }
        ModelManager next;
        const auto kept = libraryEntry(next, name);
        QCOMPARE(kept.has_value(), problem.isEmpty());
        if (!kept)
            return;
        QCOMPARE(kept->first.source, ModelSource::Local);
        QCOMPARE(ModelManager::filePath(kept->first, kept->second), path);
        QVERIFY(kept->second.isDownloaded);
        QSignalSpy removed(&next, &ModelManager::modelFileRemoved);
        next.deleteModel(kept->first, kept->second);
        QCOMPARE(removed.count(), 1);
        QVERIFY(!libraryEntry(next, name));
        QVERIFY(QFileInfo(path).isFile());
        QVERIFY(!libraryEntry(ModelManager(), name));
    }
};

TOVRA_TEST_MAIN(ModelsTest, QCoreApplication)
#include "tst_models.moc"
