// The protocol client against real servers: the reference server over stdio and Streamable
// HTTP, a scripted server for what the reference servers never do, and a loopback HTTP
// server that forgets its session.
#include "mcp/httptransport.h"
#include "mcp/tooloutput.h"
#include "tests/mcp/mcpfixture.h"

#include <httplib.h>

#include <mutex>
#include <thread>

using nlohmann::json;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(json)

namespace {

McpToolOutput call(McpClient &client,
                   const QString &tool,
                   const json &arguments,
                   McpCallStopPtr stop = {})
{
    return McpToolText::fromReply(QCoro::waitFor(client.callTool(tool, arguments, std::move(stop))));
}

QStringList toolNames(const McpClient &client)
{
    QStringList names;
    for (const McpTool &tool : client.tools())
        names.append(tool.name);
    return names;
}

std::unique_ptr<McpClient> connected(std::unique_ptr<McpTransport> transport,
                                     QString *failure = nullptr)
{
    auto client = Mcp::client(std::move(transport), 5s);
    const QString why = QCoro::waitFor(client->connectToServer());
    if (failure)
        *failure = why;
    return client;
}

} // namespace

class McpClientTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<McpClient> m_everything;

private slots:
    void init()
    {
        failOnUnexpectedWarnings();
        SKIP_WITHOUT_NODE();
        if (!m_everything)
            m_everything = connected(std::make_unique<StdioTransport>(Mcp::everything()));
    }
    void cleanupTestCase()
    {
        if (m_everything)
            QCoro::waitFor(m_everything->close());
    }

    void contents_data()
    {
        columns<QString, json, QString, int>("tool", "arguments", "text", "images");
        addRow("text", "echo", json{{"message", "hi"}}, "Echo: hi", 0);
        addRow("structured content",
               "get-structured-content",
               json{{"location", "Chicago"}},
               "{\"temperature\":36,\"conditions\":\"Light rain / drizzle\",\"humidity\":82}",
               0);
        addRow("resource links",
               "get-resource-links",
               json{{"count", 2}},
               "Here are 2 resource links to resources available in this server:\n"
               "[Resource link: Blob Resource 1 <demo://resource/dynamic/blob/1> (text/plain)] "
               "Resource 1: plaintext resource\n"
               "[Resource link: Text Resource 2 <demo://resource/dynamic/text/2> (text/plain)] "
               "Resource 2: plaintext resource",
               0);
        addRow("embedded resource",
               "get-resource-reference",
               json::object(),
               "Returning resource reference for Resource 1:\n[Resource "
               "demo://resource/dynamic/text/1]\n"
               "Resource 1: This is a plaintext resource created at ",
               0);
        addRow(
            "image",
            "get-tiny-image",
            json::object(),
            "Here's the image you requested:\n[Image: image/png, 3.9 KB, shown to the user in the "
            "chat]\nThe image above is the MCP logo.",
            1);
        addRow("error result",
               "echo",
               json::object(),
               "Error: MCP error -32602: Input validation error: Invalid arguments for tool echo: "
               "Invalid input: expected string, received undefined at message",
               0);
    }
    void contents()
    {
        const auto [tool, arguments, text, images]
            = fetch<QString, json, QString, int>("tool", "arguments", "text", "images");
        const McpToolOutput output = call(*m_everything, tool, arguments);
        // A resource's text names the time it was made: the rest is compared.
        QCOMPARE(output.text.left(text.size()), text);
        QCOMPARE(output.images.size(), images);
        if (images)
            QVERIFY(output.images.first().startsWith("data:image/png;base64,iVBOR"));
        QCOMPARE(m_everything->protocolVersion(), "2025-11-25");
    }

    void environment()
    {
        auto client
            = connected(std::make_unique<StdioTransport>(Mcp::everything({{"TOVRA_KEY", "k"}})));
        const json env = json::parse(call(*client, "get-env", json::object()).text.toStdString());
        QStringList expected{"PATH", "TOVRA_KEY"};
        for (const char *name : {"HOME", "LOGNAME", "SHELL", "TERM", "USER"}) {
            if (qEnvironmentVariableIsSet(name))
                expected.append(name);
        }
        QStringList names;
        for (const auto &[name, value] : env.items())
            names.append(QString::fromStdString(name));
        expected.sort();
        names.sort();
        QCOMPARE(names, expected);
        QCOMPARE(QString::fromStdString(env["PATH"]), Mcp::folders().join(u':'));
        QCoro::waitFor(client->close());
    }

    void protocolVersions_data()
    {
        columns<QString, QString>("version", "failure");
        addRow("current", "2025-11-25", "");
        addRow("accepted", "2025-03-26", "");
        addRow("refused",
               "2024-11-05",
               "test speaks protocol version 2024-11-05; Tovra AI speaks 2025-11-25, 2025-06-18, "
               "2025-03-26.");
    }
    void protocolVersions()
    {
        const auto [version, expected] = fetch<QString, QString>("version", "failure");
        QString failure;
        auto client = connected(std::make_unique<StdioTransport>(Mcp::pager(version)), &failure);
        QCOMPARE(failure, expected);
        if (failure.isEmpty()) // two pages
            QCOMPARE(toolNames(*client), (QStringList{"first", "second", "third", "slow"}));
        QCoro::waitFor(client->close());
    }

    // Typed arguments, a list that changes, an error result, a cancelled call whose answer
    // comes late, and the server's own requests answered.
    void serverBehaviours()
    {
        auto client = connected(std::make_unique<StdioTransport>(Mcp::pager()));
        const json schema = client->tools().at(2).inputSchema;
        QCOMPARE(call(*client, "third", McpToolText::arguments({{"count", "3"}}, schema)).text,
                 "{\"count\": 3}");
        QTRY_COMPARE(toolNames(*client).size(), 5);
        QCOMPARE(call(*client, "second", json::object()).text, "Error: {}");

        auto stop = std::make_shared<McpCallStop>();
        QTimer::singleShot(200ms, stop.get(), &McpCallStop::stop);
        QCOMPARE(call(*client, "slow", json::object(), stop).text, "Error: Stopped by the user.");

        const json heard = json::parse(call(*client, "first", json::object()).text.toStdString());
        QCOMPARE(heard.size(), 3u);
        QCOMPARE(heard[0], json::parse("{\"id\":\"p1\",\"jsonrpc\":\"2.0\",\"result\":{}}"));
        QCOMPARE(heard[1],
                 json::parse("{\"error\":{\"code\":-32601,\"message\":\"Method not found: "
                             "roots/list\"},\"id\":\"r1\",\"jsonrpc\":\"2.0\"}"));
        QCOMPARE(heard[2]["method"], "notifications/cancelled");
        QCOMPARE(heard[2]["params"]["reason"], "Stopped by the user.");
        QCoro::waitFor(client->close());
    }

    void timeOut()
    {
        auto client = connected(std::make_unique<StdioTransport>(Mcp::pager()));
        const RpcReply reply
            = QCoro::waitFor(client->request("tools/call", {{"name", "slow"}}, {}, 500ms));
        QCOMPARE(reply.error->message, "test did not answer within 500 ms.");
        QCOMPARE(call(*client, "third", json::object()).text, "{}"); // the late answer went nowhere
        QCoro::waitFor(client->close());
    }

    // A server that never answers: the start fails, and closing ends it (SIGTERM after 2 s).
    void neverAnswers()
    {
        auto transport = std::make_unique<StdioTransport>(
            StdioServerCommand{"sleep", {"600"}, {}, {}, Mcp::folders()});
        StdioTransport *stdio = transport.get();
        auto client = Mcp::client(std::move(transport), 1s);
        QCOMPARE(QCoro::waitFor(client->connectToServer()),
                 "test did not answer initialize within 1 second.");
        const qint64 pid = stdio->processId();
        QVERIFY(pid > 0);
        QElapsedTimer closing;
        closing.start();
        QCoro::waitFor(client->close());
        QVERIFY(processGone(pid));
        QVERIFY(closing.elapsed() >= 1900);
    }

    void notFound()
    {
        auto client = Mcp::client(std::make_unique<StdioTransport>(
            StdioServerCommand{"tovra-no-such-server", {}, {}, {}, {"/nowhere/a", "/nowhere/b"}}));
        QCOMPARE(QCoro::waitFor(client->connectToServer()),
                 "tovra-no-such-server not found. Searched: /nowhere/a, /nowhere/b");
    }

    void overHttp()
    {
        Mcp::EverythingOverHttp server;
        QVERIFY(server.listening);
        auto client = connected(
            std::make_unique<HttpTransport>(HttpServerEndpoint{QUrl(server.url()), {}, {}}));
        QVERIFY(client->isConnected());
        QCOMPARE(call(*client, "echo", json{{"message", "over http"}}).text, "Echo: over http");
        QCOMPARE(call(*client, "get-tiny-image", json::object()).images.size(), 1);
        QCoro::waitFor(client->close());
    }

    // The session is echoed with the protocol version; a 404 for it starts a new one and sends
    // the request again; the last session is deleted. Over TLS the certificate is verified, with
    // a private CA added by TOVRA_CA_FILE.
    void httpSession_data()
    {
        columns<bool, QString, QString>("tls", "caFile", "failure");
        addRow("http", false, "", "");
        addRow("https, private CA", true, TOVRA_FIXTURES "/tls/ca.pem", "");
        addRow("https, unknown CA",
               true,
               "",
               "test could not be initialized: The certificate of 127.0.0.1 could not be verified");
    }
    void httpSession()
    {
        const auto [tls, caFile, failure]
            = fetch<bool, QString, QString>("tls", "caFile", "failure");
        const QByteArray tlsDir = TOVRA_FIXTURES "/tls/";
        std::unique_ptr<httplib::Server> https;
        if (tls)
            https = std::make_unique<httplib::SSLServer>(tlsDir + "server.pem",
                                                         tlsDir + "server-key.pem");
        httplib::Server &server = https ? *https : *(https = std::make_unique<httplib::Server>());
        std::mutex mutex;
        QStringList seen;
        int sessions = 0;
        server.Post("/mcp", [&](const httplib::Request &request, httplib::Response &response) {
            const json message = json::parse(request.body);
            const std::string method = message.value("method", "");
            std::lock_guard lock(mutex);
            seen.append(QString::fromStdString(method + " "
                                               + request.get_header_value("Mcp-Session-Id") + " "
                                               + request.get_header_value("MCP-Protocol-Version")));
            json result = {{"tools", json::array({{{"name", "t"}}})}};
            if (method == "initialize") {
                response.set_header("Mcp-Session-Id", "s" + std::to_string(++sessions));
                result = {{"protocolVersion", "2025-06-18"}, {"capabilities", json::object()}};
            } else if (!message.contains("id")) {
                response.status = 202;
                return;
            } else if (sessions == 1) {
                response.status = 404;
                return;
            }
            const json answer = {{"jsonrpc", "2.0"}, {"id", message["id"]}, {"result", result}};
            response.set_content("event: message\ndata: " + answer.dump() + "\n\n",
                                 "text/event-stream");
        });
        server.Delete("/mcp", [&](const httplib::Request &request, httplib::Response &) {
            std::lock_guard lock(mutex);
            seen.append(
                QString::fromStdString("DELETE " + request.get_header_value("Mcp-Session-Id")));
        });
        const int port = server.bind_to_any_port("127.0.0.1");
        std::thread thread([&] { server.listen_after_bind(); });
        const auto url
            = QUrl(QStringLiteral("%1://127.0.0.1:%2/mcp").arg(tls ? "https" : "http").arg(port));
        qputenv("TOVRA_CA_FILE", caFile.toLocal8Bit());
        QString why;
        auto client = connected(std::make_unique<HttpTransport>(
                                    HttpServerEndpoint{url, {{"X-Key", "k"}}, {}}),
                                &why);
        QCOMPARE(why.left(failure.size()), failure);
        const QStringList tools = toolNames(*client);
        QCoro::waitFor(client->close());
        client.reset(); // its connections close: the server need not wait for them
        server.stop();
        thread.join();
        if (!failure.isEmpty())
            return;
        QCOMPARE(tools, QStringList{"t"});
        seen.sort();
        QCOMPARE(seen,
                 (QStringList{"DELETE s2",
                              "initialize  ",
                              "initialize  ",
                              "notifications/initialized s1 2025-06-18",
                              "notifications/initialized s2 2025-06-18",
                              "tools/list s1 2025-06-18",
                              "tools/list s2 2025-06-18"}));
    }
};

TOVRA_TEST_MAIN(McpClientTest, QCoreApplication)
#include "tst_mcpclient.moc"
