// A remote engine over TLS with a key: the stand-in engine serves its endpoints over TLS with
// a certificate of the test CA (tests/fixtures/tls), which the client trusts explicitly.
#include "agent/remoteengine.h"
#include "platform/keychain.h"
#include "tests/agent/agentfixture.h"
#include "tests/support/testenvironment.h"

#include <QGuiApplication>

#include <httplib.h>

using nlohmann::json;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(json)

namespace {
const QString tlsDir = QStringLiteral(TOVRA_FIXTURES "/tls/");
const QString key = QStringLiteral("test-key-5f2c");

QStringList tlsArguments(const QString &certificate)
{
    return {QStringLiteral("--ssl-cert-file"),
            tlsDir + certificate,
            QStringLiteral("--ssl-key-file"),
            tlsDir + QStringLiteral("server-key.pem"),
            QStringLiteral("--api-key"),
            key};
}

QString tlsAddress(StandinEngine &engine)
{
    const auto port = httplib::Client("127.0.0.1", engine.port()).Get("/control/tls-port");
    return QStringLiteral("https://127.0.0.1:") + QString::fromStdString(port ? port->body : "0");
}

QList<QSslCertificate> testCA()
{
    return QSslCertificate::fromPath(tlsDir + QStringLiteral("ca.pem"));
}

} // namespace

class RemoteEngineTest : public QObject
{
    Q_OBJECT

    StandinEngine m_server{tlsArguments(QStringLiteral("server.pem"))};
    StandinEngine m_expired{tlsArguments(QStringLiteral("expired.pem"))};

private slots:
    void init() { failOnUnexpectedWarnings(); }

    void connecting_data()
    {
        columns<QString, QString, QStringList, QString>("server", "key", "models", "error");
        const QStringList none;
        addRow("right key", "good", key, QStringList{"standin-small", "standin-large"}, "");
        QTest::newRow("wrong key")
            << "good"
            << "wrong" << none
            << "127.0.0.1 did not accept the API key (HTTP 401). Check the key in Settings.";
        QTest::newRow("no key") << "good"
                                << "" << none
                                << "127.0.0.1 wants an API key (HTTP 401). Enter it in Settings.";
        QTest::newRow("expired certificate")
            << "expired" << key << none
            << "The certificate of 127.0.0.1 could not be verified (The certificate has expired). "
               "Nothing was sent.";
        QTest::newRow("nothing listening")
            << "closed" << key << none << "Could not reach 127.0.0.1: Connection refused.";
    }

    void connecting()
    {
        const auto [server, key] = fetch<QString, QString>("server", "key");
        const auto [models, error] = fetch<QStringList, QString>("models", "error");
        QVERIFY(m_server.isRunning() && m_expired.isRunning());
        const QString address = server == "good"      ? tlsAddress(m_server)
                                : server == "expired" ? tlsAddress(m_expired)
                                                      : QStringLiteral("https://127.0.0.1:9");
        RemoteClient client;
        client.setServer(address, key);
        client.setCaCertificates(testCA());
        const ModelListResult result = QCoro::waitFor(client.listModels());
        QCOMPARE(result.models, models);
        QCOMPARE(result.error ? result.error->description : QString(), error);
    }

    // The origin is what a key is kept for.
    void addresses_data()
    {
        columns<QString, QString, QString>("address", "problem", "origin");
        addRow("https", "https://gpu.example:8080", "", "https://gpu.example:8080");
        addRow("default port, path", " HTTPS://GPU.Example/v1/", "", "https://gpu.example:443");
        addRow("http on a private address", "http://192.168.1.20", "", "http://192.168.1.20:80");
        addRow("http on loopback", "http://127.0.0.1:8080", "", "http://127.0.0.1:8080");
        QTest::newRow("http elsewhere")
            << "http://gpu.example:8080"
            << "Use https:// for gpu.example: plain http:// is only for this computer and private "
               "network addresses."
            << "http://gpu.example:8080";
        addRow("no scheme", "gpu.example:8080", "Enter an address such as https://server:8080.", "");
    }

    void addresses()
    {
        QFETCH(QString, address);
        QTEST(RemoteClient::addressProblem(address), "problem");
        QTEST(RemoteEngineKeys::origin(address), "origin");
    }

    // Turns against the remote engine; every tool asks first, a read-only one too.
    void turns_data()
    {
        columns<QString, json, QList<bool>, QString>("model", "script", "answers", "reply");
        const json toolCall
            = {{"pieces", json::array()},
               {"tool_calls",
                {{{"index", 0},
                  {"id", "call_1"},
                  {"function", {{"name", "get_system_info"}, {"arguments", "{}"}}}}}}};
        QTest::newRow("read-only tool approved")
            << "standin-small" << json::array({toolCall, {{"pieces", {"Done."}}}})
            << QList<bool>{true} << "Done.";
        QTest::newRow("dropped stream")
            << "standin-small" << json{{"pieces", {"Partial", " reply"}}, {"drop_after", 4}}
            << QList<bool>{}
            << "Error: The engine stopped before the reply was complete.\n\nPartial";
        QTest::newRow("unknown model")
            << "nope" << json{{"pieces", {"unused"}}} << QList<bool>{}
            << "Error: 127.0.0.1 does not serve the model \u201cnope\u201d. Connect again in "
               "Settings and pick one of its models.";
        QTest::newRow("slow first token")
            << "standin-small" << json{{"pieces", {"late"}}, {"first_delay_ms", 4000}}
            << QList<bool>{} << "Error: 127.0.0.1 sent no reply within 1 seconds.";
    }

    void turns()
    {
        const auto [model, script, answers]
            = fetch<QString, json, QList<bool>>("model", "script", "answers");
        AgentFixture f;
        RemoteClient client;
        client.setServer(tlsAddress(m_server), key);
        client.setModel(model);
        client.setCaCertificates(testCA());
        client.setTimeouts(1s, 1s);
        f.manager->useRemote(&client);
        m_server.reset();
        m_server.enqueue(script);

        QVERIFY(f.turn(QStringLiteral("What system is this?"), answers));
        QCOMPARE(f.tools.calls.size(), answers.size());
        QCOMPARE(f.messages().first().content, "What system is this?");
        QTEST(f.messages().last().content, "reply");
        QCOMPARE(f.requestCount(), 0); // nothing went to this computer's engine
        const json sent = m_server.requests();
        QVERIFY(!sent.empty());
        QCOMPARE(QString::fromStdString(sent.front().value("model", "")), model);
    }

    // The key goes to the keychain and nowhere near the preference file, and only ever to the
    // server it was typed for; "Delete All Data" forgets it all. A key kept by earlier versions for whatever server was
    // typed belongs to the remembered server alone.
    void keyInKeychainOnly()
    {
        const QString address = tlsAddress(m_server);
        const QString otherOrigin = QString(address).replace("127.0.0.1", "localhost");
        const Keychain keychain(QStringLiteral("Tovra AI tests"));
        QVERIFY(QCoro::waitFor(keychain.write(QStringLiteral("remote-engine-api-key"), key)).ok);
        Preferences::setString(PreferenceKey::remoteEngineAddress, address);
        RemoteEngine remote(QStringLiteral("Tovra AI tests"));
        remote.client()->setCaCertificates(testCA());
        QVERIFY(!QCoro::waitFor(remote.connectTo(otherOrigin, QString())));
        QCOMPARE(remote.message(), "localhost wants an API key (HTTP 401). Enter it in Settings.");
        QVERIFY(QCoro::waitFor(remote.connectTo(address + "/", QString())));
        QCOMPARE(QCoro::waitFor(keychain.read(QStringLiteral("remote-engine-api-key"))).value,
                 std::nullopt);
        // A refused connection leaves the typed address in the field.
        QVERIFY(!QCoro::waitFor(remote.connectTo(QStringLiteral("https://127.0.0.1:9"), key)));
        QCOMPARE(remote.address(), "https://127.0.0.1:9");
        QVERIFY(QCoro::waitFor(remote.connectTo(address, key)));
        QVERIFY(QCoro::waitFor(remote.useModel(QStringLiteral("standin-small"))));
        QCOMPARE(remote.message(), "Using standin-small on 127.0.0.1.");
        QVERIFY(remote.isActive() && remote.isReady());

        const QString entry = QStringLiteral("remote-engine-api-keys");
        QCOMPARE(QCoro::waitFor(keychain.read(entry)).value,
                 "{\"" + address + "\":\"" + key + "\"}");
        QVERIFY(!QCoro::waitFor(remote.connectTo(otherOrigin, QString())));
        Preferences::sync();
        const QByteArray preferences = readTestFile(QSettings().fileName());
        QVERIFY(preferences.contains("remoteEngineAddress"));
        QVERIFY(!preferences.contains(key.toUtf8()));

        QCoro::waitFor(remote.forgetAll());
        QCOMPARE(QCoro::waitFor(keychain.read(entry)).value, std::nullopt);
        QVERIFY(!readTestFile(QSettings().fileName()).contains("remoteEngine"));
        QVERIFY(!remote.isActive());
    }
};

TOVRA_TEST_MAIN(RemoteEngineTest, QGuiApplication)
#include "tst_remoteengine.moc"
