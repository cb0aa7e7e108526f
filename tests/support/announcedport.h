#pragma once

#include <QDeadlineTimer>
#include <QProcess>

#include <httplib.h>
#include <nlohmann/json.hpp>

// Starts a loopback test server and reads the port it announces on its first
// output line ("<PREFIX> <port>"); 0 when it did not start or say so in time.
inline int startAndReadAnnouncedPort(QProcess &process,
                                     const QString &program,
                                     const QStringList &arguments,
                                     QByteArrayView prefix)
{
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return 0;
    QDeadlineTimer deadline(10000);
    QByteArray out;
    while (!deadline.hasExpired() && !out.contains('\n')) {
        process.waitForReadyRead(int(deadline.remainingTime()));
        out += process.readAllStandardOutput();
    }
    if (!out.startsWith(prefix))
        return 0;
    return out.mid(prefix.size()).trimmed().toInt();
}

// A loopback test server's JSON answer to GET path; an empty array when it gives none.
inline nlohmann::json controlAnswer(int port, const char *path)
{
    const auto result = httplib::Client("127.0.0.1", port).Get(path);
    const auto answer
        = result ? nlohmann::json::parse(result->body, nullptr, false) : nlohmann::json::array();
    return answer.is_discarded() ? nlohmann::json::array() : answer;
}
