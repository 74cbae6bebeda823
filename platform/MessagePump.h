#pragma once
// Long synchronous operations (an archive extraction, a wait for the archiver) let the window
// system handle its pending events through this hook, so windows stay painted. The GUI installs
// a pump; without one it does nothing.
#include <functional>

namespace platform {

void ProcessMessages();
void SetMessagePump(std::function<void()> pump);

}  // namespace platform
