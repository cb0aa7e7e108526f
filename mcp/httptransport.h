#pragma once

#include "mcp/sseparser.h"
#include "mcp/transport.h"

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QSslCertificate>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// What reaches a remote server.
struct HttpServerEndpoint
{
    QUrl url;
    QMap<QString, QString> headers;        // sent with every request (an Authorization, say)
    QList<QSslCertificate> caCertificates; // empty: trustedCertificates()
};

// A remote server over Streamable HTTP: every message is POSTed; the answer is JSON or a
// server-sent event stream that may carry the server's own requests first. The session the
// server hands out is echoed, and the agreed protocol version sent, with every later request.
// A stream that breaks off before its answer is resumed with Last-Event-ID after the server's
// retry delay; a 404 for a known session asks the client for a new session. After the
// initialized notification a GET stream carries what the server says on its own, where the
// server offers one. The session is DELETEd at the end.
class HttpTransport : public McpTransport
{
    Q_OBJECT

public:
    static constexpr int resumeLimit = 5;
    // When the server names no retry delay.
    static constexpr int defaultRetryMilliseconds = 1000;
    static constexpr qsizetype logLimit = 64 * 1024;

    explicit HttpTransport(HttpServerEndpoint server, QObject *parent = nullptr);
    ~HttpTransport() override;

    QCoro::Task<QString> open() override;
    void send(const nlohmann::json &message) override;
    void abandon(qint64 id) override;
    void setProtocolVersion(const QString &version) override { m_protocolVersion = version; }
    void resetSession() override;
    void opened() override;
    QCoro::Task<> close() override;
    QString log() const override { return QString::fromUtf8(m_log); }
    QString kind() const override { return QStringLiteral("http"); }

    QString sessionId() const { return QString::fromUtf8(m_sessionId); }
    // The system's trusted certificates, plus those of the file TOVRA_CA_FILE names (a private
    // CA), as the remote engine trusts them. Verification always stays on.
    static QList<QSslCertificate> trustedCertificates();
    // Why an address cannot be used; empty when it can.
    static QString addressProblem(const QUrl &url);

private:
    struct Stream;
    enum class StreamKind { Post, Resume, Listen };

    QNetworkRequest request(bool expectsStream) const;
    void post(const nlohmann::json &message);
    void listen();
    void get(StreamKind kind,
             std::optional<qint64> requestId,
             const QByteArray &lastEventId,
             int attempt);
    void watch(QNetworkReply *reply, std::unique_ptr<Stream> stream);
    void noteHeaders(QNetworkReply *reply, Stream &stream);
    void abortStreams(const std::function<bool(const Stream &)> &which);
    void onReadyRead(QNetworkReply *reply);
    void onFinished(QNetworkReply *reply);
    void deliverBody(const QByteArray &body, Stream &stream);
    void deliverOne(const nlohmann::json &message);
    void fail(const std::optional<qint64> &requestId, const QString &text);
    void scheduleResume(Stream &stream);
    void appendLog(const QString &line);
    QString host() const { return m_server.url.host(); }

    HttpServerEndpoint m_server;
    QNetworkAccessManager *m_network = nullptr;
    QByteArray m_sessionId;
    QString m_protocolVersion;
    std::map<QNetworkReply *, std::unique_ptr<Stream>> m_streams;
    // Requests answered already: a resumed stream is not needed for them any more.
    QSet<qint64> m_waiting;
    bool m_listening = false;
    bool m_listenWanted = false;
    bool m_closing = false;
    QByteArray m_log;
};
