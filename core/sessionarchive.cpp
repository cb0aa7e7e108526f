#include "core/sessionarchive.h"

#include "core/archive.h"
#include "core/logging.h"

#include "platform/preferences.h"
#include "platform/savefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>
#include <QCoroSignal>

namespace {
struct ReadResult
{
    bool opened = true;
    std::optional<QList<ChatSession>> sessions;
};

const QString unreadablePrefix = QStringLiteral("chatSessions-unreadable-");

// The next save replaces the archive; the user's chats go to a file of their own first.
void keepUnreadable(const QByteArray &bytes, const QString &folder)
{
    const QDir dir(folder);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = dir.filePath(QStringLiteral("%1%2.json").arg(unreadablePrefix, stamp));
    for (int n = 2; QFile::exists(path); ++n)
        path = dir.filePath(QStringLiteral("%1%2-%3.json").arg(unreadablePrefix, stamp).arg(n));
    writeFileAtomically(path, bytes);
}

// Runs on a worker: touches nothing but its arguments and the files they name.
ReadResult readArchive(const QString &dataFile, QByteArray bytes, const QString &keepFolder)
{
    ReadResult result;
    if (bytes.isNull()) {
        QFile file(dataFile);
        if (!file.open(QIODevice::ReadOnly)) {
            result.opened = false;
            return result;
        }
        bytes = file.readAll();
    }
    result.sessions = decodeSessions(bytes);
    if (!result.sessions)
        keepUnreadable(bytes, keepFolder);
    return result;
}

// Runs on a worker, over sessions nothing changes in place (implicitly shared copies).
QList<QByteArray> encodeEach(const QList<ChatSession> &sessions)
{
    QList<QByteArray> bytes;
    bytes.reserve(sessions.size());
    for (const ChatSession &session : sessions)
        bytes.append(encodeSession(session));
    return bytes;
}

// Runs on a worker. The array is joined while it is written: no second copy of the archive.
bool writeArchive(const QString &path, const QList<QByteArray> &sessions)
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    bool ok = file.write("[", 1) == 1;
    for (qsizetype i = 0; ok && i < sessions.size(); ++i) {
        ok = (i == 0 || file.write(",", 1) == 1)
             && file.write(sessions.at(i)) == sessions.at(i).size();
    }
    ok = ok && file.write("]", 1) == 1;
    if (!ok) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
} // namespace

SessionArchive::SessionArchive(QString key, QObject *parent)
    : QObject(parent)
    , m_key(std::move(key))
    , m_dataFile(Preferences::dataFile(m_key))
{
    m_coalesce.setSingleShot(true);
    m_coalesce.setInterval(std::chrono::milliseconds(30));
    connect(&m_coalesce, &QTimer::timeout, this, [this] {
        if (!m_writing)
            writeLoop();
    });
}

SessionArchive::~SessionArchive()
{
    m_inFlight.waitForFinished();
    if (!m_wanted)
        return;
    if (!m_unencoded.isEmpty())
        adopt(m_unencoded, m_encoding.result());
    writeOnThisThread(encode(m_latest));
}

bool SessionArchive::hasStoredArchive() const
{
    return Preferences::contains(m_key);
}

void SessionArchive::removeUnreadableCopies(const QString &keepFolder)
{
    QDir dir(keepFolder);
    const QStringList copies
        = dir.entryList({unreadablePrefix + QStringLiteral("*.json")}, QDir::Files);
    for (const QString &name : copies)
        dir.remove(name);
}

QCoro::Task<QList<ChatSession>> SessionArchive::load(QString keepFolder)
{
    // The store is read here, on the UI thread; only a data file is read by the worker.
    QByteArray stored;
    if (m_dataFile.isEmpty() || !QFileInfo::exists(m_dataFile))
        stored = Preferences::data(m_key).value_or(QByteArray(""));
    QPointer<SessionArchive> self(this);
    const ReadResult result
        = co_await QtConcurrent::run(readArchive, m_dataFile, stored, keepFolder);
    if (!self)
        co_return {};
    if (!result.opened) {
        qCWarning(lcCore) << "the chat archive cannot be opened; this run saves no chats:"
                          << m_dataFile;
        co_return {};
    }
    const QList<ChatSession> sessions = result.sessions.value_or(QList<ChatSession>());
    // The sessions go out now; their bytes for the first save are made meanwhile.
    m_unencoded = sessions;
    m_encoding = QtConcurrent::run(encodeEach, sessions);
    m_loaded = true;
    co_return sessions;
}

void SessionArchive::startEmpty()
{
    m_loaded = true;
}

void SessionArchive::setCoalesceInterval(std::chrono::milliseconds interval)
{
    m_coalesce.setInterval(interval);
}

void SessionArchive::save(const QList<ChatSession> &sessions)
{
    if (!m_loaded)
        return;
    m_latest = sessions;
    m_wanted = true;
    if (!m_coalesce.isActive())
        m_coalesce.start();
}

QCoro::Task<> SessionArchive::finish()
{
    if (m_coalesce.isActive()) {
        m_coalesce.stop();
        if (!m_writing)
            writeLoop();
    }
    if (m_writing)
        co_await qCoro(this, &SessionArchive::idle);
}

// Unchanged sessions keep their bytes; the cache follows the list, so deleted sessions go.
QList<QByteArray> SessionArchive::encode(const QList<ChatSession> &sessions)
{
    QHash<QUuid, Encoded> next;
    next.reserve(sessions.size());
    QList<QByteArray> bytes;
    bytes.reserve(sessions.size());
    for (const ChatSession &session : sessions) {
        const auto known = m_encoded.constFind(session.id);
        // Equal sessions mostly share their message list, which compares in constant time.
        Encoded entry = known != m_encoded.cend() && known->session == session
                            ? *known
                            : Encoded{session, encodeSession(session)};
        bytes.append(entry.bytes);
        next.insert(session.id, std::move(entry));
    }
    m_encoded = std::move(next);
    return bytes;
}

void SessionArchive::adopt(const QList<ChatSession> &sessions, const QList<QByteArray> &bytes)
{
    m_encoded.clear();
    for (qsizetype i = 0; i < sessions.size() && i < bytes.size(); ++i)
        m_encoded.insert(sessions.at(i).id, Encoded{sessions.at(i), bytes.at(i)});
}

QCoro::Task<> SessionArchive::writeLoop()
{
    m_writing = true;
    QPointer<SessionArchive> self(this);
    while (m_wanted) {
        m_wanted = false;
        if (!m_unencoded.isEmpty()) {
            const QList<QByteArray> loaded = co_await m_encoding;
            if (!self)
                co_return;
            adopt(std::exchange(m_unencoded, {}), loaded);
        }
        const QList<QByteArray> bytes = encode(m_latest);
#if defined(Q_OS_MACOS)
        // UserDefaults persists in the background itself; it is handed the bytes here.
        writeOnThisThread(bytes);
#else
        m_inFlight = QtConcurrent::run(writeArchive, m_dataFile, bytes);
        const bool ok = co_await m_inFlight;
        if (!self)
            co_return;
        m_inFlight = {};
        if (!ok) {
            qCWarning(lcCore) << "the chat archive could not be written:" << m_dataFile;
            continue;
        }
        // An earlier version kept the archive inside the settings file; the file has it now.
        Preferences::removeFromStore(m_key);
        ++m_writeCount;
#endif
        emit written();
    }
    m_writing = false;
    emit idle();
}

bool SessionArchive::writeOnThisThread(const QList<QByteArray> &bytes)
{
    if (m_dataFile.isEmpty()) {
        Preferences::setData(m_key, joinSessions(bytes));
        ++m_writeCount;
        return true;
    }
    const bool ok = writeArchive(m_dataFile, bytes);
    if (ok) {
        Preferences::removeFromStore(m_key);
        ++m_writeCount;
    }
    return ok;
}
