#pragma once

#include <QString>

#include <optional>

// The system clipboard's plain text. Needs a QGuiApplication.
class Clipboard
{
public:
    // The text on the clipboard (possibly empty); nothing when it holds no text at all,
    // for instance only an image.
    static std::optional<QString> text();
    // Clears the clipboard and puts `text` on it as plain text.
    static void setText(const QString &text);
};
