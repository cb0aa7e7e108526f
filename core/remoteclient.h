#pragma once

#include "core/llmclient.h"

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

struct ModelListResult
{
    std::optional<ChatError> error;
    QStringList models;
};

// Talks to an OpenAI-compatible engine on another machine: TLS (verified), proxies,
// a bearer key and a model name. The same streamChat/cancel contract as LLMClient and
// the same stream decoder; every error text names the host and never the key.
class RemoteClient : public ChatClient
{
    Q_OBJECT

public:
    static inline const QString errorDomain = QStringLiteral("Remote");
    // Codes of the errors this client makes itself (HTTP statuses are passed on as they are).
    enum Code { Unreachable = -1, Certificate = -2, NoFirstReply = -3, Address = -5 };

    explicit RemoteClient(QObject *parent = nullptr);
    ~RemoteClient() override;

    // The address ("https://host:port", "http://" only for loopback and private hosts),
    // the key (empty sends none) and the model to ask for.
    void setServer(const QString &address, const QString &apiKey);
    void setModel(const QString &model) { m_model = model; }
    QString model() const { return m_model; }
    QString host() const { return m_base.host(); }
    // Certificates to trust instead of the system's (a private CA); empty means the system's.
    void setCaCertificates(const QList<QSslCertificate> &certificates) { m_ca = certificates; }
    QList<QSslCertificate> caCertificates() const { return m_ca; }
    // How long a reply may take to begin, and to go on after each piece.
    void setTimeouts(std::chrono::milliseconds firstReply, std::chrono::milliseconds idle);

    // Why the address cannot be used, or empty when it can.
    static QString addressProblem(const QString &address);
    // An "http://" address: the traffic, the key included, is readable on the way.
    static bool isUnencrypted(const QString &address);

    QCoro::Task<ModelListResult> listModels();

    QCoro::Task<ChatResult> streamChat(QList<Message> messages,
                                       QString systemPrompt,
                                       double temperature,
                                       int maxTokens,
                                       nlohmann::json tools,
                                       ChatStreamDecoder::TokenCallback onToken) override;
    void cancel() override;

private:
    QNetworkRequest request(const QString &path) const;
    ChatError replyError(QNetworkReply &reply, const QByteArray &body) const;

    QNetworkAccessManager *m_network = nullptr;
    QUrl m_base;
    QString m_apiKey;
    QString m_model;
    QList<QSslCertificate> m_ca;
    std::chrono::milliseconds m_firstReplyTimeout{std::chrono::minutes(5)};
    std::chrono::milliseconds m_idleTimeout{std::chrono::minutes(2)};
    std::shared_ptr<bool> m_newestCancelled; // the call in flight that cancel() ends
};
