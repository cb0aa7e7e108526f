#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

#include "ui/markdown/inlinemarkdown.h"

// Small text helpers the views call.
class TextUtils : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE static bool isOpenableLink(const QString &url) { return ::isOpenableLink(url); }
};
