#pragma once

#include <QFile>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include "models/partialfile.h"
#include "models/sha256.h"
#include "platform/stopflag.h"

#include <QCoroTask>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkReply;

// How one transfer ended: success, or the text that follows "Download failed: ".
struct DownloadResult
{
    std::optional<QString> error;
    bool cancelled = false; // stopped by cancel(), not by a fault

    bool ok() const { return !error.has_value(); }
};

// One running download of one file. The body streams into a partial file kept
// outside the models folder and is renamed into place only once complete, so the
// models folder never holds a partial file and memory use stays flat whatever the
// file's size. A transfer that fails keeps its partial file when the server gave a
// validator, and the next session for the same destination resumes it with a
// Range request guarded by If-Range.
//
// Redirects are followed here, not by the network layer: the hub names the file's
// SHA-256 and size (X-Linked-Etag, X-Linked-Size) only on its own answer, before the
// redirect to the file host. The bytes are hashed as they arrive (a resumed file's
// kept part first, on a pool thread) and the file is installed only when both match.
//
// Lives on the main thread. Progress is reported as data arrives; the completion
// is delivered once, from the event loop, after which the session deletes itself.
class HFDownloadSession : public QObject
{
    Q_OBJECT

public:
    // fraction 0..1, bytes written so far (including resumed bytes), bytes expected
    using ProgressCallback = std::function<void(double fraction, qint64 written, qint64 expected)>;
    using CompletionCallback = std::function<void(const DownloadResult &result)>;

    static constexpr std::chrono::milliseconds defaultIdleTimeout{60'000};     // without any data
    static constexpr std::chrono::milliseconds defaultTotalTimeout{7'200'000}; // the whole transfer
    // "Tovra AI/1.0 (macOS; like Safari)" on macOS, "Tovra AI/1.0 (Linux)" on Linux.
    static QByteArray userAgent(const QString &platform);

    HFDownloadSession(QString destPath,
                      QString partialPath,
                      ProgressCallback onProgress,
                      CompletionCallback onComplete,
                      QObject *parent = nullptr);
    ~HFDownloadSession() override;

    QString destPath() const { return m_destPath; }
    // Bytes that were already in the partial file when this transfer began.
    qint64 resumedBytes() const { return m_resumedFrom; }
    QString partialPath() const { return m_partialPath; }
    // The validator of the partial file sits beside it under this name.
    static QString validatorPath(const QString &partialPath);

    void setTimeouts(std::chrono::milliseconds idle, std::chrono::milliseconds total);
    // The file's SHA-256 (hex) and size when known beforehand, as from the hub's file
    // list; checked like those the hub names on its redirect.
    void expect(QByteArray digest, qint64 size);

    // Starts the transfer; returns at once.
    void start(const QUrl &address);
    // Stops the transfer and discards its partial file; the completion still
    // arrives, marked as cancelled.
    void cancel();

private:
    enum class Step { Finished, StartOver };

    QCoro::Task<> run(QUrl address);
    QCoro::Task<Step> transfer(QUrl address, bool mayResume);
    // Sends the request, following redirects; null when it failed or was stopped.
    QCoro::Task<QNetworkReply *> open(QUrl address, QNetworkRequest request);
    // Decides from the response head whether and where the body is written.
    Step acceptResponse(QNetworkReply *reply, qint64 resumeOffset, const PartialFile::Record &kept);
    void report();
    // The fewest bytes any of the listing, the hub and the response announced; -1 when none did.
    qint64 sizeLimit() const;
    void fail(QString text);
    void verify();
    QCoro::Task<> moveIntoPlace();
    void finish();
    void discardPartial();
    void onTimeout();

    QString m_destPath;
    QString m_partialPath;
    ProgressCallback m_onProgress;
    CompletionCallback m_onComplete;
    QNetworkAccessManager m_network;
    QPointer<QNetworkReply> m_reply;
    QTimer m_idleTimer;
    QTimer m_totalTimer;
    QFile m_file; // the partial file while a response body is written to it

    DownloadResult m_result;
    bool m_accepted = false;
    qint64 m_written = 0;
    qint64 m_expected = -1;
    qint64 m_resumedFrom = 0;
    QByteArray m_expectedDigest;
    qint64 m_expectedSize = -1;
    QByteArray m_linkedDigest; // named by the hub for this transfer
    qint64 m_linkedSize = -1;
    std::shared_ptr<Sha256> m_hash;
    // Raised when the session ends, so that file work on a pool thread (hashing a kept part,
    // copying into place) stops between chunks instead of holding up the quit.
    const StopFlag m_stop;
    bool m_keepPartial = true; // false once the bytes are known to be wrong
    bool m_installing = false;
    bool m_started = false;
    bool m_cancelRequested = false;
    bool m_finished = false;
    bool m_timedOut = false;
    bool m_closing = false;
};
