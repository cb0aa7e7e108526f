#pragma once

#include <QObject>
#include <QString>

#include <QCoroTask>

#include <functional>

#include <nlohmann/json.hpp>

// How JSON-RPC messages travel between the client and one server: a child process's pipes
// (stdio) or HTTP requests (Streamable HTTP). The client sees only whole messages.
//
// Failures of a single request (an HTTP error, a stream that ended without its answer)
// come back as a JSON-RPC error answer to that request, so that the client handles every
// end of a request in one place.
class McpTransport : public QObject
{
    Q_OBJECT

public:
    struct Handlers
    {
        // A message from the server, on the main thread, never inside send().
        std::function<void(const nlohmann::json &)> message;
        // The server's session ended (HTTP 404 for a known session): the client starts a
        // new one and sends this request again.
        std::function<void(const nlohmann::json &)> sessionExpired;
        // The connection is gone for good (the process ended, say), with the reason.
        std::function<void(const QString &)> closed;
    };

    using QObject::QObject;

    void setHandlers(Handlers handlers) { m_handlers = std::move(handlers); }

    // Connects (starts the process); empty on success, else why it could not.
    virtual QCoro::Task<QString> open() = 0;
    virtual void send(const nlohmann::json &message) = 0;
    // The client no longer waits for that request (cancelled, timed out): an answer that
    // still comes is dropped, and a stream that carries only it may be closed.
    virtual void abandon(qint64 id) { Q_UNUSED(id) }
    // The protocol version both sides agreed on, sent with every later HTTP request.
    virtual void setProtocolVersion(const QString &version) { Q_UNUSED(version) }
    // Forgets the server's session before the client initializes again.
    virtual void resetSession() {}
    // The initialized notification has gone out: the server may now speak on its own.
    virtual void opened() {}
    // Ends the connection in order; returns when it is over.
    virtual QCoro::Task<> close() = 0;
    // What the server logged, its last part; empty for servers that log nowhere we see.
    virtual QString log() const { return {}; }
    // "stdio" or "http", for the screens.
    virtual QString kind() const = 0;

protected:
    void deliver(const nlohmann::json &message)
    {
        if (m_handlers.message)
            m_handlers.message(message);
    }
    void expireSession(const nlohmann::json &message)
    {
        if (m_handlers.sessionExpired)
            m_handlers.sessionExpired(message);
    }
    void reportClosed(const QString &reason)
    {
        if (m_handlers.closed)
            m_handlers.closed(reason);
    }

private:
    Handlers m_handlers;
};
