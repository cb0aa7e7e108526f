#include "core/archive.h"
#include "tests/support/testenvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <nlohmann/json.hpp>

#include <csignal>
#include <sys/resource.h>

using nlohmann::json;

namespace {
const char *validSession
    = "{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"title\":\"Trip\",\"messages\":["
      "{\"id\":\"A1B2C3D4-0000-4000-8000-000000000001\",\"role\":\"user\",\"content\":\"hi\","
      "\"timestamp\":12.5}],"
      "\"createdAt\":0,\"updatedAt\":1.25,\"isPinned\":false}";

ChatSession richSession()
{
    ChatSession session = ChatSession::make();
    session.title = QStringLiteral("Ünïcode \"quoted\" \\ title\n\t\x01");
    session.systemPromptOverride = QStringLiteral("Be terse.");
    session.isPinned = true;
    session.createdAt = {123456789.123456};
    session.updatedAt = {-5.5};
    Message user = Message::make(Role::user, QStringLiteral("Open Safari please 🚀"));
    Message assistant = Message::make(Role::assistant, QString());
    ToolCall call{QStringLiteral("call-1"),
                  QStringLiteral("open_app"),
                  {{QStringLiteral("name"), QStringLiteral("Safari")},
                   {QStringLiteral("z"), QString()}},
                  ToolStatus::Completed,
                  QStringLiteral("Opened Safari")};
    ToolCall denied{newUuidText(),
                    QStringLiteral("delete_file"),
                    {},
                    ToolStatus::Denied,
                    std::nullopt};
    assistant.toolCalls = QList<ToolCall>{call, denied};
    Message emptyCalls = Message::make(Role::toolResult,
                                       QStringLiteral("[open_app]: Opened Safari"),
                                       QList<ToolCall>{});
    session.messages = {user, assistant, emptyCalls};
    return session;
}
} // namespace

class ArchiveTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void roundTripIsExact()
    {
        const QList<ChatSession> sessions{richSession(), ChatSession::make()};
        const QByteArray bytes = encodeSessions(sessions);
        const auto decoded = decodeSessions(bytes);
        QVERIFY(decoded);
        QCOMPARE(*decoded, sessions);
        QCOMPARE(encodeSessions(*decoded), bytes);
    }

    void formIsCompactAndOrdered()
    {
        ChatSession session = ChatSession::make();
        session.createdAt = {0};
        session.updatedAt = {1.5};
        session.messages = {Message::make(Role::user, QStringLiteral("x"))};
        session.messages[0].timestamp = {2.25};
        const QByteArray bytes = encodeSessions({session});
        const QString id = uuidText(session.id);
        QVERIFY(id == id.toUpper());
        const QByteArray expected = "[{\"id\":\"" + id.toUtf8()
                                    + "\",\"title\":\"New Chat\",\"messages\":[{\"id\":\""
                                    + uuidText(session.messages[0].id).toUtf8()
                                    + "\",\"role\":\"user\",\"content\":\"x\",\"timestamp\":2.25}],"
                                      "\"createdAt\":0,\"updatedAt\":1.5,\"isPinned\":false}]";
        QCOMPARE(bytes, expected);
        QCOMPARE(encodeSessions({}), QByteArray("[]"));
    }

    void agreesWithAJsonParser()
    {
        const QByteArray bytes = encodeSessions({richSession()});
        const json parsed = json::parse(bytes.toStdString());
        const json &session = parsed.at(0);
        QCOMPARE(QString::fromStdString(session.at("title").get<std::string>()),
                 richSession().title);
        QCOMPARE(session.at("createdAt").get<double>(), 123456789.123456);
        QVERIFY(!session.at("messages").at(0).contains("toolCalls"));
        QCOMPARE(session.at("messages").at(2).at("toolCalls").size(), size_t(0));
        QVERIFY(!session.at("messages").at(1).at("toolCalls").at(1).contains("result"));
        // nlohmann keeps objects sorted; order is checked on the raw text instead.
        QVERIFY(bytes.indexOf("\"id\"") < bytes.indexOf("\"title\""));
        QVERIFY(bytes.indexOf("\"updatedAt\"") < bytes.indexOf("\"systemPromptOverride\""));
        QVERIFY(bytes.indexOf("\"systemPromptOverride\"") < bytes.indexOf("\"isPinned\""));
    }

    // Text that has no UTF-8 form is written as U+FFFD, and the document stays
    // valid for any JSON reader.
    void loneSurrogatesBecomeReplacementCharacters()
    {
        ChatSession session = ChatSession::make();
        session.title = QString(QChar(0xD800)) + QStringLiteral("a") + QChar(0xDC00)
                        + QStringLiteral("\u0007😀");
        const QByteArray bytes = encodeSessions({session});
        QVERIFY(nlohmann::json::accept(bytes.toStdString()));
        const auto decoded = decodeSessions(bytes);
        QVERIFY(decoded);
        QCOMPARE(decoded->first().title, QStringLiteral("\uFFFDa\uFFFD\u0007😀"));
        QVERIFY(bytes.contains("\\u0007"));
    }

    void readingRules_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("readable");
        const QByteArray valid = validSession;
        auto replaced = [&](const char *from, const char *to) {
            return "[" + QByteArray(valid).replace(from, to) + "]";
        };
        QTest::newRow("valid") << "[" + valid + "]" << true;
        QTest::newRow("empty array") << QByteArray("[]") << true;
        QTest::newRow("unknown keys ignored")
            << replaced("\"isPinned\"", "\"extra\":[1,{}],\"isPinned\"") << true;
        QTest::newRow("null prompt is absent")
            << replaced("\"isPinned\"", "\"systemPromptOverride\":null,\"isPinned\"") << true;
        QTest::newRow("null toolCalls")
            << replaced("\"timestamp\":12.5", "\"timestamp\":12.5,\"toolCalls\":null") << true;
        QTest::newRow("lower-case id") << replaced("6F9619FF-8B86-D011-B42D-00C04FC964FF",
                                                   "6f9619ff-8b86-d011-b42d-00c04fc964ff")
                                       << true;
        QTest::newRow("integer date") << replaced("12.5", "12") << true;
        QTest::newRow("missing isPinned") << replaced(",\"isPinned\":false", "") << false;
        QTest::newRow("missing title") << replaced("\"title\":\"Trip\",", "") << false;
        QTest::newRow("null title") << replaced("\"Trip\"", "null") << false;
        QTest::newRow("string date") << replaced("\"createdAt\":0", "\"createdAt\":\"0\"") << false;
        QTest::newRow("bad id") << replaced("6F9619FF-8B86-D011-B42D-00C04FC964FF", "not-a-uuid")
                                << false;
        // QUuid would read the braced form; the archive holds ids only without braces.
        QTest::newRow("braced id") << replaced("6F9619FF-8B86-D011-B42D-00C04FC964FF",
                                               "{6F9619FF-8B86-D011-B42D-00C04FC964FF}")
                                   << false;
        QTest::newRow("pin as number") << replaced("\"isPinned\":false", "\"isPinned\":0") << false;
        QTest::newRow("status running")
            << replaced("\"timestamp\":12.5",
                        "\"timestamp\":12.5,\"toolCalls\":[{\"id\":\"x\",\"name\":\"n\","
                        "\"arguments\":{},\"status\":\"running\"}]")
            << false;
        QTest::newRow("argument not text")
            << replaced("\"timestamp\":12.5",
                        "\"timestamp\":12.5,\"toolCalls\":[{\"id\":\"x\",\"name\":\"n\","
                        "\"arguments\":{\"a\":1},\"status\":\"pending\"}]")
            << false;
        QTest::newRow("object, not array") << valid << false;
        QTest::newRow("truncated") << ("[" + valid).left(60) << false;
        QTest::newRow("garbage") << QByteArray("\xff\xfe\x00garbage", 10) << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void readingRules()
    {
        QFETCH(QByteArray, document);
        QFETCH(bool, readable);
        QCOMPARE(decodeSessions(document).has_value(), readable);
    }

    void absentFieldsStayAbsent()
    {
        const QByteArray valid = validSession;
        const auto sessions
            = decodeSessions("["
                             + QByteArray(valid).replace("\"timestamp\":12.5",
                                                         "\"timestamp\":12.5,\"toolCalls\":null")
                             + "]");
        QVERIFY(sessions);
        const ChatSession &session = sessions->first();
        QCOMPARE(session.createdAt.toDateTime(), QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
        QVERIFY(!session.systemPromptOverride);
        QVERIFY(!session.messages.first().toolCalls);
        QVERIFY(!encodeSessions(*sessions).contains("toolCalls"));
        QVERIFY(!encodeSessions(*sessions).contains("systemPromptOverride"));
    }

    // A write that cannot complete (here: the file size limit) leaves the earlier export as it was.
    void failedExportKeepsExistingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("chats.json"));
        QCOMPARE(writeChatsFile({richSession()}, path), QString());
        const QByteArray before = readAll(path);

        QList<ChatSession> many;
        for (int i = 0; i < 200; ++i)
            many.append(richSession());
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit small = previous;
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
        const QString failure = writeChatsFile(many, path);
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);

        QCOMPARE(failure, QStringLiteral("File too large"));
        QCOMPARE(readAll(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("chats.json")});
    }

private:
    static QByteArray readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TOVRA_TEST_MAIN(ArchiveTest, QCoreApplication)
#include "tst_archive.moc"
