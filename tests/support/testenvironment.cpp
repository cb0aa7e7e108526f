#include "tests/support/testenvironment.h"

#include <QCoreApplication>
#include <QDir>

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
