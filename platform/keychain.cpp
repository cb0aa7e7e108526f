#include "platform/keychain.h"

#include "platform/signalwait.h"

#include <QTimer>

#include <qt6keychain/keychain.h>

#include <memory>

namespace {

struct JobDeleter
{
    void operator()(QKeychain::Job *job) const { job->deleteLater(); }
};

template<typename JobType>
std::unique_ptr<JobType, JobDeleter> makeJob(const QString &service, const QString &key)
{
    std::unique_ptr<JobType, JobDeleter> job(new JobType(service));
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    job->setKey(key);
    return job;
}

// Starts the job and waits for its end; false when it did not end in time. It starts once
// the wait is in place: a backend may report a failure from inside start().
QCoro::Task<bool> run(QKeychain::Job *job, std::chrono::milliseconds timeout)
{
    QTimer::singleShot(0, job, &QKeychain::Job::start);
    const bool finished = co_await SignalWait(job, &QKeychain::Job::finished, timeout);
    co_return finished;
}

Keychain::Result failure(const QKeychain::Job &job, bool finished)
{
    if (!finished)
        return {false, std::nullopt, QStringLiteral("The keychain did not answer.")};
    return {false, std::nullopt, QStringLiteral("The keychain failed: ") + job.errorString()};
}

} // namespace

Keychain::Keychain(QString service, std::chrono::milliseconds timeout)
    : m_service(std::move(service))
    , m_timeout(timeout)
{}

QCoro::Task<Keychain::Result> Keychain::read(QString key) const
{
    auto job = makeJob<QKeychain::ReadPasswordJob>(m_service, key);
    const bool finished = co_await run(job.get(), m_timeout);
    if (finished && job->error() == QKeychain::EntryNotFound)
        co_return Result{true, std::nullopt, {}};
    if (!finished || job->error() != QKeychain::NoError)
        co_return failure(*job, finished);
    co_return Result{true, job->textData(), {}};
}

QCoro::Task<Keychain::Result> Keychain::write(QString key, QString secret) const
{
    auto job = makeJob<QKeychain::WritePasswordJob>(m_service, key);
    job->setTextData(secret);
    const bool finished = co_await run(job.get(), m_timeout);
    if (!finished || job->error() != QKeychain::NoError)
        co_return failure(*job, finished);
    co_return Result{true, std::nullopt, {}};
}

QCoro::Task<Keychain::Result> Keychain::remove(QString key) const
{
    auto job = makeJob<QKeychain::DeletePasswordJob>(m_service, key);
    const bool finished = co_await run(job.get(), m_timeout);
    if (finished && job->error() == QKeychain::EntryNotFound)
        co_return Result{true, std::nullopt, {}};
    if (!finished || job->error() != QKeychain::NoError)
        co_return failure(*job, finished);
    co_return Result{true, std::nullopt, {}};
}
