#include "core/httpresponseparser.h"
#include "core/llmclient.h"
#include "tests/support/standinengine.h"
#include "tests/support/testenvironment.h"

#include <QCoroTask>

using nlohmann::json;

Q_DECLARE_METATYPE(json)
Q_DECLARE_METATYPE(QList<Message>)
using State = HttpResponseParser::State;

namespace {
json chunk(const json &delta)
{
    return {{"choices", json::array({{{"index", 0}, {"delta", delta}}})}};
}
std::string data(const json &delta)
{
    return "data: " + chunk(delta).dump();
}
json toolFragment(const json &fragment)
{
    return {{"tool_calls", json::array({fragment})}};
}

// A piece as the tests write it: the answer's text as it is, thinking after "think:", and
// "was thinking:" for an answer that turned out to be thinking.
QString written(const ReplyPiece &piece)
{
    switch (piece.kind) {
    case ReplyPiece::Kind::Content:
        return piece.text;
    case ReplyPiece::Kind::Reasoning:
        return "think:" + piece.text;
    case ReplyPiece::Kind::EarlierContentIsReasoning:
        break;
    }
    return "was thinking:" + piece.text;
}

struct Run
{
    ChatResult result;
    QStringList pieces;
};

// A call left running while the test goes on.
struct Pending : Run
{
    bool finished = false;
    QCoro::Task<> task;

    explicit Pending(LLMClient &client)
        : task(run(client))
    {}

    // GCC 12 rejects braced initializers inside co_await expressions.
    QCoro::Task<> run(LLMClient &client)
    {
        const QList<Message> history{Message::make(Role::user, "go")};
        result = co_await client.streamChat(history,
                                            QString(),
                                            0.7,
                                            16,
                                            json::array(),
                                            [this](const ReplyPiece &piece) {
                                                pieces.append(written(piece));
                                            });
        finished = true;
    }
};
} // namespace

class LLMClientTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StandinEngine> m_engine;

    Run chat(LLMClient &client,
             const QList<Message> &history = {Message::make(Role::user, "Hi")},
             const json &tools = json::array())
    {
        Run run;
        run.result = QCoro::waitFor(
            client.streamChat(history, "Be brief.", 0.5, 64, tools, [&run](const ReplyPiece &piece) {
                run.pieces.append(written(piece));
            }));
        return run;
    }

private slots:
    void initTestCase()
    {
        m_engine = std::make_unique<StandinEngine>();
        QVERIFY2(m_engine->isRunning(), "the stand-in engine did not start");
    }

    void init()
    {
        failOnUnexpectedWarnings();
        m_engine->reset();
    }

    // The whole body, literally: history rules, "tools" only when there are some, the
    // thinking of the current turn only, and the switch that asks the model not to think.
    void requestBody_data()
    {
        columns<QList<Message>, json, json, bool>("history", "tools", "messages", "thinking");
        const json system = {{"role", "system"}, {"content", "Be brief."}};
        QTest::newRow("one user message")
            << QList<Message>{Message::make(Role::user, "Hi")} << json::array()
            << json::array({system, {{"role", "user"}, {"content", "Hi"}}}) << true;
        const auto thought = [](const QString &content, const QString &reasoning) {
            Message message = Message::make(Role::assistant, content);
            message.reasoning = reasoning;
            message.reasoningSeconds = 1.5;
            return message;
        };
        QTest::newRow("thinking of this turn, not thinking")
            << QList<Message>{Message::make(Role::user, "Q1"),
                              thought("A1", "earlier turn"),
                              Message::make(Role::user, "Q2"),
                              thought("", "needs a tool"),
                              Message::make(Role::toolResult, "r")}
            << json::array()
            << json::array(
                   {system,
                    {{"role", "user"}, {"content", "Q1"}},
                    {{"role", "assistant"}, {"content", "A1"}},
                    {{"role", "user"}, {"content", "Q2"}},
                    {{"role", "assistant"}, {"content", ""}, {"reasoning_content", "needs a tool"}},
                    {{"role", "user"}, {"content", "r"}}})
            << false;
        Message withCalls = Message::make(Role::assistant, "Sure.");
        withCalls.toolCalls = QList<ToolCall>{{"1", "open_app", {}, ToolStatus::Completed, {}}};
        QTest::newRow("rules and tools")
            << QList<Message>{Message::make(Role::system, "hidden"),
                              Message::make(Role::user, " \n\t\u2028 "),
                              Message::make(Role::user, "  Open Safari\n"),
                              withCalls,
                              Message::make(Role::toolResult, "[open_app]: Opened Safari\n")}
            << json::array({{{"type", "function"}, {"function", {{"name", "open_app"}}}}})
            << json::array({system,
                            {{"role", "user"}, {"content", "  Open Safari\n"}},
                            {{"role", "assistant"}, {"content", "Sure."}},
                            {{"role", "user"}, {"content", "[open_app]: Opened Safari\n"}}})
            << true;
    }

    void requestBody()
    {
        const auto [history, tools, messages, thinking]
            = fetch<QList<Message>, json, json, bool>("history", "tools", "messages", "thinking");
        LLMClient client(m_engine->baseURL());
        client.setThinkingAllowed(thinking);
        QVERIFY(chat(client, history, tools).result.ok());
        json expected = {{"model", "local"},
                         {"messages", messages},
                         {"stream", true},
                         {"temperature", 0.5},
                         {"max_tokens", 64}};
        if (!tools.empty())
            expected["tools"] = tools;
        if (!thinking)
            expected["chat_template_kwargs"] = {{"enable_thinking", false}};
        QCOMPARE(QString::fromStdString(m_engine->requests().at(0).dump()),
                 QString::fromStdString(expected.dump()));
    }

    void stream_data()
    {
        columns<json, QStringList>("script", "pieces");

        QTest::newRow("pieces after a null first delta")
            << json{{"pieces", {"Hel", "lo", " there"}}} << QStringList{"Hel", "lo", " there"};
        QTest::newRow("stops at DONE") << json{{"lines",
                                                {data({{"content", "A"}}),
                                                 "",
                                                 ": keep-alive comment",
                                                 "event: message",
                                                 "data: [DONE]",
                                                 data({{"content", "B"}})}}}
                                       << QStringList{"A"};
        QTest::newRow("bad payloads skipped")
            << json{{"lines",
                     {data({{"content", "A"}}),
                      "data: {not json",
                      "data: {\"object\":\"x\"}",
                      "data: {\"choices\":[{\"delta\":{\"content\":7}}]}",
                      "data:no-space",
                      data({{"content", ""}}),
                      data({{"content", "B"}}),
                      "data: {\"choices\":[{\"delta\":{},\"finish_reason\":\"stop\"}]}"}}}
            << QStringList{"A", "B"};
        QTest::newRow("crlf lines")
            << json{{"pieces", {"x", "y\r\nz"}}, {"crlf", true}} << QStringList{"x", "y\r\nz"};
        // The engine died, or the connection dropped: what arrived, marked as cut short.
        QTest::newRow("no DONE: cut short")
            << json{{"pieces", {"only"}}, {"done", false}} << QStringList{"only"};
        QTest::newRow("choices, cut") << json{{"lines",
                                               {"data: "
                                                "{\"choices\":[{\"delta\":{\"content\":\"1\"}},{"
                                                "\"delta\":{\"content\":\"2\"}}]}"}}}
                                      << QStringList{"1", "2"};
        QTest::newRow("nameless tool call gives no list")
            << json{{"lines",
                     {data(toolFragment({{"id", "x"}, {"function", {{"arguments", "{}"}}}})),
                      "data: [DONE]"}}}
            << QStringList();
        QTest::newRow("dropped connection: cut short")
            << json{{"pieces", {"one", "two", "three"}}, {"drop_after", 4}} << QStringList{"one"};
        QTest::newRow("unicode split across reads")
            << json{{"pieces", {"é🚀", "ü"}}, {"line_delay_ms", 5}} << QStringList{"é🚀", "ü"};
    }

    void stream()
    {
        const auto [script, pieces] = fetch<json, QStringList>("script", "pieces");
        m_engine->enqueue(script);
        LLMClient client(m_engine->baseURL());
        const Run run = chat(client);
        // The message is built on success too: never from an empty optional.
        QVERIFY2(run.result.ok(), qPrintable(run.result.error.value_or(ChatError{}).description));
        QCOMPARE(run.pieces, pieces);
        QCOMPARE(run.result.reply.content, pieces.join(QString()));
        QVERIFY(!run.result.reply.toolCalls);
        // Complete after "[DONE]" or a finish_reason.
        QCOMPARE(run.result.reply.complete, !QByteArray(QTest::currentDataTag()).contains("cut"));
    }

    // A long history (a big document or picture in it) goes out whole, though the socket
    // takes it in parts: the engine counts all of it, and its refusal is read.
    void largeRequest()
    {
        LLMClient client(m_engine->baseURL());
        const Run run = chat(client, {Message::make(Role::user, QString(8 << 20, u'x'))});
        QVERIFY(!run.result.ok());
        QCOMPARE(run.result.error->description,
                 "request (2097163 tokens) exceeds the available context size (8192 tokens), "
                 "try increasing it");
    }

    // Thinking is told from the answer, whether the engine sends it apart or the model writes
    // it inline; the engine's own figures of the reply (end to end: tst_agentmanager).
    void thinking_data()
    {
        columns<json, QStringList, QString, QString>("script", "pieces", "reasoning", "content");
        QTest::newRow("engine's deltas")
            << json{{"reasoning", {"Let me", " see."}}, {"pieces", {"Hi"}}}
            << QStringList{"think:Let me", "think: see.", "Hi"} << "Let me see."
            << "Hi";
        QTest::newRow("opened in the prompt")
            << json{{"pieces", {"Plan", " it\n</th", "ink>Hi"}}}
            << QStringList{"Plan", " it\n", "was thinking:Plan it\n", "Hi"} << "Plan it"
            << "Hi";
        QTest::newRow("engine's thinking, tags in the answer")
            << json{{"reasoning", {"r"}}, {"pieces", {"a</think>b"}}}
            << QStringList{"think:r", "a</think>b"} << "r"
            << "a</think>b";
        QTest::newRow("only thinking, cut short")
            << json{{"pieces", {"<think>Hmm"}}, {"done", false}} << QStringList{"think:Hmm"}
            << "Hmm" << QString();
    }

    void thinking()
    {
        QFETCH(json, script);
        m_engine->enqueue(script);
        LLMClient client(m_engine->baseURL());
        const Run run = chat(client);
        QVERIFY(run.result.ok());
        QTEST(run.pieces, "pieces");
        QTEST(run.result.reply.reasoning, "reasoning");
        QTEST(run.result.reply.content, "content");
    }

    // However the content is cut into three pieces, the thinking and the answer come out the
    // same, and the pieces handed out add up to them.
    void thinkingCutAnywhere_data()
    {
        columns<QString, QString, QString>("text", "reasoning", "content");
        addRow("tags", " <think>\nPlan it</think>\n\nHi <b>", "Plan it", "Hi <b>");
        addRow("opened in the prompt", "Plan it\n</think>Hi", "Plan it", "Hi");
        addRow("only the end tag", "</think>\nHi", "", "Hi");
        addRow("no thinking", "Hi </b> <think>", "", "Hi </b> <think>");
    }

    void thinkingCutAnywhere()
    {
        const auto [text, reasoning, content]
            = fetch<QString, QString, QString>("text", "reasoning", "content");
        for (qsizetype a = 0; a <= text.size(); ++a) {
            for (qsizetype b = a; b <= text.size(); ++b) {
                QString shownContent, shownReasoning;
                ChatStreamDecoder decoder([&](const ReplyPiece &piece) {
                    if (piece.kind == ReplyPiece::Kind::EarlierContentIsReasoning)
                        shownContent.clear();
                    (piece.isReasoning() ? shownReasoning : shownContent) += piece.text;
                });
                for (const QString &piece : {text.first(a), text.sliced(a, b - a), text.sliced(b)})
                    decoder.handlePayload(chunk({{"content", piece.toStdString()}}).dump());
                const ChatReply reply = decoder.finish();
                const QString where = QString("cut at %1 and %2").arg(a).arg(b);
                QVERIFY2(reply.reasoning == reasoning && reply.content == content,
                         qPrintable(where));
                QVERIFY2(shownReasoning.trimmed() == reasoning && shownContent == content,
                         qPrintable(where));
            }
        }
    }

    void toolCalls()
    {
        m_engine->enqueue(
            {{"lines",
              {
                  data(toolFragment({{"index", 1},
                                     {"id", "second"},
                                     {"function", {{"name", "get_clipboard"}, {"arguments", ""}}}})),
                  data(toolFragment({{"id", "call-7"},
                                     {"function", {{"name", "open_app"}, {"arguments", "{\"na"}}}})),
                  data(toolFragment({{"index", 0},
                                     {"id", "ignored"},
                                     {"function", {{"arguments", "me\":\"Safari\",\"n\":2}"}}}})),
                  data(toolFragment({{"index", 2}, {"function", {{"arguments", "{}"}}}})),
                  data(toolFragment(
                      {{"index", 3}, {"function", {{"name", "list_files"}, {"arguments", "[1]"}}}})),
                  data(toolFragment({{"index", 3}, {"function", {{"name", ""}}}})),
                  "data: [DONE]",
              }}});
        LLMClient client(m_engine->baseURL());
        const Run run = chat(client);
        QVERIFY(run.result.ok());
        QVERIFY(run.pieces.isEmpty());
        QVERIFY(run.result.reply.toolCalls);
        // Fragments join by index; the first id of a call holds; a call without a name is
        // dropped; one without an id gets a fresh one; an array is not an argument object.
        QStringList calls;
        for (const ToolCall &call : *run.result.reply.toolCalls) {
            QCOMPARE(call.status, ToolStatus::Pending);
            const bool fresh = !QUuid::fromString(call.id).isNull() && call.id == call.id.toUpper();
            QStringList arguments;
            for (auto it = call.arguments.cbegin(); it != call.arguments.cend(); ++it)
                arguments << it.key() + u'=' + it.value();
            calls << (fresh ? "fresh" : call.id) + u' ' + call.name + u'(' + arguments.join(u',')
                         + u')';
        }
        QCOMPARE(calls,
                 (QStringList{"call-7 open_app(n=2,name=Safari)",
                              "second get_clipboard()",
                              "fresh list_files()"}));
    }

    // Each call owns its cancellation: a cancel, or a newer call, closes the old
    // connection at once, and a stale call ending leaves the newer call cancellable.
    void cancellation_data()
    {
        // "superseded": a second call starts while the first streams; "stopNewest": then cancel()
        // once the first call has ended
        columns<bool, bool>("superseded", "stopNewest");
        addRow("cancel", false, false);
        addRow("newer call", true, false);
        addRow("newer call, then cancel", true, true);
    }

    void cancellation()
    {
        const auto [superseded, stopNewest] = fetch<bool, bool>("superseded", "stopNewest");
        const json endless
            = {{"repeat", {{"text", "word "}, {"count", 100000}}}, {"line_delay_ms", 10}};
        m_engine->enqueue(endless);
        LLMClient client(m_engine->baseURL());
        Pending first(client);
        QTRY_VERIFY_WITH_TIMEOUT(!first.pieces.isEmpty(), 20000);
        if (!superseded) {
            client.cancel();
        } else {
            // The newer reply is sent only once the engine has seen the older client go.
            json newer = stopNewest ? endless : json{{"pieces", {"new"}}};
            newer["wait_for_close"] = 0;
            m_engine->enqueue(newer);
            Pending second(client);
            QTRY_VERIFY_WITH_TIMEOUT(first.finished, 20000);
            if (stopNewest) {
                QTRY_VERIFY_WITH_TIMEOUT(!second.pieces.isEmpty(), 20000);
                client.cancel();
            }
            QTRY_VERIFY_WITH_TIMEOUT(second.finished, 20000);
            QCOMPARE(second.result.ok(), !stopNewest);
            if (!stopNewest)
                QCOMPARE(second.pieces, QStringList{"new"});
        }
        QTRY_VERIFY_WITH_TIMEOUT(first.finished, 20000);
        QVERIFY(!first.result.ok() && first.result.error->cancelled);
        QVERIFY(first.pieces.size() < 100000);
        QTRY_COMPARE_WITH_TIMEOUT(m_engine->connections(),
                                  stopNewest   ? (QStringList{"closed", "closed"})
                                  : superseded ? (QStringList{"closed", "done"})
                                               : QStringList{"closed"},
                                  20000);
        // The client is usable again after a cancel.
        QCOMPARE(chat(client).pieces,
                 (QStringList{"Hello", " from", " the", " stand-in", " engine."}));
    }

    // The reader of the raw HTTP answers the client reads off its socket.
    void responses_data()
    {
        columns<QByteArray, bool, int, QByteArray>("raw", "closeAtEnd", "status", "body");
        columns<int>("state");

        QTest::newRow("chunked") << QByteArray(
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
            "5\r\nhello\r\n6;ext=1\r\n world\r\n0\r\nX-Trailer: 1\r\n\r\nextra")
                                 << false << 200 << QByteArray("hello world") << int(State::Done);
        QTest::newRow("chunked, upper-case hex")
            << QByteArray("HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n"
                          "A\r\n0123456789\r\n0\r\n\r\n")
            << false << 200 << QByteArray("0123456789") << int(State::Done);
        QTest::newRow("chunked, cut short")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                          "5\r\nhel")
            << true << 200 << QByteArray("hel") << int(State::Body);
        QTest::newRow("length") << QByteArray(
            "HTTP/1.1 400 Bad Request\r\nContent-Length: 5\r\n\r\nabcdefg")
                                << false << 400 << QByteArray("abcde") << int(State::Done);
        QTest::newRow("empty length")
            << QByteArray("HTTP/1.1 503 Unavailable\r\nContent-Length: 0\r\n\r\n") << false << 503
            << QByteArray() << int(State::Done);
        QTest::newRow("until close")
            << QByteArray("HTTP/1.0 200 OK\nContent-Type: text/event-stream\n\ndata: x\n") << true
            << 200 << QByteArray("data: x\n") << int(State::Done);
        QTest::newRow("head incomplete") << QByteArray("HTTP/1.1 200 OK\r\nContent-Le") << true << 0
                                         << QByteArray() << int(State::Head);
        QTest::newRow("not http") << QByteArray("SSH-2.0-OpenSSH\r\n\r\n") << false << 0
                                  << QByteArray() << int(State::Failed);
        QTest::newRow("bad chunk size")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n") << false
            << 200 << QByteArray() << int(State::Failed);
        QTest::newRow("bad length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: -4\r\n\r\n")
                                    << false << 200 << QByteArray() << int(State::Failed);
    }

    // The same bytes give the same outcome however the network splits them.
    void responses()
    {
        const auto [raw, closeAtEnd] = fetch<QByteArray, bool>("raw", "closeAtEnd");
        const auto [status, state] = fetch<int, int>("status", "state");
        for (const qsizetype step : {qsizetype(1), qsizetype(2), qsizetype(7), raw.size()}) {
            HttpResponseParser parser;
            QByteArray out;
            for (qsizetype i = 0; i < raw.size(); i += step)
                parser.feed(QByteArrayView(raw).sliced(i, std::min(step, raw.size() - i)), out);
            if (closeAtEnd)
                parser.connectionClosed();
            QCOMPARE(int(parser.state()), state);
            if (parser.state() != State::Failed)
                QCOMPARE(parser.status(), status);
            QTEST(out, "body");
        }
    }
};

TOVRA_TEST_MAIN(LLMClientTest, QCoreApplication)
#include "tst_llmclient.moc"
