// The chips of the files attached to the message being typed: what each says, what goes,
// and what a model that does not see, or a context too small, keeps back.
#include "agent/agentmanager.h"
#include "agent/enginechoice.h"
#include "tests/engine/enginetesthelpers.h"
#include "tests/support/storedstate.h"
#include "tests/support/testenvironment.h"
#include "ui/chat/attachmentlistmodel.h"
#include "ui/chat/chatlogic.h"

#include <QAbstractItemModelTester>
#include <QGuiApplication>
#include <QTemporaryDir>

namespace {
const QString fixtures = QStringLiteral(TOVRA_FIXTURES "/documents/");
using Model = AttachmentListModel;

QStringList column(const Model &model, int role)
{
    return roleTexts(model, role);
}
bool allRead(const Model &model)
{
    return QTest::qWaitFor(
        [&] { return !column(model, Model::IsReadingRole).contains(QStringLiteral("true")); });
}
QUrl fixture(const char *name)
{
    return QUrl::fromLocalFile(fixtures + QLatin1String(name));
}
} // namespace

class AttachmentListTest : public QObject
{
    Q_OBJECT

private slots:
    void chips()
    {
        ServerManager local(enginetest::standinOptions()); // not started: no sight, no context
        EngineChoice engine(&local, nullptr);
        Model model;
        QAbstractItemModelTester tester(&model);
        model.setEngine(&engine);
        QTemporaryDir dir;
        QVERIFY(writeTestFile(dir.filePath("pier.png"), "\x89PNG broken"));

        QVERIFY(Model::isAttachable(fixture("text.pdf")));
        QVERIFY(!Model::isAttachable(QUrl::fromLocalFile("/tmp/tool.exe")));
        model.addFile(fixture("text.pdf"));
        QCOMPARE(column(model, Model::DetailRole), QStringList{"Reading…"});
        QVERIFY(model.holdsSend());
        model.addFile(fixture("scanned.pdf"));
        model.addFile(fixture("encrypted.pdf"));
        model.addFile(QUrl::fromLocalFile(dir.filePath("pier.png")));
        QVERIFY(allRead(model));

        QCOMPARE(column(model, Model::NameRole),
                 (QStringList{"text.pdf", "scanned.pdf", "encrypted.pdf", "pier.png"}));
        QCOMPARE(column(model, Model::SizeTextRole),
                 (QStringList{"882 bytes", "808 bytes", "2 KB", "11 bytes"}));
        QCOMPARE(column(model, Model::DetailRole),
                 (QStringList{"2 pages · about 14 tokens", "", "", ""}));
        QCOMPARE(column(model, Model::ProblemRole),
                 (QStringList{"",
                              "This PDF has no text (scanned pages need OCR)",
                              "This PDF is protected by a password",
                              "This picture cannot be read"}));
        // Only what can go goes; the others keep nothing back.
        QVERIFY(!model.holdsSend());
        QCOMPARE(model.sendable().size(), 1);
        QCOMPARE(model.sendable().first().text.left(27), "The harbour opens at seven.");
        model.remove(0);
        QVERIFY(!model.hasSendable());

        // A picture that decodes, for a model that does not see.
        const QString photo = dir.filePath("photo.png");
        QImage(40, 30, QImage::Format_RGB32).save(photo);
        model.addFile(QUrl::fromLocalFile(photo));
        QVERIFY(allRead(model));
        QCOMPARE(column(model, Model::ProblemRole).last(), "This model cannot see images");
        QVERIFY(!model.hasSendable());
        QCOMPARE(Model::sizeText(1.5 * 1024 * 1024), "1.5 MB");
    }

    void seeingModelWithSmallContext()
    {
        ServerManager local(enginetest::standinOptions());
        EngineChoice engine(&local, nullptr);
        LaunchSettings settings{QStringLiteral("/models/tiny.gguf"), QStringLiteral("Tiny")};
        settings.contextSize = 256; // one slot: a reply keeps 64, files get 192
        settings.projectorPath = QStringLiteral("/models/mmproj-tiny.gguf");
        enginetest::run(local.startServer(settings));
        QVERIFY(engine.seesImages());
        Model model;
        model.setEngine(&engine);
        QTemporaryDir dir;
        QVERIFY(writeTestFile(dir.filePath("log.txt"), QByteArray(1000, 'x')));
        QImage(40, 30, QImage::Format_RGB32).save(dir.filePath("photo.png"));

        model.addFile(QUrl::fromLocalFile(dir.filePath("photo.png")));
        model.addFile(QUrl::fromLocalFile(dir.filePath("log.txt")));
        QVERIFY(allRead(model));
        // The engine's own count (/tokenize): 250 tokens, more than there is room for.
        QTRY_COMPARE(column(model, Model::DetailRole).last(), "about 250 tokens");
        QCOMPARE(column(model, Model::ProblemRole),
                 (QStringList{"", "Too long for the model's context (room for about 192 tokens)"}));
        QVERIFY(model.holdsSend());
        QCOMPARE(model.data(model.index(1), Model::CanSendPartRole), true);

        model.sendFirstPart(1);
        QCOMPARE(column(model, Model::DetailRole).last(), "about 183 tokens · first part");
        QCOMPARE(column(model, Model::ProblemRole), (QStringList{"", ""}));
        QVERIFY(!model.holdsSend());
        QCOMPARE(model.sendable().size(), 2);
        QCOMPARE(model.sendable().last().text.size(), 729);
        enginetest::run(local.stopServer());
    }

    // An edited message brings its files back as chips; a retried one sends them again.
    void editAndRetryKeepFiles()
    {
        clearStoredState();
        StandinEngine engine;
        AgentState state;
        AgentManager agent(&state,
                           EngineAccess{[] { return true; }, [&engine] { return engine.port(); }});
        agent.setCompletionSoundCommand({});
        QTemporaryDir dir;
        QVERIFY(writeTestFile(dir.filePath("plan.md"), "Opens at 7"));
        Message asked = Message::make(Role::user, "When?");
        asked.attachments
            = {{"plan.md", Attachment::document, 10, dir.filePath("plan.md"), "Opens at 7", {}},
               {"lost.png", Attachment::image, 5, {}, {}, {}}};
        const Message failed = Message::errorReply("The engine stopped.");
        state.setMessages({asked, failed});

        Model model;
        model.restoreFiles(&state, uuidText(asked.id));
        QCOMPARE(column(model, Model::NameRole),
                 QStringList{"plan.md"}); // a picture never kept stays out
        QCOMPARE(model.sendable().first().text, "Opens at 7");

        QVERIFY(ChatLogic::retryWithFiles(&agent, &state, uuidText(failed.id)));
        QVERIFY(QTest::qWaitFor([&] { return !agent.isBusy(); }, 20000));
        const Message again = state.messages().first();
        QCOMPARE(again.content, "When?");
        QCOMPARE(again.attachments.size(), 1);
        QCOMPARE(readTestFile(again.attachments.first().storedPath), QByteArray("Opens at 7"));
        QVERIFY(again.attachments.first().storedPath.contains(uuidText(again.id)));
    }
};

TOVRA_TEST_MAIN(AttachmentListTest, QGuiApplication)
#include "tst_attachmentlist.moc"
