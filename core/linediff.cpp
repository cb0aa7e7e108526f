#include "core/linediff.h"

#include <vector>

namespace {
void append(LineDiff &diff, DiffLine::Kind kind, const QString &text)
{
    diff.lines.append({kind, text});
    if (kind == DiffLine::Removed)
        ++diff.removed;
    else if (kind == DiffLine::Added)
        ++diff.added;
}
} // namespace

LineDiff diffLines(const QStringList &before, const QStringList &after, qsizetype maxCells)
{
    LineDiff diff;
    qsizetype head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head])
        ++head;
    qsizetype tail = 0;
    while (tail < before.size() - head && tail < after.size() - head
           && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    for (qsizetype i = 0; i < head; ++i)
        append(diff, DiffLine::Same, before[i]);

    const qsizetype n = before.size() - head - tail;
    const qsizetype m = after.size() - head - tail;
    if (n > 0 && m > 0 && n * m <= maxCells) {
        // lcs[i][j]: the longest common run of before[head+i..] and after[head+j..].
        std::vector<int> lcs(size_t((n + 1) * (m + 1)), 0);
        const auto at = [m](qsizetype i, qsizetype j) { return size_t(i * (m + 1) + j); };
        for (qsizetype i = n - 1; i >= 0; --i)
            for (qsizetype j = m - 1; j >= 0; --j)
                lcs[at(i, j)] = before[head + i] == after[head + j]
                                    ? lcs[at(i + 1, j + 1)] + 1
                                    : std::max(lcs[at(i + 1, j)], lcs[at(i, j + 1)]);
        qsizetype i = 0, j = 0;
        while (i < n || j < m) {
            if (i < n && j < m && before[head + i] == after[head + j]) {
                append(diff, DiffLine::Same, before[head + i++]);
                ++j;
            } else if (i < n && (j == m || lcs[at(i + 1, j)] >= lcs[at(i, j + 1)])) {
                append(diff, DiffLine::Removed, before[head + i++]);
            } else {
                append(diff, DiffLine::Added, after[head + j++]);
            }
        }
    } else {
        for (qsizetype i = 0; i < n; ++i)
            append(diff, DiffLine::Removed, before[head + i]);
        for (qsizetype j = 0; j < m; ++j)
            append(diff, DiffLine::Added, after[head + j]);
    }
    for (qsizetype i = before.size() - tail; i < before.size(); ++i)
        append(diff, DiffLine::Same, before[i]);
    return diff;
}
