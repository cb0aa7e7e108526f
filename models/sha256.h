#pragma once

#include <QByteArray>
#include <QFuture>
#include <QString>

#include <functional>
#include <memory>

struct evp_md_ctx_st;

// SHA-256 through OpenSSL, which uses the processor's SHA instructions where it has
// them: fast enough to hash a download on the main thread as it arrives.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(Sha256 &&other) noexcept;
    Sha256 &operator=(Sha256 &&other) noexcept;
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void add(const char *data, qint64 size);
    // Lower-case hex; the state is used up.
    QByteArray finish();

    // The first `length` bytes of a file, hashed on a pool thread; `stopped` is asked between
    // chunks. Null when the file could not be read that far or the work was stopped.
    static QFuture<std::shared_ptr<Sha256>> hashFilePrefix(QString path,
                                                           qint64 length,
                                                           std::function<bool()> stopped);

private:
    evp_md_ctx_st *m_context = nullptr;
};

// The hub names a file's SHA-256 as a quoted hex text; anything else names no digest.
QByteArray sha256FromEntityTag(const QByteArray &value);
