#include "app/StopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP};
int pipeFds[2] = {-1, -1};
struct sigaction previous[std::size(kSignals)];

void OnSignal(int number) {
  const int saved = errno;
  const char byte = static_cast<char>(number);
  // Non-blocking: with the pipe full, a request is already waiting.
  [[maybe_unused]] const ssize_t written = write(pipeFds[1], &byte, 1);
  errno = saved;
}

}  // namespace

StopSignals::StopSignals(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
  if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { Read(); });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &previous[i]);
}

StopSignals::~StopSignals() {
  if (!notifier_) return;
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous[i], nullptr);
  delete notifier_;
  close(pipeFds[0]);
  close(pipeFds[1]);
  pipeFds[0] = pipeFds[1] = -1;
}

void StopSignals::Read() {
  char bytes[16];
  bool any = false;
  while (read(pipeFds[0], bytes, sizeof bytes) > 0) any = true;
  if (any && onSignal_) onSignal_();
}
