#include "platform/quitsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int s_pipe[2] = {-1, -1};
const int s_signals[] = {SIGTERM, SIGINT};

void restoreDefaults()
{
    for (const int number : s_signals)
        std::signal(number, SIG_DFL);
}

void onSignal(int)
{
    // Only async-signal-safe calls here.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(s_pipe[1], &byte, 1);
    restoreDefaults();
}

} // namespace

QuitSignals::QuitSignals(QObject *parent)
    : QObject(parent)
{
    if (::pipe(s_pipe) != 0)
        return;
    for (const int fd : s_pipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::onReadable);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : s_signals)
        ::sigaction(number, &action, nullptr);
}

QuitSignals::~QuitSignals()
{
    restoreDefaults();
    for (int &fd : s_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void QuitSignals::onReadable()
{
    char buffer[16];
    while (::read(s_pipe[0], buffer, sizeof buffer) > 0) {
    }
    emit quitRequested();
}
