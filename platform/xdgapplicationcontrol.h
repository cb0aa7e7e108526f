#pragma once

#include "platform/applicationcontrol.h"
#include "platform/desktopentries.h"

// Linux and other XDG desktops: applications are desktop entries. Opening starts the
// entry's command detached (no shell); closing sends SIGTERM to the current user's
// processes of the entry; listing gives the Names of visible entries that have one.
//
// A process is the entry's only when something names the entry: this app started it
// from the entry; its environment carries the entry's file in GIO_LAUNCHED_DESKTOP_FILE
// with GIO_LAUNCHED_DESKTOP_FILE_PID being its own pid (children inherit both, so only
// the launched process itself counts); or it runs an executable that no other entry
// runs and that is not an interpreter or launcher (python3, sh, env, flatpak, ...), which
// run all kinds of unrelated programs.
class XdgApplicationControl : public ApplicationControl
{
public:
    // directories: where desktop entries are looked up; empty means the XDG defaults.
    explicit XdgApplicationControl(QStringList directories = {});

    QCoro::Task<std::optional<ServiceError>> open(QString name) override;
    QCoro::Task<std::optional<ServiceError>> close(QString name) override;
    QCoro::Task<ServiceResult<QStringList>> runningApplicationNames() override;

private:
    QList<DesktopEntry> entries() const;

    QStringList m_directories;
};
