#include "platform/MessagePump.h"

#include <utility>

namespace platform {
namespace {
std::function<void()>& Pump() {
  static std::function<void()> pump;
  return pump;
}
}  // namespace

void ProcessMessages() {
  if (Pump()) Pump()();
}

void SetMessagePump(std::function<void()> pump) {
  Pump() = std::move(pump);
}

}  // namespace platform
