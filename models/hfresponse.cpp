// How the hub's answers are judged: the redirects that lead to the file and the
// response that may start (or continue) writing it.
#include "models/hfdownloadsession.h"

#include "models/partialfile.h"

#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStorageInfo>

#include <QCoroNetworkReply>

using namespace std::chrono_literals;

namespace {
// How far the transfer may read ahead of us; beyond it the socket is left unread.
constexpr qint64 readBufferSize = 16 * 1024 * 1024;
constexpr double bytesPerGB = 1073741824.0;
constexpr int maxRedirects = 10;

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}
bool isEntityTag(const QByteArray &validator)
{
    return validator.startsWith('"') || validator.startsWith("W/");
}

} // namespace

QCoro::Task<QNetworkReply *> HFDownloadSession::open(QUrl address, QNetworkRequest request)
{
    const QPointer<HFDownloadSession> self(this);
    for (int hop = 0;; ++hop) {
        request.setUrl(address);
        QNetworkReply *reply = m_network.get(request);
        reply->setReadBufferSize(readBufferSize);
        m_reply = reply;
        m_idleTimer.start();
        while (reply->bytesAvailable() == 0 && !reply->isFinished()
               && !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
            co_await qCoro(reply).waitForReadyRead(-1ms);
            if (!self || m_closing) {
                if (self) // else the reply went with the session's network access
                    reply->deleteLater();
                co_return nullptr;
            }
        }
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (m_cancelRequested || !isRedirect(status))
            co_return reply;

        // The hub's own answer names the file; the file host's answers do not.
        if (m_linkedDigest.isEmpty())
            m_linkedDigest = sha256FromEntityTag(reply->rawHeader("X-Linked-Etag"));
        if (m_linkedSize < 0)
            m_linkedSize = PartialFile::sizeHeader(reply->rawHeader("X-Linked-Size"));
        const QUrl next = address.resolved(QUrl::fromEncoded(reply->rawHeader("Location")));
        reply->abort();
        reply->deleteLater();
        if (hop + 1 >= maxRedirects) {
            fail(QStringLiteral("Too many redirects."));
            co_return nullptr;
        }
        if (!next.isValid()
            || (address.scheme() == QLatin1String("https")
                && next.scheme() != QLatin1String("https"))) {
            fail(QStringLiteral("The hub redirected to an address that is not secure."));
            co_return nullptr;
        }
        address = next;
    }
}

HFDownloadSession::Step HFDownloadSession::acceptResponse(QNetworkReply *reply,
                                                          qint64 resumeOffset,
                                                          const PartialFile::Record &kept)
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
        // Only the continuation of the very file the partial one began: a server that
        // honours Range but not If-Range would otherwise splice two versions together.
        const auto range = PartialFile::parseContentRange(reply->rawHeader("Content-Range"));
        if (!range || range->first != resumeOffset || kept.total < 0 || range->second != kept.total)
            return Step::StartOver;
        const QByteArray tag = reply->rawHeader("ETag");
        if (!tag.isEmpty() && isEntityTag(kept.validator) && tag != kept.validator)
            return Step::StartOver;
        if (!kept.digest.isEmpty() && !m_linkedDigest.isEmpty() && kept.digest != m_linkedDigest)
            return Step::StartOver;
        offset = resumeOffset;
        total = range->second;
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
        PartialFile::Record next;
        next.validator = reply->rawHeader("ETag").trimmed();
        if (next.validator.isEmpty() || next.validator.startsWith("W/"))
            next.validator = reply->rawHeader("Last-Modified").trimmed();
        next.total = total;
        next.digest = m_linkedDigest;
        PartialFile::writeRecord(validatorPath(m_partialPath), next);
    }
    m_accepted = true;
    m_written = offset;
    m_resumedFrom = offset;
    m_expected = total;
    report();
    return Step::Finished;
}
