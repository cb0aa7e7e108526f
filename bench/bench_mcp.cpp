// 1,000 tools/call round trips of server-everything's echo over stdio through our client,
// median and 95th percentile, next to the same calls from the official TypeScript SDK client
// (mcp_sdk_echo.mjs), in one run. Target: our median at most 1.2 times the SDK's.
#include "mcp/mcpclient.h"
#include "mcp/stdiotransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <QCoroTask>

#include <algorithm>
#include <cstdio>

using nlohmann::json;

namespace {

constexpr int calls = 1000;
constexpr int warmUp = 50;
const QString modules = QStringLiteral(TOVRA_NODE_MODULES);
const QString server
    = modules + QStringLiteral("/@modelcontextprotocol/server-everything/dist/index.js");

struct Figures
{
    double median = 0;
    double p95 = 0;
};

QCoro::Task<Figures> ours()
{
    McpClient client(std::make_unique<StdioTransport>(
                         StdioServerCommand{QStringLiteral("node"),
                                            {server, QStringLiteral("stdio")},
                                            {},
                                            {},
                                            qEnvironmentVariable("PATH").split(u':')}),
                     McpClientOptions{QStringLiteral("everything")});
    const QString failure = co_await client.connectToServer();
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(failure));
        std::exit(1);
    }
    std::vector<double> times;
    for (int i = 0; i < warmUp + calls; ++i) {
        QElapsedTimer timer;
        timer.start();
        json arguments = json::object();
        arguments["message"] = "call " + std::to_string(i);
        const RpcReply reply
            = co_await client.callTool(QStringLiteral("echo"), std::move(arguments));
        if (!reply.ok()) {
            std::fprintf(stderr, "echo failed: %s\n", qPrintable(reply.error->message));
            std::exit(1);
        }
        if (i >= warmUp)
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    co_await client.close();
    std::sort(times.begin(), times.end());
    co_return Figures{times[calls / 2], times[calls * 95 / 100]};
}

Figures sdk()
{
    QProcess node;
    node.start(QStringLiteral("node"),
               {QStringLiteral(TOVRA_BENCH_DIR "/mcp_sdk_echo.mjs"),
                modules,
                server,
                QString::number(calls)});
    if (!node.waitForFinished(300000) || node.exitCode() != 0) {
        std::fprintf(stderr, "the SDK client failed: %s\n", node.readAllStandardError().constData());
        std::exit(1);
    }
    const json figures = json::parse(node.readAllStandardOutput().toStdString());
    return {figures.at("median").get<double>(), figures.at("p95").get<double>()};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!QFileInfo::exists(server)) {
        std::printf("bench_mcp: the reference servers are missing; run npm ci --prefix tests.\n");
        return 0;
    }
    const Figures mine = QCoro::waitFor(ours());
    const Figures theirs = sdk();
    std::printf("bench_mcp: %d tools/call round trips of echo over stdio (server-everything)\n",
                calls);
    std::printf("  Tovra AI client      median %.3f ms   p95 %.3f ms\n", mine.median, mine.p95);
    std::printf("  TypeScript SDK       median %.3f ms   p95 %.3f ms\n", theirs.median, theirs.p95);
    const double ratio = mine.median / theirs.median;
    std::printf("  median ratio         %.2f (target at most 1.20: %s)\n",
                ratio,
                ratio <= 1.2 ? "met" : "MISSED");
    return 0;
}
