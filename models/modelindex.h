#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The models folder's own record of the model files the catalogue does not name: hub
// downloads (repository and files) and files used where they are. The folder is the
// truth: an entry whose file is gone is dropped when the index is read.
struct ModelIndexEntry
{
    QString repo;              // hub downloads: "owner/name"; empty for a file used in place
    QStringList parts;         // hub downloads: the file names, the first one loaded
    QList<qint64> sizes;       // hub downloads: bytes per part
    QList<QByteArray> digests; // hub downloads: SHA-256 per part, when the hub named them
    QString path;              // a file used in place: its absolute path

    bool isLocal() const { return repo.isEmpty(); }
    friend bool operator==(const ModelIndexEntry &, const ModelIndexEntry &) = default;
};

namespace ModelIndex {
// "library.json" in the models folder.
QString filePath(const QString &modelsDirectory);
// The entries whose files are all there; an unreadable index has none.
QList<ModelIndexEntry> read(const QString &modelsDirectory);
// Replaces the index in one step; false when it could not be written.
bool write(const QString &modelsDirectory, const QList<ModelIndexEntry> &entries);
// Every file of the entry is present.
bool isPresent(const ModelIndexEntry &entry, const QString &modelsDirectory);
// The folder of a hub repository inside the models folder.
QString repoFolder(const QString &modelsDirectory, const QString &repo);

// Why a file cannot be used as a model (not a GGUF file of version 2 or 3); empty when it can.
QString ggufProblem(const QString &path);
} // namespace ModelIndex
