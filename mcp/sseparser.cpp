#include "mcp/sseparser.h"

QList<SseEvent> SseParser::feed(QByteArrayView bytes)
{
    QList<SseEvent> events;
    m_pending.append(bytes);
    qsizetype start = 0;
    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        const char c = m_pending.at(i);
        if (c != '\n' && c != '\r')
            continue;
        // A CR at the end may be the first half of CR LF: decided when more arrives.
        if (c == '\r' && i + 1 == m_pending.size())
            break;
        takeLine(QByteArrayView(m_pending).sliced(start, i - start), events);
        if (c == '\r' && m_pending.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    m_pending.remove(0, start);
    return events;
}

void SseParser::takeLine(QByteArrayView line, QList<SseEvent> &events)
{
    if (line.isEmpty()) {
        // As browsers do: an event without data (a priming event that only sets the id and the
        // retry delay) is not dispatched.
        if (m_data.endsWith('\n'))
            m_data.chop(1);
        if (!m_data.isEmpty())
            events.append({m_type.isEmpty() ? QByteArray("message") : m_type, m_data});
        m_type.clear();
        m_data.clear();
        return;
    }
    if (line.startsWith(':'))
        return;
    const qsizetype colon = line.indexOf(':');
    const QByteArrayView field = colon < 0 ? line : line.first(colon);
    QByteArrayView value = colon < 0 ? QByteArrayView() : line.sliced(colon + 1);
    if (value.startsWith(' '))
        value = value.sliced(1);
    if (field == "data") {
        m_data.append(value);
        m_data.append('\n');
    } else if (field == "event") {
        m_type = value.toByteArray();
    } else if (field == "id") {
        if (!value.contains('\0')) {
            m_lastEventId = value.toByteArray();
            m_hasEventId = true;
        }
    } else if (field == "retry") {
        bool ok = false;
        const int delay = value.toByteArray().toInt(&ok);
        if (ok && delay >= 0)
            m_retry = delay;
    }
}
