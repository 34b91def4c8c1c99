// The Linux side of the quit signals: SIGTERM and SIGINT through a pipe onto the event loop.
#include "quitsignals.h"

#ifndef Q_OS_WIN

#include "foundation/logtag.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeEnds[2] = { -1, -1 };

void onSignal(int number)
{
    const unsigned char byte = static_cast<unsigned char>(number);
    const int savedErrno = errno;
    // Async-signal-safe; a full pipe already holds a request to quit.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("QuitSignals"));
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        tagged(qWarning(), objectName()) << "No pipe for quit signals";
        return;
    }
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitSignals::onReadable);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

QuitSignals::~QuitSignals()
{
    if (notifier == nullptr) {
        return;
    }
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void QuitSignals::onReadable()
{
    unsigned char byte = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1) {
        tagged(qInfo(), objectName()) << "Quit on signal " << byte;
        emit received(byte);
    }
}

#endif
