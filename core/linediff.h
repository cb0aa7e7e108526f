#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A line diff of a file's current text against the text about to replace it, for the approval
// sheet: the user sees what a write changes before approving it.
struct DiffLine
{
    enum Kind { Same, Removed, Added };
    Kind kind = Same;
    QString text;
    bool operator==(const DiffLine &) const = default;
};

struct LineDiff
{
    QList<DiffLine> lines; // in file order; removals before the additions that replace them
    int removed = 0;
    int added = 0;
};

// The longest-common-subsequence diff, after the common head and tail are set aside. Past
// maxCells (lines changed before × lines changed after) it shows the changed middle as all
// removed then all added, so a huge rewrite costs linear time instead of quadratic.
LineDiff diffLines(const QStringList &before,
                   const QStringList &after,
                   qsizetype maxCells = 4'000'000);
