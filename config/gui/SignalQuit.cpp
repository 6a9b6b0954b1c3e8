#include "gui/SignalQuit.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace qelta::gui {
namespace {

// The handler only writes the signal number into a socket; the event loop reads it.
int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int number) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(number);
  [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

SignalQuit::SignalQuit(QObject* parent) : QObject(parent) {
  if (g_pipe[0] >= 0) return;  // one per process
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) {
    g_pipe[0] = g_pipe[1] = -1;
    return;
  }
  notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1) emit quitRequested(byte);
  });
  struct sigaction action {};
  action.sa_handler = &onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : kSignals) ::sigaction(number, &action, nullptr);
}

SignalQuit::~SignalQuit() {
  if (!notifier_) return;
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int number : kSignals) ::sigaction(number, &action, nullptr);
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

}  // namespace qelta::gui
