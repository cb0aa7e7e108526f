#pragma once

#include <QString>
#include <QStringView>

// Keeps cleanForDisplay(text) current while a reply grows piece by piece.
//
// Re-cleaning the whole reply for every piece costs time in proportion to its
// length, so a long reply slows down quadratically. This keeps the verdicts of
// completed lines and what they contribute, and re-examines only the unfinished
// last line (through a bounded head of it) and the ends of the result, so that
// a piece costs time in proportion to its own length. display() is always equal
// to cleanForDisplay() of everything appended since the last clear().
class StreamingDisplayText
{
public:
    void append(QStringView piece);
    void clear();

    // cleanForDisplay() of the text appended so far.
    QString display() const;

private:
    void appendToLine(QStringView segment);
    void completeLine();
    bool lineIsDisplayable() const;

    // The kept completed lines, joined with line feeds.
    QString m_kept;
    bool m_anyKept = false;
    // First and past-the-last character of m_kept that is not white space or a line break.
    qsizetype m_keptSolidBegin = -1;
    qsizetype m_keptSolidEnd = -1;

    // The unfinished last line and what is known of it so far.
    QString m_line;
    qsizetype m_lineLead = 0;        // leading white space (horizontal)
    bool m_lineLeadDone = false;     // a character that is not white space was seen
    qsizetype m_lineEnd = 0;         // past the last character that is not white space
    qsizetype m_lineSolidBegin = -1; // as m_keptSolid*, for the line
    qsizetype m_lineSolidEnd = -1;
    bool m_lineHasEmpty = false;
    bool m_lineHasContains = false;
};
