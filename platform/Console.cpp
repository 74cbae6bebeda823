#include "platform/Console.h"

#include <langinfo.h>
#include <signal.h>

#include <clocale>
#include <string>

namespace platform {

void UseUtf8Locale() {
  std::setlocale(LC_CTYPE, "");
  if (std::string(nl_langinfo(CODESET)) != "UTF-8") std::setlocale(LC_CTYPE, "C.UTF-8");
}

void CatchStopSignals(StopHandler handler) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // a read in the middle of an extraction goes on
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);  // the terminal was closed
}

}  // namespace platform
