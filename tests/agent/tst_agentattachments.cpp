// A message with files: the copies kept with it, a document's text in what the engine
// receives, a picture as an image_url part only for a model that sees.
#include "tests/agent/agentfixture.h"
#include "tests/support/testenvironment.h"

#include <QDir>
#include <QTemporaryDir>

class AgentAttachmentsTest : public QObject
{
    Q_OBJECT

private slots:
    void sent_data()
    {
        columns<bool>("sees");
        QTest::newRow("model that sees") << true;
        QTest::newRow("text-only model") << false;
    }

    void sent()
    {
        QFETCH(bool, sees);
        AgentFixture f;
        f.sees = sees;
        f.engine.enqueue({{"pieces", {"A ferry."}}});
        QTemporaryDir dir;
        QVERIFY(writeTestFile(dir.filePath("plan.md"), "Opens at 7"));
        const QByteArray picture("\x89PNG\r\n\x1a\n-not-decoded-here");

        f.manager
            ->send("What is this?",
                   {{"plan.md", Attachment::document, 10, dir.filePath("plan.md"), {}, "Opens at 7"},
                    {"pier.png", Attachment::image, 17, {}, picture, {}}});
        QVERIFY(f.idle());

        const Message asked = f.messages().first();
        QCOMPARE(asked.content, "What is this?");
        QCOMPARE(asked.attachments.size(), 2);
        const QString folder
            = QDir(Paths::appDataDirectory()).filePath("attachments/") + uuidText(asked.id);
        QCOMPARE(asked.attachments[0].storedPath, folder + "/plan.md");
        QCOMPARE(readTestFile(asked.attachments[1].storedPath), picture);
        QCOMPARE(f.messages().last().content, "A ferry.");

        const nlohmann::json content = f.engine.requests().back()["messages"][1]["content"];
        const std::string text = "What is this?\n\nContents of plan.md:\n```\nOpens at 7\n```";
        if (sees) {
            const nlohmann::json parts = nlohmann::json::array(
                {{{"type", "text"}, {"text", text}},
                 {{"type", "image_url"},
                  {"image_url",
                   {{"url", "data:image/png;base64," + picture.toBase64().toStdString()}}}}});
            QCOMPARE(QString::fromStdString(content.dump()), QString::fromStdString(parts.dump()));
        } else {
            QCOMPARE(QString::fromStdString(content.dump()),
                     QString::fromStdString(nlohmann::json(text).dump()));
        }
    }

    // A retried (or edited) message takes copies of its own; the earlier ones go.
    void retriedCopiesGo()
    {
        AgentFixture f;
        f.engine.enqueue({{"pieces", {"At 7."}}});
        f.engine.enqueue({{"pieces", {"At 7, again."}}});
        QTemporaryDir dir;
        QVERIFY(writeTestFile(dir.filePath("plan.md"), "Opens at 7"));
        f.manager->send(
            "When?",
            {{"plan.md", Attachment::document, 10, dir.filePath("plan.md"), {}, "Opens at 7"}});
        QVERIFY(f.idle());
        const Message first = f.messages().first();
        const QString earlier = AttachmentFiles::folderFor(first.id);
        QVERIFY(QFileInfo::exists(earlier));

        f.state->setMessages({}); // the retry cuts the conversation before the message
        f.manager->send("When?", AttachmentFiles::draftsFrom(first.attachments));
        QVERIFY(f.idle());
        const Message again = f.messages().first();
        QCOMPARE(readTestFile(again.attachments.value(0).storedPath), "Opens at 7");
        QTRY_VERIFY(!QFileInfo::exists(earlier));
        QCOMPARE(f.messages().last().content, "At 7, again.");
    }
};

TOVRA_TEST_MAIN(AgentAttachmentsTest, QCoreApplication)
#include "tst_agentattachments.moc"
