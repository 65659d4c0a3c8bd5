#pragma once
// The console host's web server: serves the console page and the picture of the windows on a
// loopback address, and takes the browser's clicks and typing. Every address carries a
// secret made for this run; requests without it are refused, as are requests naming another
// host, and input from a page of another origin.

#include <memory>
#include <string>

#include "platform/ui/ui_thread.h"

namespace mmc {

class ConsoleServer {
 public:
  // Listens on 127.0.0.1:port (0: a free port) at once.
  ConsoleServer(platform::ui::UiThread& ui, unsigned short port);
  ~ConsoleServer();
  ConsoleServer(const ConsoleServer&) = delete;
  ConsoleServer& operator=(const ConsoleServer&) = delete;

  unsigned short port() const;
  // "http://127.0.0.1:<port>/<secret>/"
  std::string url() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// 32 hex digits from the system's random source.
std::string makeSecret();

}  // namespace mmc
