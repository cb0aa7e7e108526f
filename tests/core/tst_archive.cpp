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

// Every field the archive knows, with fixed ids, so that its exact form can be written down.
ChatSession richSession()
{
    const auto message = [](const char *id, const QString &role, const QString &content) {
        Message message{QUuid(QString::fromLatin1(id)), role, content, {2.25}, std::nullopt};
        return message;
    };
    ChatSession session{QUuid(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF")),
                        QStringLiteral("\"q\" \\ é\n\t\x01"),
                        {message("A1B2C3D4-0000-4000-8000-000000000001", Role::user, "Open 🚀"),
                         message("A1B2C3D4-0000-4000-8000-000000000002", Role::assistant, ""),
                         message("A1B2C3D4-0000-4000-8000-000000000003", Role::toolResult, "r")},
                        {123456789.123456},
                        {-5.5},
                        QStringLiteral("Be terse."),
                        true};
    session.messages[1].toolCalls
        = QList<ToolCall>{{"call-1",
                           "open_app",
                           {{"name", "Safari"}, {"z", ""}},
                           ToolStatus::Completed,
                           "Opened"},
                          {"call-2", "delete_file", {}, ToolStatus::Denied, std::nullopt}};
    session.messages[2].toolCalls = QList<ToolCall>{};
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

    // Compact, in a fixed key order, escaped as JSON requires; absent fields are left out,
    // an empty list of tool calls is kept.
    void exactForm()
    {
        const QByteArray bytes = encodeSessions({richSession()});
        // Written with ' for " to stay readable.
        QCOMPARE(
            bytes,
            QByteArray(
                "[{'id':'6F9619FF-8B86-D011-B42D-00C04FC964FF','title':'\\'q\\' \\\\ "
                "é\\n\\t\\u0001',"
                "'messages':[{'id':'A1B2C3D4-0000-4000-8000-000000000001','role':'user',"
                "'content':'Open 🚀','timestamp':2.25},{'id':'A1B2C3D4-0000-4000-8000-000000000002',"
                "'role':'assistant','content':'','timestamp':2.25,'toolCalls':[{'id':'call-1',"
                "'name':'open_app','arguments':{'name':'Safari','z':''},'status':'completed',"
                "'result':'Opened'},{'id':'call-2','name':'delete_file','arguments':{},"
                "'status':'denied'}]},{'id':'A1B2C3D4-0000-4000-8000-000000000003',"
                "'role':'tool_result','content':'r','timestamp':2.25,'toolCalls':[]}],"
                "'createdAt':123456789.123456,'updatedAt':-5.5,'systemPromptOverride':'Be terse.',"
                "'isPinned':true}]")
                .replace('\'', '"'));
        QVERIFY(json::accept(bytes.toStdString()));
        QCOMPARE(encodeSessions({}), QByteArray("[]"));
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
        QTest::newRow("lower-case id") << replaced("6F9619FF-8B86-D011-B42D-00C04FC964FF",
                                                   "6f9619ff-8b86-d011-b42d-00c04fc964ff")
                                       << true;
        QTest::newRow("integer date") << replaced("12.5", "12") << true;
        QTest::newRow("missing isPinned") << replaced(",\"isPinned\":false", "") << false;
        QTest::newRow("missing title") << replaced("\"title\":\"Trip\",", "") << false;
        QTest::newRow("null title") << replaced("\"Trip\"", "null") << false;
        QTest::newRow("string date") << replaced("\"createdAt\":0", "\"createdAt\":\"0\"") << false;
        addRow("bad id", replaced("6F9619FF-8B86-D011-B42D-00C04FC964FF", "not-a-uuid"), false);
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
        QVERIFY(!session.messages.first().toolCalls); // and so not written (exactForm)
    }

    // A write that cannot complete (here: the file size limit) leaves the earlier export as it was.
    void failedExportKeepsExistingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("chats.json"));
        QCOMPARE(writeChatsFile({richSession()}, path), QString());
        const QByteArray before = readTestFile(path);

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
        QCOMPARE(readTestFile(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("chats.json")});
    }
};

TOVRA_TEST_MAIN(ArchiveTest, QCoreApplication)
#include "tst_archive.moc"
