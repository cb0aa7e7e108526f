#include "core/httpresponseparser.h"

#include <QList>

#include <optional>

namespace {
constexpr qsizetype maxHeadBytes = 64 * 1024;
constexpr qsizetype maxLineBytes = 8 * 1024;
} // namespace

void HttpResponseParser::feed(QByteArrayView bytes, QByteArray &body)
{
    if (m_state == State::Done || m_state == State::Failed)
        return;
    if (m_state == State::Body && m_framing == Framing::UntilClose) {
        body.append(bytes); // nothing to frame: pass the bytes straight on
        return;
    }
    m_buffer.append(bytes);
    if (m_state == State::Head) {
        // The head ends at the first blank line, whichever line ending the server uses.
        qsizetype end = m_buffer.indexOf("\r\n\r\n");
        qsizetype separator = 4;
        const qsizetype bare = m_buffer.indexOf("\n\n");
        if (bare >= 0 && (end < 0 || bare < end)) {
            end = bare;
            separator = 2;
        }
        if (end < 0) {
            if (m_buffer.size() > maxHeadBytes)
                m_state = State::Failed;
            return;
        }
        parseHead(QByteArrayView(m_buffer).first(end));
        m_consumed = end + separator;
        if (m_state == State::Failed)
            return;
    }
    readBody(body);
    // Keep the buffer short: drop what was read.
    if (m_consumed > 0) {
        m_buffer.remove(0, m_consumed);
        m_consumed = 0;
    }
}

void HttpResponseParser::connectionClosed()
{
    if (m_state == State::Body && m_framing == Framing::UntilClose)
        m_state = State::Done;
}

void HttpResponseParser::parseHead(QByteArrayView head)
{
    const QList<QByteArray> lines = head.toByteArray().split('\n');
    // "HTTP/1.1 200 OK"
    const QByteArray statusLine = lines.first().trimmed();
    const QList<QByteArray> parts = statusLine.split(' ');
    bool ok = false;
    if (parts.size() >= 2 && parts.first().startsWith("HTTP/"))
        m_status = parts.at(1).toInt(&ok);
    if (!ok || m_status < 100 || m_status > 999) {
        m_state = State::Failed;
        return;
    }
    std::optional<qint64> length;
    bool chunked = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.first(colon).trimmed().toLower();
        const QByteArray value = line.sliced(colon + 1).trimmed();
        if (name == "transfer-encoding" && value.toLower().contains("chunked")) {
            chunked = true;
        } else if (name == "content-length") {
            const qint64 n = value.toLongLong(&ok);
            if (!ok || n < 0) {
                m_state = State::Failed;
                return;
            }
            length = n;
        }
    }
    m_state = State::Body;
    if (chunked) {
        m_framing = Framing::Chunked;
    } else if (length) {
        m_framing = Framing::Length;
        m_remaining = *length;
    } else if (m_status == 204 || m_status == 304 || m_status < 200) {
        m_framing = Framing::Length;
        m_remaining = 0;
    } else {
        m_framing = Framing::UntilClose;
    }
}

bool HttpResponseParser::takeLine(QByteArrayView &line)
{
    const qsizetype end = m_buffer.indexOf('\n', m_consumed);
    if (end < 0) {
        if (m_buffer.size() - m_consumed > maxLineBytes + 1)
            m_state = State::Failed;
        return false;
    }
    if (end - m_consumed > maxLineBytes) {
        m_state = State::Failed;
        return false;
    }
    line = QByteArrayView(m_buffer).sliced(m_consumed, end - m_consumed);
    if (line.endsWith('\r'))
        line.chop(1);
    m_consumed = end + 1;
    return true;
}

void HttpResponseParser::readBody(QByteArray &body)
{
    const auto available = [this] { return m_buffer.size() - m_consumed; };
    if (m_framing == Framing::UntilClose) {
        body.append(QByteArrayView(m_buffer).sliced(m_consumed));
        m_consumed = m_buffer.size();
        return;
    }
    if (m_framing == Framing::Length) {
        const qint64 n = std::min<qint64>(m_remaining, available());
        body.append(QByteArrayView(m_buffer).sliced(m_consumed, qsizetype(n)));
        m_consumed += qsizetype(n);
        m_remaining -= n;
        if (m_remaining == 0)
            m_state = State::Done;
        return;
    }
    while (m_state == State::Body) {
        QByteArrayView line;
        switch (m_step) {
        case ChunkStep::Size: {
            if (!takeLine(line))
                return;
            const qsizetype extension = line.indexOf(';');
            bool ok = false;
            const QByteArray hex
                = (extension >= 0 ? line.first(extension) : line).toByteArray().trimmed();
            m_remaining = hex.toLongLong(&ok, 16);
            if (!ok || m_remaining < 0 || hex.size() > 15) {
                m_state = State::Failed;
                return;
            }
            m_step = m_remaining == 0 ? ChunkStep::Trailer : ChunkStep::Data;
            break;
        }
        case ChunkStep::Data: {
            const qint64 n = std::min<qint64>(m_remaining, available());
            if (n == 0)
                return;
            body.append(QByteArrayView(m_buffer).sliced(m_consumed, qsizetype(n)));
            m_consumed += qsizetype(n);
            m_remaining -= n;
            if (m_remaining == 0)
                m_step = ChunkStep::DataEnd;
            break;
        }
        case ChunkStep::DataEnd:
            if (!takeLine(line))
                return;
            if (!line.isEmpty()) {
                m_state = State::Failed;
                return;
            }
            m_step = ChunkStep::Size;
            break;
        case ChunkStep::Trailer:
            if (!takeLine(line))
                return;
            if (line.isEmpty())
                m_state = State::Done;
            break;
        }
    }
}
