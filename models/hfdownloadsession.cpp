#include "models/hfdownloadsession.h"

#include "platform/wording.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QStorageInfo>

#include <QCoroNetworkReply>

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
// How far the transfer may read ahead of us; beyond it the socket is left unread.
constexpr qint64 readBufferSize = 16 * 1024 * 1024;
constexpr qint64 chunkSize = 1024 * 1024;
constexpr double bytesPerGB = 1073741824.0;

QByteArray readValidator(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(4096).trimmed();
}

void writeValidator(const QString &path, const QByteArray &validator)
{
    if (validator.isEmpty()) {
        QFile::remove(path);
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(validator) != validator.size())
        QFile::remove(path);
}

// "bytes 100-199/200" gives {100, 200}; an unknown total ("/*") gives -1.
std::optional<std::pair<qint64, qint64>> parseContentRange(const QByteArray &value)
{
    const QByteArray text = value.trimmed();
    if (!text.startsWith("bytes "))
        return std::nullopt;
    const qsizetype dash = text.indexOf('-');
    const qsizetype slash = text.indexOf('/');
    if (dash < 0 || slash < dash)
        return std::nullopt;
    bool ok = false;
    const qint64 start = text.mid(6, dash - 6).trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    const QByteArray totalText = text.mid(slash + 1).trimmed();
    if (totalText == "*")
        return std::pair{start, qint64(-1)};
    const qint64 total = totalText.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return std::pair{start, total};
}

bool isEntityTag(const QByteArray &validator)
{
    return validator.startsWith('"') || validator.startsWith("W/");
}
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
    finish();
}

QCoro::Task<HFDownloadSession::Step> HFDownloadSession::transfer(QUrl address, bool mayResume)
{
    qint64 resumeOffset = 0;
    QByteArray validator;
    if (mayResume) {
        validator = readValidator(validatorPath(m_partialPath));
        if (!validator.isEmpty())
            resumeOffset = QFileInfo(m_partialPath).size();
    }

    QNetworkRequest request(address);
    request.setRawHeader("User-Agent", userAgent(platformName()));
    request.setRawHeader("Accept", "*/*");
    // Byte offsets and lengths must be those of the file itself, never of a
    // compressed form (resume, progress and the length check depend on it).
    request.setRawHeader("Accept-Encoding", "identity");
    // The hub answers with a redirect to its file host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    if (resumeOffset > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(resumeOffset) + '-');
        request.setRawHeader("If-Range", validator);
    }

    m_accepted = false;
    m_written = 0;
    m_expected = -1;
    const QPointer<HFDownloadSession> self(this);
    QNetworkReply *reply = m_network.get(request);
    reply->setReadBufferSize(readBufferSize);
    m_reply = reply;
    const auto release = qScopeGuard([guarded = QPointer<QNetworkReply>(reply)] {
        if (guarded)
            guarded->deleteLater();
    });
    m_idleTimer.start();

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
            if (acceptResponse(reply, resumeOffset, validator) == Step::StartOver) {
                reply->abort();
                co_return Step::StartOver;
            }
            if (!m_accepted) {
                if (!reply->isFinished())
                    reply->abort();
                break;
            }
        }
        qint64 received = 0;
        while (reply->bytesAvailable() > 0) {
            const qint64 count = reply->read(buffer.data(), qint64(buffer.size()));
            if (count <= 0)
                break;
            if (m_file.write(buffer.data(), count) != count) {
                fail(m_file.errorString());
                break;
            }
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

HFDownloadSession::Step HFDownloadSession::acceptResponse(QNetworkReply *reply,
                                                          qint64 resumeOffset,
                                                          const QByteArray &validator)
{
    QFile &file = m_file;
    // Stopped by us before the body began: nothing to store.
    if (reply->isFinished() && reply->error() == QNetworkReply::OperationCanceledError)
        return Step::Finished;
    const QVariant statusValue = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusValue.isValid() && reply->error() != QNetworkReply::NoError)
        return Step::Finished; // no response at all: the transport error is reported
    const int status = statusValue.isValid() ? statusValue.toInt() : 200;

    if (resumeOffset > 0 && status == 416)
        return Step::StartOver;
    if (status < 200 || status > 299) {
        const QString reason
            = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        fail(reason.isEmpty() ? QStringLiteral("HTTP %1").arg(status)
                              : QStringLiteral("HTTP %1 %2").arg(status).arg(reason));
        return Step::Finished;
    }

    const QVariant lengthValue = reply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 length = lengthValue.isValid() ? lengthValue.toLongLong() : -1;
    qint64 offset = 0;
    qint64 total = length;
    if (status == 206) {
        if (resumeOffset == 0) {
            fail(QStringLiteral("HTTP 206 Partial Content"));
            return Step::Finished;
        }
        const auto range = parseContentRange(reply->rawHeader("Content-Range"));
        if (!range || range->first != resumeOffset)
            return Step::StartOver;
        // A server that honours Range but not If-Range still names the file's version.
        const QByteArray tag = reply->rawHeader("ETag");
        if (!tag.isEmpty() && isEntityTag(validator) && tag != validator)
            return Step::StartOver;
        offset = resumeOffset;
        total = range->second >= 0 ? range->second : (length >= 0 ? offset + length : -1);
    }

    if (total > 0) {
        const qint64 needed = total - offset;
        const qint64 available
            = QStorageInfo(QFileInfo(m_partialPath).absolutePath()).bytesAvailable();
        if (available >= 0 && needed > available) {
            fail(QString::asprintf("not enough disk space (needs %.1f GB, %.1f GB free)",
                                   double(needed) / bytesPerGB,
                                   double(available) / bytesPerGB));
            return Step::Finished;
        }
    }

    if (offset > 0) {
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            fail(file.errorString());
            return Step::Finished;
        }
    } else {
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            fail(file.errorString());
            return Step::Finished;
        }
        // Only a strong entity tag or a date may guard a later Range request.
        QByteArray next = reply->rawHeader("ETag").trimmed();
        if (next.isEmpty() || next.startsWith("W/"))
            next = reply->rawHeader("Last-Modified").trimmed();
        writeValidator(validatorPath(m_partialPath), next);
    }
    m_accepted = true;
    m_written = offset;
    m_expected = total;
    report();
    return Step::Finished;
}

void HFDownloadSession::report()
{
    // Without an announced length there is nothing to report a fraction of.
    if (m_expected < 1 || !m_onProgress)
        return;
    m_onProgress(double(m_written) / double(m_expected), m_written, m_expected);
}

void HFDownloadSession::fail(QString text)
{
    if (!m_result.error)
        m_result.error = std::move(text);
}

void HFDownloadSession::finish()
{
    m_finished = true;
    m_idleTimer.stop();
    m_totalTimer.stop();
    if (m_result.ok())
        moveIntoPlace();
    if (!m_result.ok()) {
        const bool resumable = !readValidator(validatorPath(m_partialPath)).isEmpty()
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

void HFDownloadSession::moveIntoPlace()
{
    const QFileInfo dest(m_destPath);
    QDir().mkpath(dest.absolutePath());
    // rename() replaces an existing file in one step: the old file stays whole
    // until the new one is there.
    if (std::rename(QFile::encodeName(m_partialPath).constData(),
                    QFile::encodeName(m_destPath).constData())
        == 0) {
        QFile::remove(validatorPath(m_partialPath));
        return;
    }
    const int error = errno;
    if (error == EXDEV) {
        // The models folder was moved to another volume: copy beside the
        // destination under a hidden name, then rename into place.
        const QString staging = dest.absoluteDir().filePath(QLatin1Char('.') + dest.fileName()
                                                            + QStringLiteral(".incoming"));
        QFile::remove(staging);
        if (QFile::copy(m_partialPath, staging)
            && std::rename(QFile::encodeName(staging).constData(),
                           QFile::encodeName(m_destPath).constData())
                   == 0) {
            discardPartial();
            return;
        }
        QFile::remove(staging);
    }
    fail(QString::fromLocal8Bit(std::strerror(error)));
}

void HFDownloadSession::discardPartial()
{
    QFile::remove(m_partialPath);
    QFile::remove(validatorPath(m_partialPath));
}
