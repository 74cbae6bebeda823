#pragma once
// SIGTERM and SIGHUP (a desktop logout, a closed terminal) as a request to end the program, heard
// on the GUI thread: the handler only writes the signal's number into a pipe, which a socket
// notifier reads from the event loop.
#include <QObject>
#include <functional>

class QSocketNotifier;

class StopSignals : public QObject {
 public:
  // While it lives, each of the two signals calls onSignal from the event loop.
  explicit StopSignals(std::function<void()> onSignal);
  ~StopSignals() override;
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  void Read();

  std::function<void()> onSignal_;
  QSocketNotifier* notifier_ = nullptr;
};
