#include "core/agentstate.h"
#include "ui/chatlogic.h"
#include "ui/chatoperations.h"
#include "ui/confetti.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/support/testenvironment.h"

namespace {
Message message(const QString &role, const QString &content)
{
    return Message::make(role, content);
}

QStringList roles(const QList<Message> &messages)
{
    QStringList out;
    for (const Message &m : messages)
        out << m.role + u':' + m.content;
    return out;
}
} // namespace

// The chat screen's rules: what may be sent, how names are shortened, what a dropped
// file puts in the box, the approval rows, the confetti and the conversation cuts.
class ChatLogicTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void submit_data();
    void submit();
    void modelName_data();
    void modelName();
    void speedText();
    void attachment_data();
    void attachment();
    void attachmentOfNonFileUrlChangesNothing();
    void approvalRows();
    void capitalisation_data();
    void capitalisation();
    void confettiParticles();
    void editCut();
    void retryCut();
    void editAndRetryThroughTheStore();
    void celebrationOnlyOnceForAGoodReply();

private:
    QTemporaryDir m_dir;
};

void ChatLogicTest::submit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isLoading");
    QTest::addColumn<bool>("expected");
    QTest::newRow("text") << "Hi" << false << true;
    QTest::newRow("only spaces and line breaks") << " \n\t \r\n" << false << false;
    QTest::newRow("empty") << "" << false << false;
    QTest::newRow("while a reply is generated") << "Hi" << true << false;
    QTest::newRow("padded text") << "\n  Hi \n" << false << true;
}

void ChatLogicTest::submit()
{
    QFETCH(QString, text);
    QFETCH(bool, isLoading);
    QFETCH(bool, expected);
    QCOMPARE(canSubmit(text, isLoading), expected);
}

void ChatLogicTest::modelName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("four words unchanged") << "Llama 3.2 3B Instruct"
                                          << "Llama 3.2 3B Instruct";
    QTest::newRow("five words") << "Qwen 2.5 7B Instruct Q4_K_M"
                                << "Qwen 2.5 7B Q4_K_M";
    QTest::newRow("six words") << "A B C D E F"
                               << "A B C F";
    QTest::newRow("one word") << "Phi"
                              << "Phi";
    QTest::newRow("empty") << ""
                           << "";
}

void ChatLogicTest::modelName()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(shortModelName(name), expected);
}

void ChatLogicTest::speedText()
{
    QCOMPARE(ChatLogic::speedText(12.4), QStringLiteral("12 tok/s"));
    QCOMPARE(ChatLogic::speedText(99.6), QStringLiteral("100 tok/s"));
}

void ChatLogicTest::attachment_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("inputText");
    QTest::addColumn<QString>("expected");

    const QByteArray x4000(4000, 'x');
    QTest::newRow("capital extension, 4001 characters")
        << "Notes.MD" << x4000 + "y"
        << ""
        << "Contents of Notes.MD:\n```\n" + QString(x4000)
               + "\n\n[File truncated — 1 more characters]\n```";
    QTest::newRow("exactly 4000 characters")
        << "a.txt" << x4000 << ""
        << "Contents of a.txt:\n```\n" + QString(x4000) + "\n```";
    // 4001 characters of two code units each: cut after the 4000th character, not the 4000th unit.
    const QString accented = QStringLiteral("e\u0301").repeated(4000);
    QTest::newRow("characters, not code units")
        << "a.py" << (accented + QStringLiteral("e\u0301e\u0301")).toUtf8() << ""
        << "Contents of a.py:\n```\n" + accented + "\n\n[File truncated — 2 more characters]\n```";
    QTest::newRow("text file after typed text starts a new line")
        << "main.cpp" << QByteArray("int x;") << "Look:"
        << "Look:\nContents of main.cpp:\n```\nint x;\n```";
    QTest::newRow("other file onto an empty box") << "photo.png" << QByteArray("\x89PNG") << ""
                                                  << "photo.png";
    QTest::newRow("other file after typed text") << "report.pdf" << QByteArray("%PDF") << "See"
                                                 << "See report.pdf";
    QTest::newRow("text extension, not UTF-8") << "bad.txt" << QByteArray("ok \xff\xfe no") << ""
                                               << "bad.txt";
    QTest::newRow("hidden file without extension") << ".txt" << QByteArray("secret") << ""
                                                   << ".txt";
    QTest::newRow("text file over 16 MiB goes by name")
        << "huge.log" << QByteArray(16 * 1024 * 1024 + 1, 'a') << ""
        << "huge.log";
}

void ChatLogicTest::attachment()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, inputText);
    QFETCH(QString, expected);
    const QString path = m_dir.filePath(fileName);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    QCOMPARE(ChatLogic::attachDroppedFile(inputText, QUrl::fromLocalFile(path)), expected);
}

void ChatLogicTest::attachmentOfNonFileUrlChangesNothing()
{
    QCOMPARE(ChatLogic::attachDroppedFile(QStringLiteral("Hi"),
                                          QUrl(QStringLiteral("https://example.com/a.txt"))),
             QStringLiteral("Hi"));
    // A file that cannot be read goes in by name; so does a folder.
    QCOMPARE(withAttachedFile(QString(), m_dir.filePath(QStringLiteral("missing.md"))),
             QStringLiteral("missing.md"));
    QCOMPARE(withAttachedFile(QStringLiteral("a"), m_dir.path() + QStringLiteral("/")),
             QStringLiteral("a ") + QFileInfo(m_dir.path()).fileName());
}

void ChatLogicTest::approvalRows()
{
    const QVariantList rows = ChatLogic::approvalArguments({{"text", "t"},
                                                            {"path", "/tmp/a"},
                                                            {"content", "c"},
                                                            {"model_name", "m"},
                                                            {"Zeta", "z"},
                                                            {"app_name", "Notes"}});
    QStringList seen;
    for (const QVariant &row : rows) {
        const QVariantMap map = row.toMap();
        seen << map.value("label").toString() + u'=' + map.value("value").toString() + u'@'
                    + map.value("icon").toString();
    }
    QCOMPARE(seen,
             QStringList({"Zeta=z@chevron.right",
                          "App_name=Notes@app.badge",
                          "Content=c@doc.text",
                          "Model_name=m@chevron.right",
                          "Path=/tmp/a@folder",
                          "Text=t@text.quote"}));
    QCOMPARE(ChatLogic::toolTitle("open_app"), QStringLiteral("Open Application"));
    QCOMPARE(ChatLogic::toolDescription("open_app"), QStringLiteral("Launch an application"));
    QCOMPARE(ChatLogic::toolTitle("make_coffee"), QStringLiteral("make_coffee"));
    QVERIFY(ChatLogic::toolDescription("make_coffee").isEmpty());
}

void ChatLogicTest::capitalisation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("underscore is inside a word") << "app_name"
                                                 << "App_name";
    QTest::newRow("words") << "hELLO wide\tWORLD"
                           << "Hello Wide\tWorld";
    QTest::newRow("leading space") << " path"
                                   << " Path";
    QTest::newRow("non-ASCII") << "ärger"
                               << "Ärger";
}

void ChatLogicTest::capitalisation()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(capitalizedWords(text), expected);
}

void ChatLogicTest::confettiParticles()
{
    QSet<QUuid> ids;
    QSet<QRgb> colours;
    for (int round = 0; round < 20; ++round) {
        const QList<ConfettiParticle> particles = makeConfettiParticles();
        QCOMPARE(particles.size(), 60);
        for (const ConfettiParticle &p : particles) {
            QVERIFY(p.xFraction >= 0.02 && p.xFraction <= 0.98);
            QVERIFY(p.startRotation >= 0 && p.startRotation <= 360);
            QVERIFY(p.endRotation >= 360 && p.endRotation <= 1080);
            QVERIFY(p.width >= 7 && p.width <= 15);
            QVERIFY(p.delay >= 0 && p.delay <= 1);
            QVERIFY(p.duration >= 2.0 && p.duration <= 3.5);
            QVERIFY(confettiPalette().contains(p.color));
            ids.insert(p.id);
            colours.insert(p.color.rgb());
        }
    }
    QCOMPARE(ids.size(), 20 * 60);
    QCOMPARE(colours.size(), 9);
}

void ChatLogicTest::editCut()
{
    const QList<Message> messages{message("user", "one"),
                                  message("assistant", "A"),
                                  message("user", "two"),
                                  message("tool_result", "Tool results: x"),
                                  message("assistant", "B")};
    const auto cut = cutForEdit(messages, messages[2].id);
    QVERIFY(cut);
    QCOMPARE(cut->text, QStringLiteral("two"));
    QCOMPARE(roles(cut->kept), QStringList({"user:one", "assistant:A"}));
    QVERIFY(!cutForEdit(messages, QUuid::createUuid()));
}

void ChatLogicTest::retryCut()
{
    const QList<Message> messages{message("user", "one"),
                                  message("assistant", "A"),
                                  message("user", "two"),
                                  message("tool_result", "Tool results: x"),
                                  message("assistant", "Error: boom")};
    const auto cut = cutForRetry(messages, messages[4].id);
    QVERIFY(cut);
    QCOMPARE(cut->text, QStringLiteral("two"));
    QCOMPARE(roles(cut->kept), QStringList({"user:one", "assistant:A"}));
    // No user message before it, or the reply is gone.
    const QList<Message> orphan{message("assistant", "Error: x")};
    QVERIFY(!cutForRetry(orphan, orphan[0].id));
    QVERIFY(!cutForRetry(messages, QUuid::createUuid()));
}

void ChatLogicTest::editAndRetryThroughTheStore()
{
    {
        AgentState state;
        state.startNewChat();
        state.setMessages(
            {message("user", "one"), message("assistant", "Error: boom"), message("user", "two")});
        state.syncActiveSession();
        const QString failedId = uuidText(state.messages()[1].id);
        const QString editedId = uuidText(state.messages()[2].id);
        QCOMPARE(ChatLogic::editFromMessage(&state, editedId), QVariant(QStringLiteral("two")));
        QCOMPARE(ChatLogic::retryFromMessage(&state, failedId), QVariant(QStringLiteral("one")));
        QVERIFY(state.messages().isEmpty());
        // Gone: nothing happens.
        QVERIFY(!ChatLogic::editFromMessage(&state, editedId).isValid());
    }
    // Saved: a new store reads the cut conversation.
    AgentState reloaded;
    QVERIFY(reloaded.activeSession());
    QVERIFY(reloaded.activeSession()->messages.isEmpty());
}

void ChatLogicTest::celebrationOnlyOnceForAGoodReply()
{
    MessageListModel messages;
    messages.setMessages({message("user", "hi"), message("assistant", "Error: boom")});
    QVERIFY(!ChatLogic::claimFirstReplyCelebration(&messages));
    messages.setMessages({message("user", "hi"), message("assistant", "Hello!")});
    QVERIFY(ChatLogic::claimFirstReplyCelebration(&messages));
    QVERIFY(!ChatLogic::claimFirstReplyCelebration(&messages));
}

TOVRA_TEST_MAIN(ChatLogicTest, QCoreApplication)
#include "tst_chatlogic.moc"
