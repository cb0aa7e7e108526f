// The hub search, file lists and downloads of any GGUF model against the loopback
// stand-in hub (tests/fixtures/hub), the index that keeps them, and files used in place.
#include "models/hubfilelistmodel.h"
#include "models/hubsearch.h"
#include "models/modelmanager.h"
#include "tests/fixtures/fileserver.h"
#include "tests/support/testenvironment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {
const QString hubFolder = QStringLiteral(TOVRA_FIXTURES "/hub");

QStringList column(const QAbstractItemModel &model, int role)
{
    QStringList values;
    for (int row = 0; row < model.rowCount(); ++row)
        values << model.index(row, 0).data(role).toString();
    return values;
}

// "name quantization size [parts] [!]" per file, "!" for the memory warning.
QStringList fileLines(const HubFileListModel &files)
{
    QStringList lines;
    for (int row = 0; row < files.rowCount(); ++row) {
        const QModelIndex index = files.index(row);
        QStringList parts{index.data(HubFileListModel::FileNameRole).toString(),
                          index.data(HubFileListModel::QuantizationRole).toString(),
                          index.data(HubFileListModel::SizeLabelRole).toString(),
                          index.data(HubFileListModel::PartsTextRole).toString()};
        if (index.data(HubFileListModel::MayExceedMemoryRole).toBool())
            parts << QStringLiteral("!");
        parts.removeAll(QString());
        lines << parts.join(QLatin1Char(' '));
    }
    return lines;
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

class HubModelsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<FileServer> m_server;

    void useMode(const QString &mode) { qputenv("HF_ENDPOINT", m_server->baseURL(mode).toUtf8()); }

    // The repository's files as the hub lists them.
    QList<HubFile> listing(const QString &repo)
    {
        HubSearch search;
        search.expand(repo);
        if (!QTest::qWaitFor([&] { return !search.isListing(); }, 10000))
            return {};
        return search.files();
    }

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

    void search_data()
    {
        QTest::addColumn<QString>("endpoint"); // a mode of the stand-in, or a whole address
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("repos");
        QTest::addColumn<QString>("firstDetail");
        QTest::addColumn<QString>("status");
        addRow("most downloaded first",
               "files",
               "stories",
               QStringList{"bigfolk/Stories-70B-GGUF",
                           "tinyfolk/Stories-260K-GGUF",
                           "tinyfolk/Stories-Split-GGUF",
                           "lockedlab/Stories-Gated-GGUF",
                           "lockedlab/Stories-Approval-GGUF",
                           "tinyfolk/Stories-Tampered-GGUF"},
               "120K downloads · Updated 14 Oct 2026",
               "");
        addRow("narrower text",
               "files",
               "Stories-2",
               QStringList{"tinyfolk/Stories-260K-GGUF"},
               "48.2K downloads · Updated 2 Nov 2026",
               "");
        addRow("nothing found", "files", "llama", QStringList{}, "", "");
        addRow("server error",
               "500",
               "stories",
               QStringList{},
               "",
               "The hub cannot be reached: HTTP 500 Internal Server Error");
        addRow("nobody listening",
               "http://127.0.0.1:9/",
               "stories",
               QStringList{},
               "",
               "The hub cannot be reached: Connection refused");
    }

    void search()
    {
        QFETCH(QString, endpoint);
        QFETCH(QString, text);
        QFETCH(QStringList, repos);
        QFETCH(QString, firstDetail);
        QFETCH(QString, status);
        if (endpoint.startsWith(QLatin1String("http")))
            qputenv("HF_ENDPOINT", endpoint.toUtf8());
        else
            useMode(endpoint);
        HubSearch search;
        search.setInterval(1ms);
        QSignalSpy answered(&search, &HubSearch::resultsChanged);
        search.setQuery(text);
        QVERIFY(search.isActive());
        QVERIFY(answered.wait(10000));
        QCOMPARE(column(search, HubSearch::RepoIdRole), repos);
        QCOMPARE(search.statusText(), status);
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
        QCOMPARE(column(search, HubSearch::RepoIdRole), QStringList{"bigfolk/Stories-70B-GGUF"});
        search.setQuery(QStringLiteral("70"));
        QCOMPARE(search.rowCount(), 0);
        QVERIFY(!search.isActive());
    }

    void files_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("repo");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("status");
        addRow("whole files, quantization from the name",
               "files",
               "tinyfolk/Stories-260K-GGUF",
               QStringList{"stories260K-Q8_0.gguf Q8_0 1 MB",
                           "Stories-260K-IQ3_XS.gguf IQ3_XS 3 MB"},
               "");
        addRow("split parts as one, an incomplete set left out",
               "files",
               "tinyfolk/Stories-Split-GGUF",
               QStringList{"stories-split-Q4_K_M-00001-of-00003.gguf Q4_K_M 0 MB 3 parts"},
               "");
        addRow("too big for memory",
               "files",
               "bigfolk/Stories-70B-GGUF",
               QStringList{"Stories-70B-Q4_K_M.gguf Q4_K_M 40.0 GB !"},
               "");
        addRow("account needed (401)",
               "files",
               "lockedlab/Stories-Gated-GGUF",
               QStringList{},
               "This model needs a hub account and access approval.");
        addRow("approval needed (403)",
               "files",
               "lockedlab/Stories-Approval-GGUF",
               QStringList{},
               "This model needs a hub account and access approval.");
        addRow("server error",
               "500",
               "tinyfolk/Stories-260K-GGUF",
               QStringList{},
               "The hub cannot be reached: HTTP 500 Internal Server Error");
    }

    void files()
    {
        QFETCH(QString, mode);
        QFETCH(QString, repo);
        QFETCH(QStringList, files);
        QFETCH(QString, status);
        useMode(mode);
        HubSearch search;
        HubFileListModel list(&search);
        list.setPhysicalMemoryBytes(8ull << 30);
        search.expand(repo);
        QCOMPARE(search.expandedRepo(), repo);
        QTRY_VERIFY_WITH_TIMEOUT(!search.isListing(), 10000);
        QCOMPARE(fileLines(list), files);
        QCOMPARE(search.filesStatusText(), status);
    }

    void quantization_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("quantization");
        addRow("K quant", "Llama-3.2-3B-Instruct-Q4_K_M.gguf", "Q4_K_M");
        addRow("importance quant, lower case", "qwen2.5-0.5b-instruct-iq3_xs.gguf", "IQ3_XS");
        addRow("dotted", "tiny.Q8_0.gguf", "Q8_0");
        addRow("float, split part", "Mistral-7B-F16-00002-of-00004.gguf", "F16");
        addRow("none named", "model.gguf", "");
    }

    void quantization()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, quantization);
        QCOMPARE(HubApi::quantizationOf(fileName), quantization);
    }

    // Downloaded with the catalogue's machinery into the models folder, all parts of a
    // split file, checked against the listing's SHA-256; a finished one is in the index
    // and in the library of the next run, until one of its files goes.
    void hubDownloads_data()
    {
        QTest::addColumn<QString>("repo");
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<QString>("error");
        const QString tampered
            = QStringLiteral("Download failed: the file's checksum does not match the "
                             "hub's (expected %1, got %2)")
                  .arg(QString(64, QLatin1Char('c')),
                       QString::fromLatin1(
                           digest(hubFolder + QStringLiteral("/stories260K-Q8_0.gguf"))));
        addRow("whole file", "tinyfolk/Stories-260K-GGUF", QStringList{"stories260K-Q8_0.gguf"}, "");
        addRow("split file",
               "tinyfolk/Stories-Split-GGUF",
               QStringList{"stories-split-Q4_K_M-00001-of-00003.gguf",
                           "stories-split-Q4_K_M-00002-of-00003.gguf",
                           "stories-split-Q4_K_M-00003-of-00003.gguf"},
               "");
        addRow("checksum differs", "tinyfolk/Stories-Tampered-GGUF", QStringList{}, tampered);
    }

    void hubDownloads()
    {
        QFETCH(QString, repo);
        QFETCH(QStringList, parts);
        QFETCH(QString, error);
        const QList<HubFile> files = listing(repo);
        QVERIFY(!files.isEmpty());
        const QString folder
            = QDir(ModelManager::modelsDirectory())
                  .filePath(QString(repo).replace(QLatin1Char('/'), QLatin1Char('_')));
        {
            ModelManager manager;
            const QString id = manager.downloadHubFile(repo, files.first());
            QVERIFY(!id.isEmpty());
            QVERIFY(manager.model(QUuid::fromString(id)));
            QTRY_VERIFY_WITH_TIMEOUT(!libraryEntry(manager, repo)->second.isDownloading, 20000);
            QCOMPARE(manager.lastErrorText(), error);
            QCOMPARE(libraryEntry(manager, repo)->second.isDownloaded, error.isEmpty());
            for (const QString &part : parts)
                QCOMPARE(digest(QDir(folder).filePath(part)), digest(hubFolder + '/' + part));
        }
        ModelManager next;
        const auto kept = libraryEntry(next, repo);
        QCOMPARE(kept.has_value(), error.isEmpty());
        if (!kept)
            return;
        QCOMPARE(kept->second.filename, parts.first());
        QVERIFY(kept->second.isDownloaded);
        QCOMPARE(ModelManager::filePath(kept->first, kept->second),
                 QDir(folder).filePath(parts.first()));
        QVERIFY(QFile::remove(QDir(folder).filePath(parts.last())));
        QVERIFY(!libraryEntry(ModelManager(), repo));
        QVERIFY(!readTestFile(QDir(ModelManager::modelsDirectory()).filePath("library.json"))
                     .contains(repo.toUtf8()));
    }

    // A model file elsewhere is checked, then used where it is; forgetting it leaves it.
    void localFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("problem");
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
        QFETCH(QString, path);
        QFETCH(QString, problem);
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

TOVRA_TEST_MAIN(HubModelsTest, QCoreApplication)
#include "tst_hubmodels.moc"
