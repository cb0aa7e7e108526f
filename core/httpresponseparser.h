#pragma once

#include <QByteArray>

// Reads one HTTP/1.1 response as its bytes arrive: the status line and headers,
// then the body, whether chunked, of a stated length, or running until the
// connection closes. Hands out the body's own bytes, transfer framing removed.
class HttpResponseParser
{
public:
    enum class State { Head, Body, Done, Failed };

    // Appends the body bytes that the new input completes to `body`.
    void feed(QByteArrayView bytes, QByteArray &body);
    // The connection closed: a body that runs until the close ends here.
    void connectionClosed();

    State state() const { return m_state; }
    bool headComplete() const { return m_state == State::Body || m_state == State::Done; }
    int status() const { return m_status; }

private:
    enum class Framing { Length, Chunked, UntilClose };
    enum class ChunkStep { Size, Data, DataEnd, Trailer };

    void parseHead(QByteArrayView head);
    void readBody(QByteArray &body);
    bool takeLine(QByteArrayView &line);

    State m_state = State::Head;
    Framing m_framing = Framing::UntilClose;
    ChunkStep m_step = ChunkStep::Size;
    QByteArray m_buffer;
    qsizetype m_consumed = 0;
    qint64 m_remaining = 0;
    int m_status = 0;
};
