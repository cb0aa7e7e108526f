#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

// Progress of a Homebrew install of the engine: idle, installing, succeeded, or
// failed with a text for the user. Two failed values are equal when their texts are.
class BrewInstallState
{
    Q_GADGET
    // "idle", "installing", "succeeded" or "failed", for the screens.
    Q_PROPERTY(QString kind READ kindName CONSTANT)
    // The failure text; empty for the other kinds.
    Q_PROPERTY(QString text READ text CONSTANT)
    Q_PROPERTY(bool isIdle READ isIdle CONSTANT)
    Q_PROPERTY(bool isInstalling READ isInstalling CONSTANT)
    Q_PROPERTY(bool isSucceeded READ isSucceeded CONSTANT)
    Q_PROPERTY(bool isFailed READ isFailed CONSTANT)

public:
    enum class Kind { Idle, Installing, Succeeded, Failed };
    Q_ENUM(Kind)

    BrewInstallState() = default;

    static BrewInstallState idle() { return BrewInstallState(Kind::Idle, {}); }
    static BrewInstallState installing() { return BrewInstallState(Kind::Installing, {}); }
    static BrewInstallState succeeded() { return BrewInstallState(Kind::Succeeded, {}); }
    static BrewInstallState failed(const QString &text)
    {
        return BrewInstallState(Kind::Failed, text);
    }

    Kind kind() const { return m_kind; }
    QString kindName() const;
    QString text() const { return m_text; }
    bool isIdle() const { return m_kind == Kind::Idle; }
    bool isInstalling() const { return m_kind == Kind::Installing; }
    bool isSucceeded() const { return m_kind == Kind::Succeeded; }
    bool isFailed() const { return m_kind == Kind::Failed; }

    friend bool operator==(const BrewInstallState &a, const BrewInstallState &b)
    {
        return a.m_kind == b.m_kind && (a.m_kind != Kind::Failed || a.m_text == b.m_text);
    }
    friend bool operator!=(const BrewInstallState &a, const BrewInstallState &b)
    {
        return !(a == b);
    }

private:
    BrewInstallState(Kind kind, const QString &text)
        : m_kind(kind)
        , m_text(text)
    {}

    Kind m_kind = Kind::Idle;
    QString m_text;
};

Q_DECLARE_METATYPE(BrewInstallState)
