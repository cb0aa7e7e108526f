#include "ui/approval/approvalprompt.h"

#include "tools/toolcatalogue.h"

QString capitalizedWords(const QString &text)
{
    QString out;
    out.reserve(text.size());
    bool wordStart = true;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        if (character.at(0).isSpace()) {
            out += character;
            wordStart = true;
        } else {
            out += wordStart ? character.toUpper() : character.toLower();
            wordStart = false;
        }
        i += length;
    }
    return out;
}

QList<ApprovalArgument> approvalArguments(const ToolArguments &arguments)
{
    // The map keeps its keys in ascending, case-sensitive order.
    QList<ApprovalArgument> rows;
    for (auto it = arguments.cbegin(); it != arguments.cend(); ++it)
        rows.append({it.key(),
                     capitalizedWords(it.key()),
                     it.value(),
                     ToolCatalogue::argumentIcon(it.key())});
    return rows;
}

QString ApprovalPrompt::toolTitle(const QString &name)
{
    return ToolCatalogue::displayTitle(name);
}

QString ApprovalPrompt::toolDescription(const QString &name)
{
    return ToolCatalogue::displaySubtitle(name);
}

QVariantList ApprovalPrompt::argumentRows(const QVariantMap &arguments)
{
    ToolArguments map;
    for (auto it = arguments.cbegin(); it != arguments.cend(); ++it)
        map.insert(it.key(), it.value().toString());
    QVariantList rows;
    for (const ApprovalArgument &argument : ::approvalArguments(map)) {
        rows.append(QVariantMap{{QStringLiteral("key"), argument.key},
                                {QStringLiteral("label"), argument.label},
                                {QStringLiteral("value"), argument.value},
                                {QStringLiteral("icon"), argument.icon}});
    }
    return rows;
}
