#include "models/sha256.h"

#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

#include <openssl/evp.h>

#include <vector>

Sha256::Sha256()
    : m_context(EVP_MD_CTX_new())
{
    EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr);
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(m_context);
}

Sha256::Sha256(Sha256 &&other) noexcept
    : m_context(std::exchange(other.m_context, nullptr))
{}

Sha256 &Sha256::operator=(Sha256 &&other) noexcept
{
    std::swap(m_context, other.m_context);
    return *this;
}

void Sha256::add(const char *data, qint64 size)
{
    if (m_context && size > 0)
        EVP_DigestUpdate(m_context, data, size_t(size));
}

QByteArray Sha256::finish()
{
    if (!m_context)
        return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context, digest, &length);
    return QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex();
}

QFuture<std::shared_ptr<Sha256>> Sha256::hashFilePrefix(QString path,
                                                        qint64 length,
                                                        std::function<bool()> stopped)
{
    return QtConcurrent::run(
        [path = std::move(path), length, stopped = std::move(stopped)]() -> std::shared_ptr<Sha256> {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                return {};
            auto hash = std::make_shared<Sha256>();
            std::vector<char> buffer(4 * 1024 * 1024);
            qint64 left = length;
            while (left > 0) {
                if (stopped())
                    return {};
                const qint64 count
                    = file.read(buffer.data(), std::min<qint64>(left, qint64(buffer.size())));
                if (count <= 0)
                    return {};
                hash->add(buffer.data(), count);
                left -= count;
            }
            return hash;
        });
}

QByteArray sha256FromEntityTag(const QByteArray &value)
{
    QByteArray text = value.trimmed();
    if (text.startsWith("W/"))
        text = text.mid(2);
    if (text.size() >= 2 && text.startsWith('"') && text.endsWith('"'))
        text = text.mid(1, text.size() - 2);
    text = text.toLower();
    if (text.size() != 64)
        return {};
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return {};
    return text;
}
