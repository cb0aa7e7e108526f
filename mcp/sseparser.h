#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

// One dispatched server-sent event.
struct SseEvent
{
    QByteArray type; // "message" when the server named none
    QByteArray data;
};

// Reads a text/event-stream as it arrives, in any chunks: lines ending in CR, LF or CR LF,
// "data" lines joined, comments skipped. Keeps the last event id and the server's retry delay,
// which a stream that breaks off is resumed with.
class SseParser
{
public:
    QList<SseEvent> feed(QByteArrayView bytes);

    QByteArray lastEventId() const { return m_lastEventId; }
    bool hasEventId() const { return m_hasEventId; }
    std::optional<int> retryMilliseconds() const { return m_retry; }

private:
    void takeLine(QByteArrayView line, QList<SseEvent> &events);

    QByteArray m_pending; // the part of a line not yet ended
    QByteArray m_type;
    QByteArray m_data;
    QByteArray m_lastEventId;
    bool m_hasEventId = false;
    std::optional<int> m_retry;
};
