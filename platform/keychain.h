#pragma once

#include <QString>

#include <QCoroTask>

#include <chrono>
#include <optional>

// Secrets in the platform's keychain (the macOS Keychain, the Secret Service on Linux),
// never in a file of ours: without a keychain, writes fail rather than fall back to plain text.
class Keychain
{
public:
    struct Result
    {
        bool ok = false;
        std::optional<QString> value; // a read that found the entry
        QString error;                // shown to the user; never holds the secret
    };

    explicit Keychain(QString service, std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // A missing entry is ok, with no value.
    QCoro::Task<Result> read(QString key) const;
    QCoro::Task<Result> write(QString key, QString secret) const;
    // Removing a missing entry is ok.
    QCoro::Task<Result> remove(QString key) const;

private:
    QString m_service;
    std::chrono::milliseconds m_timeout;
};
