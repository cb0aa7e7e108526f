#include "ui/chat/chatoperations.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTextBoundaryFinder>

namespace {

// The last path component, as a file manager names it (a folder's path may end in "/").
QString lastPathComponent(const QString &path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    return trimmed.mid(trimmed.lastIndexOf(u'/') + 1);
}

// The text after the last dot; a leading dot (a hidden file's name) starts no extension.
QString pathExtension(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot > 0 ? fileName.mid(dot + 1) : QString();
}

// Larger text files are attached by name, like other files: reading a
// multi-gigabyte log whole would stall the app or exhaust its memory.
constexpr qint64 attachmentByteLimit = 16 * 1024 * 1024;

std::optional<QString> readUtf8File(const QString &path)
{
    QFile file(path);
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > attachmentByteLimit || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    QStringDecoder decoder(QStringConverter::Utf8);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// At most the limit in user-perceived characters, with a note of how many were cut.
QString cutAttachment(const QString &text)
{
    // Every character is at least one code unit: short texts need no counting.
    if (text.size() <= attachmentCharacterLimit)
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    qsizetype cutAt = text.size();
    while (finder.toNextBoundary() != -1) {
        if (++count == attachmentCharacterLimit)
            cutAt = finder.position();
    }
    if (count <= attachmentCharacterLimit)
        return text;
    return text.left(cutAt) + QStringLiteral("\n\n[File truncated — ")
           + QString::number(count - attachmentCharacterLimit)
           + QStringLiteral(" more characters]");
}

qsizetype indexOfMessage(const QList<Message> &messages, const QUuid &id)
{
    for (qsizetype i = 0; i < messages.size(); ++i) {
        if (messages.at(i).id == id)
            return i;
    }
    return -1;
}

} // namespace

bool canSubmit(const QString &inputText, bool isLoading)
{
    return !isLoading && !inputText.trimmed().isEmpty();
}

QString shortModelName(const QString &name)
{
    const QStringList words = name.split(u' ', Qt::SkipEmptyParts);
    if (words.size() < 5)
        return name;
    return words.mid(0, 3).join(u' ') + u' ' + words.last();
}

QString withAttachedFile(const QString &inputText, const QString &filePath)
{
    const QString name = lastPathComponent(filePath);
    if (textFileExtensions.contains(pathExtension(name).toLower())) {
        if (const auto text = readUtf8File(filePath)) {
            return inputText + (inputText.isEmpty() ? QString() : QStringLiteral("\n"))
                   + QStringLiteral("Contents of ") + name + QStringLiteral(":\n```\n")
                   + cutAttachment(*text) + QStringLiteral("\n```");
        }
    }
    return inputText + (inputText.isEmpty() ? QString() : QStringLiteral(" ")) + name;
}

std::optional<ConversationCut> cutForEdit(const QList<Message> &messages, const QUuid &messageId)
{
    const qsizetype index = indexOfMessage(messages, messageId);
    if (index < 0)
        return std::nullopt;
    return ConversationCut{messages.mid(0, index), messages.at(index).content};
}

std::optional<ConversationCut> cutForRetry(const QList<Message> &messages, const QUuid &messageId)
{
    const qsizetype index = indexOfMessage(messages, messageId);
    for (qsizetype i = index - 1; i >= 0; --i) {
        if (messages.at(i).role == QLatin1String("user")) {
            const qsizetype userIndex = indexOfMessage(messages, messages.at(i).id);
            return ConversationCut{messages.mid(0, userIndex), messages.at(i).content};
        }
    }
    return std::nullopt;
}
