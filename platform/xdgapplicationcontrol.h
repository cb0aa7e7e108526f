#pragma once

#include "platform/applicationcontrol.h"
#include "platform/desktopentries.h"

// Linux and other XDG desktops: applications are desktop entries. Opening starts the
// entry's command detached (no shell); closing sends SIGTERM to the current user's
// processes of the entry's command; listing gives the Names of visible entries whose
// command is running. A process is the command's when it runs the executable and, if the
// command has arguments, its own arguments begin with them.
class XdgApplicationControl : public ApplicationControl
{
public:
    // directories: where desktop entries are looked up; empty means the XDG defaults.
    explicit XdgApplicationControl(QStringList directories = {});

    QCoro::Task<std::optional<ServiceError>> open(QString name) override;
    QCoro::Task<std::optional<ServiceError>> close(QString name) override;
    QCoro::Task<ServiceResult<QStringList>> runningApplicationNames() override;

    // Process IDs of this user's processes that run `executable` (an absolute path): the
    // binary itself, or a script of that path run by its interpreter, whose arguments
    // after the program begin with `arguments` (any arguments when it is empty).
    static QList<qint64> processesRunning(const QString &executable,
                                          const QStringList &arguments = {});

private:
    QList<DesktopEntry> entries() const;
    // The entry whose Name matches without regard to case; visible entries first.
    std::optional<DesktopEntry> findEntry(const QString &name) const;

    QStringList m_directories;
};
