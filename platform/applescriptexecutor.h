#pragma once

#include "platform/serviceresult.h"

#include <QCoroTask>
#include <QString>

#include <chrono>
#include <optional>

// Runs AppleScript (or JavaScript for Automation) through the "osascript" command-line
// tool. The script goes to osascript as one argument, never through a shell.
class AppleScriptExecutor
{
public:
    // program: the osascript executable; empty means "osascript" found on PATH.
    explicit AppleScriptExecutor(QString program = {});

    // The script's result as text (the printed result without its final line feed), or an
    // error of domain "AppleScript", code -1, carrying osascript's error text.
    QCoro::Task<ServiceResult<QString>> run(QString source) const;
    // The same for a JavaScript for Automation script ("osascript -l JavaScript").
    QCoro::Task<ServiceResult<QString>> runJavaScript(QString source) const;

    // `text` as an AppleScript string literal, quotes included, with backslash and double
    // quote escaped; nothing for text with a line break or other control character, which
    // cannot be written safely inside a one-line literal.
    static std::optional<QString> stringLiteral(const QString &text);

    // A script that hangs (a dialog waiting for an answer) is ended after this long.
    static constexpr std::chrono::seconds timeout{60};

private:
    QCoro::Task<ServiceResult<QString>> runProgram(QStringList arguments) const;

    QString m_program;
};
