#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

// A flag that each set() raises for `interval` milliseconds. Every set() starts a
// timer of its own, and the first one to end lowers the flag: a second copy within
// the interval does not lengthen the first one's notice.
class CopyFlag : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool copied READ copied NOTIFY copiedChanged)
    Q_PROPERTY(int interval READ interval WRITE setInterval NOTIFY intervalChanged)

public:
    using QObject::QObject;

    bool copied() const { return m_copied; }
    int interval() const { return m_interval; }
    void setInterval(int interval);

    Q_INVOKABLE void set();

signals:
    void copiedChanged();
    void intervalChanged();

private:
    void setCopied(bool copied);

    bool m_copied = false;
    int m_interval = 1500;
};
