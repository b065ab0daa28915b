#include "app/QuitSignals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace kestrun {

namespace {

// SIGTERM, SIGINT and SIGHUP (the session ends, Ctrl+C in the terminal) close
// the tool the way its close box does. The handler only writes a byte; the
// window thread reads it in its event loop.
int quitSignalSockets[2] = {-1, -1};

void OnQuitSignal(int) {
  const int savedErrno = errno;
  const char byte = 1;
  if (::write(quitSignalSockets[1], &byte, 1) < 0) {
    // Nothing to do: a byte is already waiting.
  }
  errno = savedErrno;
}

}  // namespace

void InstallQuitSignals() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, quitSignalSockets) != 0) return;
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

void WatchQuitSignals(QObject* parent, std::function<void()> onQuit) {
  if (quitSignalSockets[0] < 0) return;
  auto* notifier = new QSocketNotifier(quitSignalSockets[0], QSocketNotifier::Read, parent);
  QObject::connect(notifier, &QSocketNotifier::activated, parent, [onQuit = std::move(onQuit)] {
    char bytes[16];
    while (::read(quitSignalSockets[0], bytes, sizeof bytes) > 0) {
    }
    onQuit();
  });
}

}  // namespace kestrun
