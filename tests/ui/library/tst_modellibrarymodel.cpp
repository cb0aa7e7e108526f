// What the model library screen shows, worked out from the managers' state: the search,
// the open card, the transfer and time-left texts, and which control each variant offers.
#include "models/modelmanager.h"
#include "tests/engine/enginetesthelpers.h"
#include "tests/support/testenvironment.h"
#include "ui/library/modellibrarymodel.h"

#include <QAbstractItemModelTester>

using VariantState = ModelLibraryModel::VariantState;

class ModelLibraryTest : public QObject
{
    Q_OBJECT

    static QVariant at(const ModelLibraryModel &library, int row, int role)
    {
        return library.data(library.index(row, 0), role);
    }
    static void place(const ModelManager &manager, int index)
    {
        const HFModel &model = manager.models()[index];
        const QString path = ModelManager::filePath(model, model.variants[0]);
        QVERIFY(writeTestFile(path, "GGUF"));
    }

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void cleanup() { QDir(ModelManager::modelsDirectory()).removeRecursively(); }

    void texts_data()
    {
        columns<qint64, qint64, qint64, double>("downloaded", "total", "resumed", "progress");
        columns<double, QString, QString>("elapsed", "transfer", "timeLeft");
        addRow("no total yet", 1048576ll, 0ll, 0ll, 0.0, 10.0, "1 MB · 0%", "Estimating…");
        QTest::newRow("half after 100 s")
            << 524288000ll << 1048576000ll << 0ll << 0.5 << 100.0 << "500 / 1000 MB · 50%"
            << "1:40 left";
        QTest::newRow("0.9 after 9 s")
            << 943718400ll << 1048576000ll << 0ll << 0.9 << 9.0 << "900 / 1000 MB · 90%"
            << "1s left";
        QTest::newRow("percentage truncated")
            << 1047527424ll << 1048576000ll << 0ll << 0.999 << 999.0 << "999 / 1000 MB · 99%"
            << "1s left";
        QTest::newRow("not past 2%")
            << 20971520ll << 1048576000ll << 0ll << 0.02 << 100.0 << "20 / 1000 MB · 2%"
            << "Estimating…";
        QTest::newRow("under half a second")
            << 524288000ll << 1048576000ll << 0ll << 0.5 << 0.4 << "500 / 1000 MB · 50%"
            << "Estimating…";
        // Half the file was on disk already: this transfer is half done after 100 s.
        QTest::newRow("resumed") << 786432000ll << 1048576000ll << 524288000ll << 0.75 << 100.0
                                 << "750 / 1000 MB · 75%"
                                 << "1:40 left";
    }

    void texts()
    {
        const auto [downloaded, total] = fetch<qint64, qint64>("downloaded", "total");
        const auto [resumed, progress, elapsed]
            = fetch<qint64, double, double>("resumed", "progress", "elapsed");
        QTEST(ModelLibraryModel::transferText(downloaded, total, progress), "transfer");
        QTEST(ModelLibraryModel::timeLeftText(ModelLibraryModel::transferProgress(downloaded,
                                                                                  total,
                                                                                  resumed,
                                                                                  progress),
                                              elapsed),
              "timeLeft");
    }

    void search_data()
    {
        columns<QString, QStringList>("text", "shown");
        addRow("description", "compact", QStringList{"Qwen 2.5 3B Instruct"});
        QTest::newRow("name, any case")
            << "LLAMA" << QStringList{"Llama 3.2 3B Instruct", "Llama 3.1 8B Instruct"};
        addRow("no match", "mistral", QStringList{});
    }

    void search()
    {
        QFETCH(QString, text);
        ModelManager manager;
        ModelLibraryModel library;
        QAbstractItemModelTester
            libraryTester(&library, QAbstractItemModelTester::FailureReportingMode::QtTest);
        library.setModelManager(&manager);
        library.setSearchText(text);
        const QStringList shown = roleTexts(library, ModelListModel::DisplayNameRole);
        QTEST(shown, "shown");
        QCOMPARE(library.count(), shown.size());
    }

    // "Loaded" only while the engine runs with that file; every downloaded variant reads
    // "Loading…" during any start.
    void loadedState()
    {
        ModelManager manager;
        ServerManager server(enginetest::standinOptions());
        ModelLibraryModel library;
        QAbstractItemModelTester
            libraryTester(&library, QAbstractItemModelTester::FailureReportingMode::QtTest);
        library.setModelManager(&manager);
        library.setServerManager(&server);
        place(manager, 0);
        place(manager, 2);
        manager.refreshDownloadStatus();
        const auto states = [&] {
            QList<VariantState> result;
            for (int row = 0; row < 3; ++row)
                result << at(library, row, ModelLibraryModel::VariantStateRole).value<VariantState>();
            return result;
        };
        const auto buttons = [&] {
            return QStringList{at(library, 0, ModelLibraryModel::LoadButtonTextRole).toString(),
                               at(library, 2, ModelLibraryModel::LoadButtonTextRole).toString()};
        };
        QCOMPARE(states(), (QList{VariantState::Load, VariantState::Download, VariantState::Load}));
        QCOMPARE(buttons(), (QStringList{"Load", "Load"}));

        library.load(0);
        QVERIFY(server.isStarting());
        QCOMPARE(buttons(), (QStringList{"Loading…", "Loading…"}));
        QTRY_VERIFY_WITH_TIMEOUT(server.isRunning(), 30000);
        QCOMPARE(server.activeModelNameText(), "Llama 3.2 3B Instruct Q4_K_M");
        QCOMPARE(states(),
                 (QList{VariantState::Loaded, VariantState::Download, VariantState::Load}));
        QCOMPARE(buttons(), (QStringList{"Load", "Load"}));
        // Focus after a load goes to the card, never to the trash button beside "Loaded".
        QCOMPARE(at(library, 0, ModelLibraryModel::FocusTargetRole),
                 QVariant::fromValue(ModelLibraryModel::FocusTarget::Card));

        library.stopServer();
        QTRY_VERIFY_WITH_TIMEOUT(!server.isRunning(), 30000);
        QCOMPARE(states(), (QList{VariantState::Load, VariantState::Download, VariantState::Load}));
    }
};

TOVRA_TEST_MAIN(ModelLibraryTest, QCoreApplication)
#include "tst_modellibrarymodel.moc"
