#pragma once

#include "core/toolarguments.h"

#include <QList>
#include <QObject>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

// One argument row of the approval prompt.
struct ApprovalArgument
{
    QString key;
    QString label; // the key, capitalised
    QString value;
    QString icon; // symbol name
};
// Sorted by key, case-sensitive.
QList<ApprovalArgument> approvalArguments(const ToolArguments &arguments);

// The first letter of each space-separated word upper-case, the rest lower-case.
QString capitalizedWords(const QString &text);

// What the approval prompt says about a call: its title, description and argument rows.
class ApprovalPrompt : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE static QString toolTitle(const QString &name);
    // Empty for a tool without one.
    Q_INVOKABLE static QString toolDescription(const QString &name);
    // Maps of key, label, value and icon, sorted by key.
    Q_INVOKABLE static QVariantList argumentRows(const QVariantMap &arguments);
};
