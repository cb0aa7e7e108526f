// Streaming: the stand-in engine sends 20,000 pieces as fast as it can. Prints the loopback
// client's time to consume them next to curl -N reading the same stream, and the same for
// the remote client over TLS with a key, next to curl -N over the same TLS connection.
#include "core/llmclient.h"
#include "core/remoteclient.h"
#include "tests/support/standinengine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <QCoroTask>

#include <httplib.h>

#include <cstdio>

namespace {
constexpr int pieces = 20000;
const nlohmann::json script = {{"repeat", {{"text", "tok "}, {"count", pieces}}}};
const QString tlsDir = QStringLiteral(TOVRA_FIXTURES "/tls/");
const QString key = QStringLiteral("bench-key");

template<typename Client>
double clientMs(StandinEngine &engine, Client &client)
{
    engine.enqueue(script);
    int received = 0;
    QElapsedTimer timer;
    timer.start();
    const QList<Message> history{Message::make(Role::user, QStringLiteral("go"))};
    const ChatResult result
        = QCoro::waitFor(client.streamChat(history,
                                           QString(),
                                           0.7,
                                           64,
                                           nlohmann::json::array(),
                                           [&](const ReplyPiece &) { ++received; }));
    const double ms = timer.nsecsElapsed() / 1e6;
    if (!result.ok() || received != pieces) {
        std::fprintf(stderr,
                     "client received %d pieces: %s\n",
                     received,
                     result.ok() ? "" : qPrintable(result.error->description));
        std::exit(1);
    }
    return ms;
}

double curlMs(StandinEngine &engine, const QString &url, const QStringList &extra)
{
    engine.enqueue(script);
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"),
               QStringList{QStringLiteral("-sN"),
                           QStringLiteral("-o"),
                           QStringLiteral("/dev/null"),
                           QStringLiteral("-H"),
                           QStringLiteral("Content-Type: application/json")}
                   + extra + QStringList{url + QStringLiteral("/v1/chat/completions")});
    if (!curl.waitForFinished(120000) || curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed: %s\n", qPrintable(curl.errorString()));
        std::exit(1);
    }
    return timer.nsecsElapsed() / 1e6;
}

void print(const char *what, double client, double curl)
{
    std::printf("%s: %d pieces from the stand-in engine (best of 5)\n", what, pieces);
    std::printf("  client            %8.1f ms  (%.1f us/piece)\n", client, client * 1000 / pieces);
    std::printf("  curl -N (floor)   %8.1f ms\n", curl);
    std::printf("  ratio             %8.2fx   target <= 1.3x\n", client / curl);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    StandinEngine engine;
    StandinEngine tls({QStringLiteral("--ssl-cert-file"),
                       tlsDir + QStringLiteral("server.pem"),
                       QStringLiteral("--ssl-key-file"),
                       tlsDir + QStringLiteral("server-key.pem"),
                       QStringLiteral("--api-key"),
                       key});
    if (!engine.isRunning() || !tls.isRunning()) {
        std::fprintf(stderr, "the stand-in engine did not start\n");
        return 1;
    }
    httplib::Client control("127.0.0.1", tls.port());
    const auto tlsPort = control.Get("/control/tls-port");
    const QString tlsURL = QStringLiteral("https://127.0.0.1:")
                           + QString::fromStdString(tlsPort ? tlsPort->body : std::string("0"));

    LLMClient local(engine.baseURL());
    RemoteClient remote;
    remote.setServer(tlsURL, key);
    remote.setModel(QStringLiteral("standin-small"));
    remote.setCaCertificates(QSslCertificate::fromPath(tlsDir + QStringLiteral("ca.pem")));
    const QStringList plainCurl{QStringLiteral("-d"), QStringLiteral("{\"stream\":true}")};
    const QStringList tlsCurl{QStringLiteral("--cacert"),
                              tlsDir + QStringLiteral("ca.pem"),
                              QStringLiteral("-H"),
                              QStringLiteral("Authorization: Bearer ") + key,
                              QStringLiteral("-d"),
                              QStringLiteral("{\"stream\":true,\"model\":\"standin-small\"}")};

    double client = 1e18, curl = 1e18, remoteClient = 1e18, remoteCurl = 1e18;
    for (int i = 0; i < 5; ++i) {
        client = std::min(client, clientMs(engine, local));
        curl = std::min(curl, curlMs(engine, engine.baseURL(), plainCurl));
        remoteClient = std::min(remoteClient, clientMs(tls, remote));
        remoteCurl = std::min(remoteCurl, curlMs(tls, tlsURL, tlsCurl));
    }
    print("stream", client, curl);
    print("remote stream (TLS, key)", remoteClient, remoteCurl);
    return 0;
}
