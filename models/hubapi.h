#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// One repository found by the hub's model search.
struct HubRepository
{
    QString id; // "owner/name"
    qint64 downloads = 0;
    QDateTime lastModified; // invalid when the hub named none

    friend bool operator==(const HubRepository &, const HubRepository &) = default;
};

// One GGUF model of a repository: a single file, or a file split into parts that are
// downloaded together and loaded through the first.
struct HubFile
{
    QStringList parts;         // the file names in the repository, in order
    QList<qint64> sizes;       // bytes, one per part
    QList<QByteArray> digests; // the hub's SHA-256 per part in hex; empty when unnamed
    QString quantization;      // from the file name; "GGUF" when it names none

    QString name() const { return parts.value(0); }
    qint64 totalBytes() const;
    // A vision model's projector (mmproj-*.gguf) comes last among the parts, downloaded and
    // verified with the model and kept beside it; -1 without one.
    qsizetype projectorIndex() const;
    // The parts of the model itself, the projector left out.
    qsizetype modelPartCount() const { return parts.size() - (projectorIndex() >= 0 ? 1 : 0); }

    friend bool operator==(const HubFile &, const HubFile &) = default;
};

// The hub's public model API: the addresses it answers on and how its answers read.
namespace HubApi {
// The twenty GGUF repositories with the most downloads whose name contains the text, with
// their download counts and dates.
QUrl searchUrl(const QString &baseAddress, const QString &text);
// The files of a repository's main branch, those in folders included.
QUrl treeUrl(const QString &baseAddress, const QString &repo);
// The next page of a listing from its "Link" header: rel="next", on the same scheme, host and
// port as the page it came with; invalid when there is none.
QUrl nextPage(const QByteArray &linkHeader, const QUrl &page);

// Null when the answer is not a list of repositories.
std::optional<QList<HubRepository>> parseSearch(const QByteArray &body);
// The GGUF models of a tree listing's pages in their order; split parts are grouped into
// one model and a set with parts missing is left out. A projector file (mmproj-*.gguf) is no
// model of its own: it goes with every model of its folder (the F16 one when there are
// several). Null when a page is no listing.
std::optional<QList<HubFile>> parseTree(const QList<QByteArray> &pages);

// "Q4_K_M", "IQ3_XS", "F16" … read from a file name, upper case; empty when none.
QString quantizationOf(const QString &fileName);
// "3B" or "0.5B" from a repository or file name; empty when none.
QString parameterCountOf(const QString &name);
} // namespace HubApi
