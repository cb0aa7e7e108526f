#include "tests/support/testenvironment.h"

#include <csignal>

TestEnvironment::TestEnvironment()
{
    const QString root = m_dir.path();
    const auto set = [&](const char *name, const QString &sub) {
        const QString path = sub.isEmpty() ? root : QDir(root).filePath(sub);
        QDir().mkpath(path);
        qputenv(name, path.toLocal8Bit());
    };
    set("HOME", {});
    set("XDG_CONFIG_HOME", QStringLiteral(".config"));
    set("XDG_DATA_HOME", QStringLiteral(".local/share"));
    set("XDG_CACHE_HOME", QStringLiteral(".cache"));
    set("XDG_RUNTIME_DIR", QStringLiteral(".runtime"));
    QFile::setPermissions(QDir(root).filePath(QStringLiteral(".runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestEnvironment::setApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tovra AI"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("tovra.ai"));
    QCoreApplication::setApplicationName(QStringLiteral("Tovra AI"));
}

bool writeTestFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
           && file.write(bytes) == bytes.size();
}

QByteArray readTestFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList roleTexts(const QAbstractItemModel &model, int role)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, 0).data(role).toString();
    return texts;
}

bool processGone(qint64 pid)
{
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return true;
    const QByteArray text = readTestFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = text.lastIndexOf(')');
    return close > 0 && text.mid(close + 2, 1) == "Z";
}

QString unexpectedWarningPattern()
{
    // The one allow-list: noise of headless platforms and graphics stacks, not ours.
    return QStringLiteral("^(?!"
                          "QStandardPaths: |"
                          "This plugin does not support |"
                          "qt\\.qpa\\.|"
                          "Could not (?:find|load) the Qt platform plugin|"
                          "libEGL warning|"
                          "MESA|"
                          "QSocketNotifier: Can only be used with threads started with QThread|"
                          // Qt 6.4's network stack, when a reply aborted mid-handshake then hears
                          // its own backend's error (a race inside Qt, seen under the sanitizers).
                          "QNetworkReplyImplPrivate::error: Internal problem, this method must "
                          "only be called once"
                          ")");
}

void failOnUnexpectedWarnings()
{
    static const QRegularExpression unexpected(unexpectedWarningPattern());
    QTest::failOnWarning(unexpected);
}
