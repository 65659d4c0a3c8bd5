#include "platform/services/service_launch.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

#include "platform/fs/windows_path.h"
#include "platform/machine_root.h"
#include "platform/services/service_control.h"
#include "platform/services/service_state.h"

extern char** environ;

namespace platform::services {

namespace {

constexpr LONG kStartFailed = 1053;  // ERROR_SERVICE_REQUEST_TIMEOUT: the image could not run

std::string hostProgram(const std::string& program) {
  const bool windowsForm = program.size() > 2 && std::isalpha(static_cast<unsigned char>(program[0])) &&
                           program[1] == ':' && (program[2] == '\\' || program[2] == '/');
  if (!windowsForm) return program;
  const auto host = platform::fs::hostPath(program);
  return host ? host->string() : program;
}

}  // namespace

std::vector<std::string> splitImagePath(std::string_view imagePath) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < imagePath.size()) {
    while (at < imagePath.size() && (imagePath[at] == ' ' || imagePath[at] == '\t')) ++at;
    if (at == imagePath.size()) break;
    std::string word;
    bool quoted = false;
    for (; at < imagePath.size(); ++at) {
      const char c = imagePath[at];
      if (c == '"') {
        quoted = !quoted;
      } else if ((c == ' ' || c == '\t') && !quoted) {
        break;
      } else {
        word += c;
      }
    }
    words.push_back(std::move(word));
  }
  if (!words.empty()) words[0] = hostProgram(words[0]);
  return words;
}

LONG launchDetached(std::string_view name, std::string_view imagePath) {
  std::vector<std::string> words = splitImagePath(imagePath);
  if (words.empty()) return ERROR_FILE_NOT_FOUND;
  if (::access(words[0].c_str(), X_OK) != 0) return ERROR_FILE_NOT_FOUND;

  // Close-on-exec here, so no other program this caller starts inherits the lock; only the
  // service's own exec keeps it.
  const int lock = ::open(serviceLockFile(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock < 0) return ERROR_ACCESS_DENIED;
  if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
    ::close(lock);
    return ERROR_SERVICE_ALREADY_RUNNING;
  }
  writeRecordedState(name, RecordedState{2, 0});

  // Everything the child needs is made before fork: after it only async-signal-safe calls.
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    const std::string_view entry(*e);
    if (entry.rfind(kServiceNameVar, 0) == 0 || entry.rfind(kServiceLockVar, 0) == 0 ||
        entry.rfind(kMachineEnvVar, 0) == 0)
      continue;
    environment.emplace_back(entry);
  }
  environment.push_back(std::string(kServiceNameVar) + "=" + std::string(name));
  environment.push_back(std::string(kServiceLockVar) + "=" + std::to_string(lock));
  // The service runs on the caller's machine, wherever that root is.
  environment.push_back(std::string(kMachineEnvVar) + "=" + machineRootPath().string());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  const std::string log = (machineRootPath() / "logs" / (std::string(name) + ".log")).string();

  const pid_t child = ::fork();
  if (child < 0) {
    ::close(lock);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  if (child == 0) {
    ::setsid();
    // A second fork leaves the service without a parent to wait for it, as a service is.
    if (::fork() != 0) ::_exit(0);
    const int devNull = ::open("/dev/null", O_RDONLY);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (devNull >= 0) ::dup2(devNull, 0);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    ::fcntl(lock, F_SETFD, 0);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(lock);  // the service's copy keeps the lock
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ERROR_SUCCESS : kStartFailed;
}

}  // namespace platform::services
