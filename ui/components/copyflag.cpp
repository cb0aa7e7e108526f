#include "ui/components/copyflag.h"

#include <QTimer>

void CopyFlag::setInterval(int interval)
{
    if (interval == m_interval)
        return;
    m_interval = interval;
    emit intervalChanged();
}

void CopyFlag::set()
{
    setCopied(true);
    QTimer::singleShot(m_interval, this, [this] { setCopied(false); });
}

void CopyFlag::setCopied(bool copied)
{
    if (copied == m_copied)
        return;
    m_copied = copied;
    emit copiedChanged();
}
