#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

struct Message;

// Whether a message gets no row in the conversation: empty turns, tool plumbing,
// the no-model warning and assistant turns that only request tools.
bool shouldHideMessage(const QString &role, const QString &content);
bool shouldHideMessage(const Message &message);

// Pictures travel inside a message as a JPEG or PNG data URL.
// The decoded bytes, or absent when the content is no such URL or its Base64 part is broken
// (then the message is drawn as text, prefix and all).
std::optional<QByteArray> inlineImageBytes(const QString &content);
