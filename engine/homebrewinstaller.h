#pragma once

#include "engine/brewinstallstate.h"
#include "engine/enginelocator.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <QCoroTask>

#include <functional>
#include <optional>

// Installs and removes the engine's Homebrew package ("llama.cpp"), streaming Homebrew's
// output into brewOutput and publishing the progress as brewInstallState.
class HomebrewInstaller : public QObject
{
    Q_OBJECT
    Q_PROPERTY(BrewInstallState brewInstallState READ brewInstallState NOTIFY brewInstallStateChanged)
    Q_PROPERTY(QString brewOutput READ brewOutput NOTIFY brewOutputChanged)
    Q_PROPERTY(bool isUninstalling READ isUninstalling NOTIFY isUninstallingChanged)

public:
    // stopEngine runs before an uninstall, so that Homebrew never removes a running engine.
    explicit HomebrewInstaller(QStringList brewCandidates = defaultBrewCandidates(),
                               std::function<QCoro::Task<>()> stopEngine = {},
                               QObject *parent = nullptr);

    BrewInstallState brewInstallState() const { return m_brewInstallState; }
    QString brewOutput() const { return m_brewOutput; }
    bool isUninstalling() const { return m_isUninstalling; }

    std::optional<QString> findBrew() const { return ::findBrew(m_brewCandidates); }
    bool isBrewInstalled() const { return findBrew().has_value(); }

    // The outcome is in brewInstallState and brewOutput.
    QCoro::Task<> install();
    // Always ends idle with empty output, whatever Homebrew answers.
    QCoro::Task<> uninstall();

signals:
    void brewInstallStateChanged();
    void brewOutputChanged();
    void isUninstallingChanged();
    // After a successful install or any uninstall: whether the engine is installed may
    // have changed.
    void installationChanged();

private:
    void setBrewInstallState(const BrewInstallState &value);
    void setBrewOutput(const QString &value);
    void setIsUninstalling(bool value);

    QStringList m_brewCandidates;
    std::function<QCoro::Task<>()> m_stopEngine;
    BrewInstallState m_brewInstallState;
    QString m_brewOutput;
    bool m_isUninstalling = false;
};
