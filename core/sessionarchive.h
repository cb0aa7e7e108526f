#pragma once

#include "core/records.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <QCoroTask>

#include <chrono>
#include <optional>

// The chat archive in the preference store, saved and read without holding up the UI
// thread. Each session's encoded bytes are kept, so a save re-encodes only the sessions
// that changed. Where the archive has a data file of its own, a worker joins the bytes
// and writes the file; the worker gets bytes and a path, never the preference store.
// Writes run one at a time in the order asked, a burst of requests becomes one write of
// the newest state, and nothing is written before the stored archive has been read.
class SessionArchive : public QObject
{
    Q_OBJECT

public:
    explicit SessionArchive(QString key, QObject *parent = nullptr);
    // Writes what is still asked for, waiting on the UI thread: await finish() first.
    ~SessionArchive() override;

    // Whether the store holds an archive to read.
    bool hasStoredArchive() const;
    // Reads and decodes the stored archive off the UI thread. Unreadable bytes are copied
    // into `keepFolder` first, and the result is an empty list. Saves are taken from then
    // on, except when the archive cannot be read or its copy not be written: nothing is
    // written over it in this run. Each of these is told through problem().
    QCoro::Task<QList<ChatSession>> load(QString keepFolder);
    // Removes the copies load() kept in `keepFolder`; for deleting everything.
    static void removeUnreadableCopies(const QString &keepFolder);
    // Nothing stored: saves are taken at once.
    void startEmpty();
    bool isLoaded() const { return m_loaded; }

    // How long a request waits for more before the write starts.
    void setCoalesceInterval(std::chrono::milliseconds interval);
    // Asks for the sessions to be written; ignored until the stored archive has been read.
    void save(const QList<ChatSession> &sessions);
    // Resumes once everything asked for is written.
    QCoro::Task<> finish();
    // Writes in this run.
    int writeCount() const { return m_writeCount; }

signals:
    // The newest state asked for at the time has been written.
    void written();
    // No write is running or waiting.
    void idle();
    // Something the user must know about the archive: it could not be read, or not be
    // written (told once until a write succeeds again).
    void problem(const QString &text);

private:
    struct Encoded
    {
        ChatSession session;
        QByteArray bytes;
    };

    QList<QByteArray> encode(const QList<ChatSession> &sessions);
    // The sessions whose bytes are not kept yet.
    QList<ChatSession> uncached(const QList<ChatSession> &sessions) const;
    void adopt(const QList<ChatSession> &sessions, const QList<QByteArray> &bytes);
    QCoro::Task<> writeLoop();
    QString writeOnThisThread(const QList<QByteArray> &bytes);

    QString m_key;
    QString m_dataFile;
    bool m_loaded = false;
    bool m_wanted = false;
    bool m_writing = false;
    bool m_failing = false; // the last write failed, and the user was told
    int m_writeCount = 0;
    QList<ChatSession> m_latest;
    QHash<QUuid, Encoded> m_encoded;
    QFuture<QString> m_inFlight;
    // The sessions read, until their bytes (being made off the UI thread) are adopted.
    QList<ChatSession> m_unencoded;
    QFuture<QList<QByteArray>> m_encoding;
    QTimer m_coalesce;
};
