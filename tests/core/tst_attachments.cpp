// Attached files: their place in the archive, in the request, the reading of PDFs, text files
// and pictures, and the app's copies, which go with their chat.
#include "core/agentstate.h"
#include "core/archive.h"
#include "core/attachmentfiles.h"
#include "core/documents/attachmentreader.h"
#include "core/llmclient.h"
#include "tests/support/storedstate.h"
#include "tests/support/testenvironment.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <utime.h>

#include <QCoroTask>

namespace {
const QString fixtures = QStringLiteral(TOVRA_FIXTURES "/documents/");

Message messageWithFiles()
{
    Message message = Message::make(Role::user, QStringLiteral("What time?"));
    message.id = QUuid(QStringLiteral("A1B2C3D4-0000-4000-8000-000000000001"));
    message.timestamp = {2.5};
    message.attachments
        = {{"plan.pdf", Attachment::document, 2048, "/d/plan.pdf", "Opens at 7", {}},
           {"pier.png", Attachment::image, 10, "/d/pier.png", {}, {}}};
    return message;
}

QByteArray pictureBytes(int width, int height, const char *format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

template<typename T>
T await(QCoro::Task<T> task)
{
    return QCoro::waitFor(std::move(task));
}
} // namespace

class AttachmentsTest : public QObject
{
    Q_OBJECT

private slots:
    void archiveForm()
    {
        ChatSession session{QUuid(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF")),
                            "T",
                            {messageWithFiles()},
                            {0},
                            {0},
                            std::nullopt,
                            false};
        const QByteArray form
            = R"([{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","title":"T","messages":[)"
              R"({"id":"A1B2C3D4-0000-4000-8000-000000000001","role":"user","content":"What time?",)"
              R"("timestamp":2.5,"attachments":[)"
              R"({"name":"plan.pdf","kind":"document","size":2048,"storedPath":"/d/plan.pdf",)"
              R"("text":"Opens at 7"},)"
              R"({"name":"pier.png","kind":"image","size":10,"storedPath":"/d/pier.png"}]}],)"
              R"("createdAt":0,"updatedAt":0,"isPinned":false}])";
        QCOMPARE(encodeSessions({session}), form);
        // A data URL is filled in for a request only; it never reaches the archive.
        session.messages[0].attachments[1].dataUrl = QStringLiteral("data:image/png;base64,AA==");
        QCOMPARE(encodeSessions({session}), form);
        session.messages[0].attachments[1].dataUrl.clear();
        QCOMPARE(decodeSessions(form), QList<ChatSession>{session});

        // Without files the key is left out, and an archive without it reads as before.
        session.messages[0].attachments.clear();
        const QByteArray plain = encodeSessions({session});
        QVERIFY(!plain.contains("attachments"));
        QCOMPARE(decodeSessions(plain), QList<ChatSession>{session});
        // A record without its size makes the archive unreadable, as any missing key does.
        QVERIFY(!decodeSessions(QByteArray(form).replace(R"("size":10,)", "")));
    }

    void request()
    {
        Message message = messageWithFiles();
        QCOMPARE(LLMClient::textWithDocuments(message),
                 "What time?\n\nContents of plan.pdf:\n```\nOpens at 7\n```");
        // A model that does not see gets no picture: the content stays text.
        nlohmann::json body = LLMClient::requestBody({message}, "S", 0.5, 10, {});
        QCOMPARE(QString::fromStdString(body["messages"][1]["content"].get<std::string>()),
                 "What time?\n\nContents of plan.pdf:\n```\nOpens at 7\n```");
        message.attachments[1].dataUrl = QStringLiteral("data:image/png;base64,AA==");
        body = LLMClient::requestBody({message}, "S", 0.5, 10, {});
        QCOMPARE(QString::fromStdString(body["messages"][1]["content"].dump()),
                 R"([{"text":"What time?\n\nContents of plan.pdf:\n```\nOpens at 7\n```","type":"text"},)"
                 R"({"image_url":{"url":"data:image/png;base64,AA=="},"type":"image_url"}])");
        // Files without a word still make a message.
        message.content.clear();
        message.attachments.removeFirst();
        body = LLMClient::requestBody({message}, "S", 0.5, 10, {});
        QCOMPARE(body["messages"].size(), size_t(2));
    }

    void read_data()
    {
        columns<QString, QByteArray, QString>("file", "made", "error");
        columns<QString, int>("text", "pages");
        const QString none;
        addRow("pdf with text",
               fixtures + "text.pdf",
               QByteArray(),
               none,
               "The harbour opens at seven.\n\nBoats leave from pier four.",
               2);
        addRow("scanned pdf",
               fixtures + "scanned.pdf",
               QByteArray(),
               "This PDF has no text (scanned pages need OCR)",
               none,
               1);
        addRow("encrypted pdf",
               fixtures + "encrypted.pdf",
               QByteArray(),
               "This PDF is protected by a password",
               none,
               0);
        addRow("damaged pdf",
               "broken.pdf",
               QByteArray("%PDF-1.4\n1 0 obj <<"),
               "This PDF cannot be read (it may be damaged)",
               none,
               0);
        addRow("markdown",
               "notes.md",
               QByteArray("# Ferry\n\nDaily ⛴"),
               none,
               "# Ferry\n\nDaily ⛴",
               0);
        addRow("not utf-8",
               "latin.txt",
               QByteArray("caf\xe9"),
               "This file is not UTF-8 text",
               none,
               0);
        addRow("picture that does not decode",
               "photo.png",
               QByteArray("\x89PNG broken"),
               "This picture cannot be read",
               none,
               0);
        addRow("other file",
               "tool.exe",
               QByteArray("MZ"),
               "Only PDFs, text files and pictures (PNG, JPEG, WebP) can be attached",
               none,
               0);
        addRow("over 64 MB",
               "huge.txt",
               QByteArray("-"),
               "This file is larger than 64 MB, the most that can be attached",
               none,
               0);
    }

    void read()
    {
        const auto [file, made, error]
            = fetch<QString, QByteArray, QString>("file", "made", "error");
        const auto [text, pages] = fetch<QString, int>("text", "pages");
        QTemporaryDir dir;
        QString path = file;
        if (!made.isEmpty()) {
            path = dir.filePath(file);
            QVERIFY(writeTestFile(path, made));
            if (file == QLatin1String("huge.txt"))
                QVERIFY(QFile(path).resize(AttachmentReader::largestFile + 1)); // sparse
        }
        const AttachmentReader::Result result = await(AttachmentReader::readInBackground(path));
        QCOMPARE(result.error, error);
        QCOMPARE(result.draft.text, text);
        QCOMPARE(result.pageCount, pages);
        QCOMPARE(result.draft.name, QFileInfo(path).fileName());
    }

    void pictures_data()
    {
        columns<QString, QSize, QSize, bool>("name", "size", "sent", "unchanged");
        addRow("large png: scaled, still png",
               "wide.png",
               QSize(3072, 1024),
               QSize(1536, 512),
               false);
        addRow("tall jpeg: scaled", "tall.jpg", QSize(800, 2000), QSize(614, 1536), false);
        addRow("small png: as it is", "icon.png", QSize(64, 48), QSize(64, 48), true);
    }

    void pictures()
    {
        const auto [name, size, sent, unchanged]
            = fetch<QString, QSize, QSize, bool>("name", "size", "sent", "unchanged");
        QTemporaryDir dir;
        const QByteArray bytes
            = pictureBytes(size.width(), size.height(), name.endsWith(".png") ? "PNG" : "JPEG");
        QVERIFY(writeTestFile(dir.filePath(name), bytes));
        const AttachmentReader::Result result = AttachmentReader::read(dir.filePath(name));
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.draft.kind, Attachment::image);
        QCOMPARE(QImage::fromData(result.draft.imageBytes).size(), sent);
        QCOMPARE(result.draft.imageBytes == bytes, unchanged);
        QVERIFY(AttachmentFiles::dataUrl(result.draft.imageBytes)
                    .startsWith(name.endsWith(".png") ? "data:image/png;base64,"
                                                      : "data:image/jpeg;base64,"));
    }

    void copiesGoWithTheirChat()
    {
        clearStoredState();
        QTemporaryDir dir;
        QVERIFY(writeTestFile(dir.filePath("plan.md"), "Opens at 7"));
        const QUuid id = QUuid::createUuid();
        const QList<Attachment> stored = await(AttachmentFiles::store(
            id,
            {{"plan.md", Attachment::document, 10, dir.filePath("plan.md"), {}, "Opens at 7"},
             {"pier.png", Attachment::image, 99, {}, pictureBytes(4, 4, "PNG"), {}}}));
        QCOMPARE(stored.size(), 2);
        const QString folder = AttachmentFiles::folderFor(id);
        QCOMPARE(stored[0].storedPath, folder + "/plan.md");
        QCOMPARE(readTestFile(stored[0].storedPath), QByteArray("Opens at 7"));
        QCOMPARE(stored[1].storedPath, folder + "/pier.png");
        QCOMPARE(stored[1].text, QString());
        // Where a copy came from, when it is sent again with an edited message.
        QCOMPARE(AttachmentFiles::messageFolderOf(stored[0].storedPath), uuidText(id));
        QCOMPARE(AttachmentFiles::messageFolderOf(dir.filePath("plan.md")), QString());

        AgentState state;
        ChatSession kept = ChatSession::make(), deleted = ChatSession::make();
        Message message = Message::make(Role::user, "plan");
        message.id = id;
        message.attachments = stored;
        deleted.messages = {message};
        state.setChatSessions({kept, deleted});
        state.setChatSessions({deleted, kept}); // reordered: nothing goes
        QVERIFY(QFileInfo::exists(folder));
        state.setChatSessions({kept});
        QVERIFY(!QFileInfo::exists(folder));

        QVERIFY(QDir().mkpath(AttachmentFiles::folderFor(QUuid::createUuid())));
        state.resetAllData();
        QVERIFY(!QFileInfo::exists(AttachmentFiles::rootFolder()));
    }

    // Copies no chat holds (an edited or retried message's, one never saved) are removed:
    // named ones at once, the others once they are a minute old.
    void unusedCopiesGo_data()
    {
        columns<QString, bool, bool, bool, bool>("folder", "named", "old", "inUse", "removed");
        const QString message = "0F0E0D0C-0000-4000-8000-00000000000A";
        QTest::newRow("an old one of no chat") << message << false << true << false << true;
        QTest::newRow("a new one of no chat") << message << false << false << false << false;
        QTest::newRow("one a chat holds") << message << false << true << true << false;
        QTest::newRow("an edited message's, named") << message << true << false << false << true;
        QTest::newRow("named, but a chat holds it") << message << true << true << true << false;
        QTest::newRow("no message's folder") << "notes" << false << true << false << false;
    }

    void unusedCopiesGo()
    {
        const auto [name, named, old, inUse, removed]
            = fetch<QString, bool, bool, bool, bool>("folder", "named", "old", "inUse", "removed");
        QTemporaryDir root;
        const QString folder = root.filePath(name);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeTestFile(folder + "/plan.md", "Opens at 7"));
        if (old) {
            const time_t hourAgo = time(nullptr) - 3600;
            const utimbuf times{hourAgo, hourAgo};
            QCOMPARE(utime(QFile::encodeName(folder).constData(), &times), 0);
        }
        AttachmentFiles::removeUnused(root.path(),
                                      inUse ? QSet<QString>{name} : QSet<QString>{},
                                      named ? QStringList{name} : QStringList{});
        QCOMPARE(QFileInfo::exists(folder), !removed);
    }
};

TOVRA_TEST_MAIN(AttachmentsTest, QGuiApplication)
#include "tst_attachments.moc"
