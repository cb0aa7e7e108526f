// tovra-mcp-probe URL | COMMAND [ARGUMENTS...]
// Connects to one tool server, lists its tools and, unless the scenario is "initialize",
// calls each once with sample arguments drawn from its input schema. Prints what happens;
// exits 0 when every step worked. The conformance suite runs it with the scenario in
// MCP_CONFORMANCE_SCENARIO and the address of its test server as the last argument.
#include "mcp/commandsearch.h"
#include "mcp/httptransport.h"
#include "mcp/mcpclient.h"
#include "mcp/stdiotransport.h"
#include "mcp/tooloutput.h"

#include <QCoreApplication>
#include <QTimer>
#include <QUrl>

#include <cstdio>

using nlohmann::json;

namespace {

json sampleValue(const json &property)
{
    const std::string type = property.is_object() && property.value("type", json()).is_string()
                                 ? property["type"].get<std::string>()
                                 : std::string("string");
    if (property.is_object() && property.contains("default"))
        return property["default"];
    if (property.is_object() && property.contains("enum") && property["enum"].is_array()
        && !property["enum"].empty())
        return property["enum"].front();
    if (type == "integer" || type == "number")
        return 2;
    if (type == "boolean")
        return true;
    if (type == "array")
        return json::array();
    if (type == "object")
        return json::object();
    return "tovra";
}

json sampleArguments(const json &schema)
{
    json arguments = json::object();
    const json properties = schema.value("properties", json::object());
    const json required = schema.value("required", json::array());
    for (const json &name : required.is_array() ? required : json::array()) {
        if (name.is_string())
            arguments[name.get<std::string>()]
                = sampleValue(properties.value(name.get<std::string>(), json()));
    }
    return arguments;
}

void say(const QString &text)
{
    std::fprintf(stdout, "%s\n", qPrintable(text));
    std::fflush(stdout);
}

std::unique_ptr<McpTransport> transportFor(const QStringList &words)
{
    const QUrl url(words.last());
    if (words.size() == 1
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")))
        return std::make_unique<HttpTransport>(HttpServerEndpoint{url, {}, {}});
    return std::make_unique<StdioTransport>(
        StdioServerCommand{words.first(), words.mid(1), {}, {}, CommandSearch::searchFolders({})});
}

QCoro::Task<int> probe(QStringList words, QString scenario)
{
    McpClient client(transportFor(words), McpClientOptions{words.first(), std::chrono::seconds(30)});
    const QString failure = co_await client.connectToServer();
    if (!failure.isEmpty()) {
        say(QStringLiteral("failed: ") + failure);
        co_return 1;
    }
    say(QStringLiteral("initialized: %1 %2, protocol %3, %4 tools")
            .arg(client.serverName(), client.serverVersion(), client.protocolVersion())
            .arg(client.tools().size()));
    int status = 0;
    if (scenario != QLatin1String("initialize")) {
        const QList<McpTool> tools = client.tools();
        for (const McpTool &tool : tools) {
            const json arguments = sampleArguments(tool.inputSchema);
            const RpcReply reply = co_await client.callTool(tool.name, arguments);
            const McpToolOutput output = McpToolText::fromReply(reply);
            say(tool.name + QStringLiteral(": ") + output.text);
            if (!reply.ok())
                status = 1;
        }
    }
    co_await client.close();
    co_return status;
}

QCoro::Task<> run(QStringList words, QString scenario)
{
    const int status = co_await probe(std::move(words), std::move(scenario));
    QCoreApplication::exit(status);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList words = app.arguments().mid(1);
    if (words.isEmpty()) {
        std::fprintf(stderr, "usage: tovra-mcp-probe URL | COMMAND [ARGUMENTS...]\n");
        return 2;
    }
    const QString scenario = qEnvironmentVariable("MCP_CONFORMANCE_SCENARIO");
    QTimer::singleShot(0, &app, [words, scenario] { run(words, scenario); });
    return app.exec();
}
