#include "models/hfdownloadsession.h"

#include "models/partialfile.h"
#include "platform/wording.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>

#include <QCoroFuture>
#include <QCoroNetworkReply>
#include <QCoroTimer>

#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace std::chrono_literals;

QByteArray HFDownloadSession::userAgent(const QString &platform)
{
    if (platform == QLatin1String("macOS"))
        return QByteArrayLiteral("Tovra AI/1.0 (macOS; like Safari)");
    return QByteArrayLiteral("Tovra AI/1.0 (") + platform.toUtf8() + ')';
}

namespace {
constexpr qint64 chunkSize = 1024 * 1024;

// Hashing and writing at most this much per turn of the event loop keeps the window
// drawing (about 1 ms of work each).
constexpr qint64 turnBudget = chunkSize;

} // namespace

HFDownloadSession::HFDownloadSession(QString destPath,
                                     QString partialPath,
                                     ProgressCallback onProgress,
                                     CompletionCallback onComplete,
                                     QObject *parent)
    : QObject(parent)
    , m_destPath(std::move(destPath))
    , m_partialPath(std::move(partialPath))
    , m_onProgress(std::move(onProgress))
    , m_onComplete(std::move(onComplete))
    , m_file(m_partialPath)
{
    m_idleTimer.setSingleShot(true);
    m_totalTimer.setSingleShot(true);
    m_idleTimer.setInterval(defaultIdleTimeout);
    m_totalTimer.setInterval(defaultTotalTimeout);
    connect(&m_idleTimer, &QTimer::timeout, this, &HFDownloadSession::onTimeout);
    connect(&m_totalTimer, &QTimer::timeout, this, &HFDownloadSession::onTimeout);
}

HFDownloadSession::~HFDownloadSession()
{
    // Lets a suspended transfer resume and end quietly instead of waiting forever
    // on a reply that is about to be destroyed. The partial file stays for a resume.
    m_closing = true;
    m_stop.raise();
    if (m_reply && !m_reply->isFinished())
        m_reply->abort();
}

QString HFDownloadSession::validatorPath(const QString &partialPath)
{
    return partialPath + QStringLiteral(".validator");
}

void HFDownloadSession::setTimeouts(std::chrono::milliseconds idle, std::chrono::milliseconds total)
{
    m_idleTimer.setInterval(idle);
    m_totalTimer.setInterval(total);
}

void HFDownloadSession::expect(QByteArray digest, qint64 size)
{
    m_expectedDigest = std::move(digest);
    m_expectedSize = size;
}

void HFDownloadSession::start(const QUrl &address)
{
    if (m_started)
        return;
    m_started = true;
    run(address);
}

void HFDownloadSession::cancel()
{
    if (m_closing || m_cancelRequested || m_finished)
        return;
    m_cancelRequested = true;
    // A complete, verified file is being moved in: let it land, report the cancel.
    if (m_installing)
        return;
    // The partial file goes now, not when the transfer winds down: a new download
    // of the same file may start before then and must find the path free.
    m_file.close();
    discardPartial();
    if (m_reply && !m_reply->isFinished())
        m_reply->abort();
}

void HFDownloadSession::onTimeout()
{
    m_timedOut = true;
    if (m_reply && !m_reply->isFinished())
        m_reply->abort();
}

QCoro::Task<> HFDownloadSession::run(QUrl address)
{
    // The session may be gone when a transfer resumes us: nothing of it may be touched then.
    const QPointer<HFDownloadSession> self(this);
    QDir().mkpath(QFileInfo(m_partialPath).absolutePath());
    m_totalTimer.start();
    Step step = co_await transfer(address, true);
    if (!self || m_closing)
        co_return;
    if (step == Step::StartOver && !m_cancelRequested) {
        // The server would not continue the partial file: fetch the whole file again.
        discardPartial();
        step = co_await transfer(address, false);
        if (!self || m_closing)
            co_return;
        if (step == Step::StartOver)
            fail(QStringLiteral("The server sent only part of the file."));
    }
    m_idleTimer.stop();
    m_totalTimer.stop();
    if (m_result.ok() && !m_cancelRequested)
        verify();
    if (m_result.ok() && !m_cancelRequested) {
        co_await moveIntoPlace();
        if (!self || m_closing)
            co_return;
    }
    finish();
}

QCoro::Task<HFDownloadSession::Step> HFDownloadSession::transfer(QUrl address, bool mayResume)
{
    PartialFile::Record kept;
    qint64 resumeOffset = 0;
    if (mayResume) {
        kept = PartialFile::readRecord(validatorPath(m_partialPath));
        if (!kept.validator.isEmpty())
            resumeOffset = QFileInfo(m_partialPath).size();
    }
    // The kept part is hashed on a pool thread while the request goes out; it stops once this
    // transfer no longer waits for it.
    QFuture<std::shared_ptr<Sha256>> keptHash;
    const StopFlag hashStop;
    const auto stopHash = qScopeGuard([hashStop] { hashStop.raise(); });
    if (resumeOffset > 0)
        keptHash
            = Sha256::hashFilePrefix(m_partialPath, resumeOffset, [session = m_stop, hashStop] {
                  return session.isRaised() || hashStop.isRaised();
              });

    QNetworkRequest request(address);
    request.setRawHeader("User-Agent", userAgent(platformName()));
    request.setRawHeader("Accept", "*/*");
    // Byte offsets and lengths must be those of the file itself, never of a
    // compressed form (resume, progress and the length check depend on it).
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    if (resumeOffset > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(resumeOffset) + '-');
        request.setRawHeader("If-Range", kept.validator);
    }

    m_accepted = false;
    m_written = 0;
    m_expected = -1;
    m_resumedFrom = 0;
    m_linkedDigest = m_expectedDigest;
    m_linkedSize = m_expectedSize;
    m_hash.reset();
    const QPointer<HFDownloadSession> self(this);
    QNetworkReply *reply = co_await open(address, request);
    if (!self || m_closing)
        co_return Step::Finished;
    if (!reply) {
        m_idleTimer.stop();
        co_return Step::Finished;
    }
    const auto release = qScopeGuard([guarded = QPointer<QNetworkReply>(reply)] {
        if (guarded)
            guarded->deleteLater();
    });

    std::vector<char> buffer(chunkSize);
    while (true) {
        // Whatever is buffered is written first: with a bounded read buffer the
        // transfer pauses until we drain it.
        if (reply->bytesAvailable() == 0 && !reply->isFinished()) {
            co_await qCoro(reply).waitForReadyRead(-1ms);
            if (!self || m_closing)
                co_return Step::Finished;
        }
        if (m_cancelRequested)
            break;
        if (!m_accepted) {
            if (acceptResponse(reply, resumeOffset, kept) == Step::StartOver) {
                reply->abort();
                co_return Step::StartOver;
            }
            if (!m_accepted) {
                if (!reply->isFinished())
                    reply->abort();
                break;
            }
            if (m_resumedFrom > 0) {
                m_hash = co_await keptHash;
                if (!self || m_closing)
                    co_return Step::Finished;
                if (m_cancelRequested)
                    break;
                if (!m_hash) {
                    reply->abort();
                    co_return Step::StartOver;
                }
            } else {
                m_hash = std::make_shared<Sha256>();
            }
        }
        qint64 received = 0;
        const qint64 limit = sizeLimit();
        while (reply->bytesAvailable() > 0 && received < turnBudget) {
            const qint64 count = reply->read(buffer.data(), qint64(buffer.size()));
            if (count <= 0)
                break;
            // A server may not fill the disk: what goes beyond its own word ends the download.
            if (limit >= 0 && m_written + received + count > limit) {
                m_keepPartial = false;
                fail(QStringLiteral("the server sent more than the announced %1 bytes").arg(limit));
                break;
            }
            if (m_file.write(buffer.data(), count) != count) {
                fail(m_file.errorString());
                break;
            }
            m_hash->add(buffer.data(), count);
            received += count;
        }
        if (m_result.error) {
            reply->abort();
            break;
        }
        if (received > 0) {
            m_written += received;
            m_idleTimer.start();
            report();
        }
        if (reply->isFinished() && reply->bytesAvailable() == 0)
            break;
        if (reply->bytesAvailable() > 0) {
            // More is buffered: let the window draw before the next share.
            co_await QCoro::sleepFor(0ms);
            if (!self || m_closing)
                co_return Step::Finished;
        }
    }
    m_idleTimer.stop();

    if (m_cancelRequested) {
        m_result = DownloadResult{reply->error() == QNetworkReply::OperationCanceledError
                                      ? reply->errorString()
                                      : QStringLiteral("Operation canceled"),
                                  true};
    } else if (!m_result.error && reply->error() != QNetworkReply::NoError) {
        if (m_timedOut) {
            fail(QStringLiteral("The request timed out."));
        } else {
            fail(reply->errorString());
        }
    }
    if (!m_result.error && m_expected >= 0 && m_written != m_expected)
        fail(QStringLiteral("The connection ended before the whole file arrived."));
    if (m_file.isOpen()) {
        if (!m_file.flush() && !m_result.error)
            fail(m_file.errorString());
        m_file.close();
    }
    co_return Step::Finished;
}

void HFDownloadSession::report()
{
    // Without an announced length there is nothing to report a fraction of.
    if (m_expected < 1 || !m_onProgress)
        return;
    m_onProgress(double(m_written) / double(m_expected), m_written, m_expected);
}

qint64 HFDownloadSession::sizeLimit() const
{
    qint64 limit = -1;
    for (const qint64 size : {m_expected, m_linkedSize}) {
        if (size >= 0 && (limit < 0 || size < limit))
            limit = size;
    }
    return limit;
}

void HFDownloadSession::fail(QString text)
{
    if (!m_result.error)
        m_result.error = std::move(text);
}

void HFDownloadSession::verify()
{
    if (m_linkedSize >= 0 && m_written != m_linkedSize) {
        m_keepPartial = false;
        fail(QStringLiteral("the file's size does not match the hub's (expected %1 bytes, got %2)")
                 .arg(m_linkedSize)
                 .arg(m_written));
        return;
    }
    if (m_linkedDigest.isEmpty() || !m_hash)
        return;
    const QByteArray got = m_hash->finish();
    if (got != m_linkedDigest) {
        m_keepPartial = false;
        fail(QStringLiteral("the file's checksum does not match the hub's (expected %1, got %2)")
                 .arg(QString::fromLatin1(m_linkedDigest), QString::fromLatin1(got)));
    }
}

void HFDownloadSession::finish()
{
    m_finished = true;
    m_idleTimer.stop();
    m_totalTimer.stop();
    if (!m_result.ok()) {
        const bool resumable
            = m_keepPartial
              && !PartialFile::readRecord(validatorPath(m_partialPath)).validator.isEmpty()
              && QFileInfo(m_partialPath).size() > 0;
        // A cancel has discarded it already, and the path may be a newer download's now.
        if (!m_result.cancelled && !resumable)
            discardPartial();
    }
    // Delivered from the event loop, never from inside cancel() or start().
    QMetaObject::invokeMethod(
        this,
        [this] {
            const CompletionCallback complete = std::move(m_onComplete);
            const DownloadResult result = m_result;
            deleteLater();
            if (complete)
                complete(result);
        },
        Qt::QueuedConnection);
}

QCoro::Task<> HFDownloadSession::moveIntoPlace()
{
    QDir().mkpath(QFileInfo(m_destPath).absolutePath());
    m_installing = true;
    const QPointer<HFDownloadSession> self(this);
    // Built outside the co_await: GCC 12 destroys some temporaries of a co_await expression twice.
    const std::function<bool()> stopped = [stop = m_stop] { return stop.isRaised(); };
    QFuture<QString> installing
        = QtConcurrent::run(PartialFile::install, m_partialPath, m_destPath, stopped);
    const QString error = co_await installing;
    if (!self)
        co_return;
    m_installing = false;
    if (error.isEmpty()) {
        QFile::remove(validatorPath(m_partialPath));
        if (m_cancelRequested)
            m_result = DownloadResult{QStringLiteral("Operation canceled"), true};
        co_return;
    }
    fail(error);
}

void HFDownloadSession::discardPartial()
{
    QFile::remove(m_partialPath);
    QFile::remove(validatorPath(m_partialPath));
}
