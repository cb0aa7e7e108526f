#include "core/streamingdisplaytext.h"

#include "core/replytext.h"

namespace {

// The display rules look at most this far into a trimmed line, apart from two
// words searched anywhere in it (see lineIsDisplayable).
constexpr qsizetype headLength = 64;

// Every white-space and line-break character lies in the Basic Multilingual
// Plane and no surrogate is one, so judging UTF-16 units one by one agrees
// with the code-point walk of the trimming functions.
bool isWhiteSpace(QChar c)
{
    return ReplyText::isWhiteSpace(c.unicode());
}

bool isSolid(QChar c)
{
    return !ReplyText::isWhiteSpaceOrLineBreak(c.unicode());
}

// Searches only the part of text that can hold a match not seen before.
bool containsFrom(const QString &text, qsizetype newFrom, QStringView word)
{
    const qsizetype from = std::max<qsizetype>(0, newFrom - (word.size() - 1));
    return QStringView(text).sliced(from).contains(word);
}

} // namespace

void StreamingDisplayText::append(QStringView piece)
{
    while (!piece.isEmpty()) {
        const qsizetype lineFeed = piece.indexOf(u'\n');
        if (lineFeed < 0) {
            appendToLine(piece);
            return;
        }
        appendToLine(piece.first(lineFeed));
        completeLine();
        piece = piece.sliced(lineFeed + 1);
    }
}

void StreamingDisplayText::clear()
{
    *this = StreamingDisplayText();
}

void StreamingDisplayText::appendToLine(QStringView segment)
{
    if (segment.isEmpty())
        return;
    const qsizetype start = m_line.size();
    m_line.append(segment);
    for (qsizetype i = start; i < m_line.size(); ++i) {
        const QChar c = m_line.at(i);
        if (!m_lineLeadDone) {
            if (isWhiteSpace(c))
                ++m_lineLead;
            else
                m_lineLeadDone = true;
        }
        if (!isWhiteSpace(c))
            m_lineEnd = i + 1;
        if (isSolid(c)) {
            if (m_lineSolidBegin < 0)
                m_lineSolidBegin = i;
            m_lineSolidEnd = i + 1;
        }
    }
    if (!m_lineHasEmpty)
        m_lineHasEmpty = containsFrom(m_line, start, u"empty");
    if (!m_lineHasContains)
        m_lineHasContains = containsFrom(m_line, start, u"contains");
}

bool StreamingDisplayText::lineIsDisplayable() const
{
    if (!m_lineLeadDone)
        return isDisplayableLine(QStringView());
    const QStringView trimmed = QStringView(m_line).sliced(m_lineLead, m_lineEnd - m_lineLead);
    if (trimmed.size() <= headLength)
        return isDisplayableLine(trimmed);
    // A long line is judged by a stand-in that the rules cannot tell from it:
    // the same head (prefixes, the bracketed tool name and its colon all lie
    // within it), too long to be "---", and the two words the clipboard rule
    // looks for anywhere, fenced off so that they cannot join the head.
    QString standIn;
    standIn.reserve(headLength + 16);
    standIn.append(trimmed.first(headLength));
    standIn.append(QChar(0x01));
    if (m_lineHasEmpty)
        standIn.append(u"empty");
    standIn.append(QChar(0x01));
    if (m_lineHasContains)
        standIn.append(u"contains");
    return isDisplayableLine(standIn);
}

void StreamingDisplayText::completeLine()
{
    if (lineIsDisplayable()) {
        if (m_anyKept)
            m_kept.append(u'\n');
        const qsizetype offset = m_kept.size();
        m_kept.append(m_line);
        m_anyKept = true;
        if (m_lineSolidBegin >= 0) {
            if (m_keptSolidBegin < 0)
                m_keptSolidBegin = offset + m_lineSolidBegin;
            m_keptSolidEnd = offset + m_lineSolidEnd;
        }
    }
    m_line.clear();
    m_lineLead = 0;
    m_lineLeadDone = false;
    m_lineEnd = 0;
    m_lineSolidBegin = -1;
    m_lineSolidEnd = -1;
    m_lineHasEmpty = false;
    m_lineHasContains = false;
}

QString StreamingDisplayText::display() const
{
    const bool lineCounts = m_lineSolidBegin >= 0 && lineIsDisplayable();
    if (m_keptSolidBegin >= 0) {
        if (!lineCounts)
            return m_kept.sliced(m_keptSolidBegin, m_keptSolidEnd - m_keptSolidBegin);
        // Everything between the kept text's first solid character and the
        // line's last one: the white space in between stays.
        const QStringView keptPart = QStringView(m_kept).sliced(m_keptSolidBegin);
        QString result;
        result.reserve(keptPart.size() + 1 + m_lineSolidEnd);
        result.append(keptPart);
        result.append(u'\n');
        result.append(QStringView(m_line).first(m_lineSolidEnd));
        return result;
    }
    if (lineCounts)
        return m_line.sliced(m_lineSolidBegin, m_lineSolidEnd - m_lineSolidBegin);
    return QString();
}
