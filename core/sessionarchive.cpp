#include "core/sessionarchive.h"

#include "core/archive.h"
#include "core/chatsfile.h"
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
    std::optional<QList<ChatSession>> sessions; // absent: saves must leave the archive alone
    QString problem;                            // for the user; empty when all went well
};

const QString unreadablePrefix = QStringLiteral("chatSessions-unreadable-");

QString notSavedText()
{
    return QStringLiteral(" The file is left as it is, and the chats of this run are not saved.");
}

// The next save replaces the archive; the user's chats go to a file of their own first.
// Returns that file's path, and why it could not be written.
std::pair<QString, QString> keepUnreadable(const QByteArray &bytes, const QString &folder)
{
    const QDir dir(folder);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = dir.filePath(QStringLiteral("%1%2.json").arg(unreadablePrefix, stamp));
    for (int n = 2; QFile::exists(path); ++n)
        path = dir.filePath(QStringLiteral("%1%2-%3.json").arg(unreadablePrefix, stamp).arg(n));
    return {path, writeFileAtomically(path, bytes)};
}

// Runs on a worker: touches nothing but its arguments and the files they name. `name` is
// where the archive lives, for the user.
ReadResult readArchive(const QString &dataFile,
                       const QString &name,
                       QByteArray bytes,
                       const QString &keepFolder)
{
    if (bytes.isNull()) {
        QFile file(dataFile);
        if (file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
        if (!file.isOpen() || file.error() != QFileDevice::NoError)
            return {std::nullopt,
                    QStringLiteral("The saved chats in %1 cannot be read (%2).")
                            .arg(name, file.errorString())
                        + notSavedText()};
    }
    if (auto sessions = decodeSessions(bytes)) {
        // Earlier versions let an import bring in identifiers twice; each row gets its own.
        QSet<QUuid> taken;
        for (ChatSession &session : *sessions)
            giveUniqueIds(session, taken);
        return {std::move(sessions), {}};
    }
    const auto [copy, error] = keepUnreadable(bytes, keepFolder);
    if (!error.isEmpty())
        return {std::nullopt,
                QStringLiteral("The saved chats in %1 cannot be read, and their copy %2 could not "
                               "be written (%3).")
                        .arg(name, copy, error)
                    + notSavedText()};
    return {QList<ChatSession>(),
            QStringLiteral("The saved chats in %1 cannot be read. They were copied to %2, and the "
                           "app starts without them.")
                .arg(name, copy)};
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
// Gives the reason of a failure, empty when written.
QString writeArchive(const QString &path, const QList<QByteArray> &sessions)
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    bool ok = file.write("[", 1) == 1;
    for (qsizetype i = 0; ok && i < sessions.size(); ++i) {
        ok = (i == 0 || file.write(",", 1) == 1)
             && file.write(sessions.at(i)) == sessions.at(i).size();
    }
    ok = ok && file.write("]", 1) == 1;
    if (!ok) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    return file.commit() ? QString() : file.errorString();
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
    // A write loop that is still encoding has not handed its state on yet.
    if (!m_wanted && !m_writing)
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
    const QString name = stored.isNull() ? m_dataFile : Preferences::fileName();
    const ReadResult result
        = co_await QtConcurrent::run(readArchive, m_dataFile, name, stored, keepFolder);
    if (!self)
        co_return {};
    if (!result.problem.isEmpty()) {
        qCInfo(lcCore) << result.problem;
        emit problem(result.problem);
    }
    // Nothing is written over an archive that could not be set aside.
    if (!result.sessions)
        co_return {};
    const QList<ChatSession> sessions = *result.sessions;
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

QList<ChatSession> SessionArchive::uncached(const QList<ChatSession> &sessions) const
{
    QList<ChatSession> missing;
    for (const ChatSession &session : sessions) {
        const auto known = m_encoded.constFind(session.id);
        if (known == m_encoded.cend() || !(known->session == session))
            missing.append(session);
    }
    return missing;
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
        const QList<ChatSession> latest = m_latest;
        // New and changed sessions are encoded on a worker: after an import, that can be
        // hundreds of megabytes.
        if (const QList<ChatSession> changed = uncached(latest); !changed.isEmpty()) {
            const QList<QByteArray> made = co_await QtConcurrent::run(encodeEach, changed);
            if (!self)
                co_return;
            for (qsizetype i = 0; i < changed.size() && i < made.size(); ++i)
                m_encoded.insert(changed.at(i).id, Encoded{changed.at(i), made.at(i)});
        }
        const QList<QByteArray> bytes = encode(latest);
#if defined(Q_OS_MACOS)
        // UserDefaults persists in the background itself; it is handed the bytes here.
        const QString error = writeOnThisThread(bytes);
#else
        m_inFlight = QtConcurrent::run(writeArchive, m_dataFile, bytes);
        const QString error = co_await m_inFlight;
        if (!self)
            co_return;
        m_inFlight = {};
        if (error.isEmpty()) {
            // An earlier version kept the archive inside the settings file; the file has it now.
            Preferences::removeFromStore(m_key);
            ++m_writeCount;
        }
#endif
        if (!error.isEmpty()) {
            // Told once; the next save tries again.
            if (!std::exchange(m_failing, true))
                emit problem(QStringLiteral("The chats could not be saved to %1 (%2). The next "
                                            "change tries again.")
                                 .arg(m_dataFile, error));
            continue;
        }
        m_failing = false;
        emit written();
    }
    m_writing = false;
    emit idle();
}

QString SessionArchive::writeOnThisThread(const QList<QByteArray> &bytes)
{
    if (m_dataFile.isEmpty()) {
        Preferences::setData(m_key, joinSessions(bytes));
        ++m_writeCount;
        return {};
    }
    const QString error = writeArchive(m_dataFile, bytes);
    if (error.isEmpty()) {
        Preferences::removeFromStore(m_key);
        ++m_writeCount;
    }
    return error;
}
