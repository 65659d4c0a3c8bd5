#include "w3svc/cgi_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/services/service_launch.h"
#include "platform/text/ascii_case.h"
#include "w3svc/responses.h"
#include "w3svc/server_variables.h"

namespace w3svc {

namespace {

constexpr std::size_t kMaxCgiHeader = 64 * 1024;
constexpr std::size_t kReadSize = 64 * 1024;

class Pipe {
 public:
  Pipe() {
    if (::pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  bool ok() const { return fds_[0] >= 0; }
  int read() const { return fds_[0]; }
  int write() const { return fds_[1]; }
  void closeRead() { closeEnd(0); }
  void closeWrite() { closeEnd(1); }

 private:
  void closeEnd(int end) {
    if (fds_[end] >= 0) ::close(fds_[end]);
    fds_[end] = -1;
  }
  int fds_[2];
};

// The program always ends with the request: killed if it outlives it.
class Child {
 public:
  explicit Child(pid_t pid) : pid_(pid) {}
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid_ <= 0) return;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
  }

 private:
  pid_t pid_;
};

std::vector<std::string> environmentFor(const Request& request, const std::filesystem::path& script) {
  std::vector<std::string> env = {"PATH=/usr/local/bin:/usr/bin:/bin", "GATEWAY_INTERFACE=CGI/1.1",
                                  "REDIRECT_STATUS=200", "SCRIPT_FILENAME=" + script.string(),
                                  "PATH_TRANSLATED=" + script.string()};
  for (const char* name : {"SERVER_SOFTWARE", "SERVER_NAME", "SERVER_PORT", "SERVER_PROTOCOL", "REQUEST_METHOD",
                           "SCRIPT_NAME", "PATH_INFO", "QUERY_STRING", "REMOTE_ADDR", "REMOTE_HOST",
                           "INSTANCE_META_PATH", "CONTENT_TYPE"}) {
    if (auto value = serverVariable(request, name)) env.push_back(std::string(name) + "=" + *value);
  }
  env.push_back("CONTENT_LENGTH=" + std::to_string(request.body.size()));
  // One variable a name. A field named with '_' would be a second spelling of one named with
  // '-' ("X_Forwarded_For" beside the "X-Forwarded-For" a proxy in front set): such fields
  // are left out, and a field sent twice is one variable with its values joined.
  const std::size_t fixed = env.size();
  for (const HeaderField& field : request.headers) {
    if (field.name.find('_') != std::string::npos) continue;
    const std::string name = httpVariableName(field.name);
    if (name == "HTTP_PROXY") continue;  // never hand a client's Proxy header to programs as a proxy setting
    const auto named = [&](const std::string& entry) {
      return entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 && entry[name.size()] == '=';
    };
    const auto same = std::find_if(env.begin() + static_cast<std::ptrdiff_t>(fixed), env.end(), named);
    if (same != env.end())
      *same += ", " + field.value;
    else
      env.push_back(name + "=" + field.value);
  }
  return env;
}

std::vector<std::string> commandFor(const ScriptMap& map, const std::filesystem::path& script) {
  if (map.interpreter.empty()) return {script.string()};
  std::vector<std::string> words = platform::services::splitImagePath(map.interpreter);
  bool placed = false;
  for (std::string& word : words) {
    if (const std::size_t at = word.find("%s"); at != std::string::npos && !placed) {
      word.replace(at, 2, script.string());
      placed = true;
    } else if (word == "%s") {
      word.clear();  // IIS's second %s: the query's words, which we do not pass
    }
  }
  std::erase(words, std::string());
  if (!placed) words.push_back(script.string());
  return words;
}

// A Content-Length of digits alone (blanks around them allowed); nullopt otherwise.
std::optional<std::uint64_t> declaredLength(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end) return std::nullopt;
  return value;
}

// Splits the program's header lines into the response. False for output that is no header,
// or that the server cannot pass on as one answer: a line holding a CR or NUL (a client may
// end the field there and read the rest as a header of the program's making), a length that
// is not a number or two that differ (the client and the server would end the body at
// different places), or an interim status as the final one.
bool isTokenChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

bool parseCgiHeader(std::string_view text, Response& response, bool& sized) {
  bool statusGiven = false;
  bool location = false;
  std::optional<std::uint64_t> length;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (line.find_first_of(std::string_view("\r\0", 2)) != std::string_view::npos) return false;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    // Blanks before the colon are the program's slip and go; any other name that is no token
    // (a folded line, a control byte) would pass our framing checks and mislead the client's.
    std::string_view fieldName = line.substr(0, colon);
    while (!fieldName.empty() && (fieldName.back() == ' ' || fieldName.back() == '\t')) fieldName.remove_suffix(1);
    if (fieldName.empty() || !std::all_of(fieldName.begin(), fieldName.end(), isTokenChar)) return false;
    const std::string name(fieldName);
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    if (platform::text::equalsNoCase(name, "Status")) {
      unsigned code = 0;
      std::size_t at = 0;
      while (at < value.size() && at < 3 && std::isdigit(static_cast<unsigned char>(value[at])))
        code = code * 10 + static_cast<unsigned>(value[at++] - '0');
      if (at != 3 || code < 200 || code > 999) return false;
      std::string_view reason = value.substr(at);
      while (!reason.empty() && reason.front() == ' ') reason.remove_prefix(1);
      const Response base = makeResponse(code);
      response.status = code;
      response.reason = reason.empty() ? base.reason : std::string(reason);
      statusGiven = true;
      continue;
    }
    if (platform::text::equalsNoCase(name, "Transfer-Encoding") || platform::text::equalsNoCase(name, "Connection")) continue;  // framing is ours
    if (platform::text::equalsNoCase(name, "Content-Length")) {
      const auto number = declaredLength(value);
      if (!number || (length && *length != *number)) return false;
      if (length) continue;  // the same length twice goes out once
      length = number;
      sized = true;
    }
    if (platform::text::equalsNoCase(name, "Location")) location = true;
    response.headers.push_back({name, std::string(value)});
  }
  if (location && !statusGiven) {
    response.status = 302;
    response.reason = makeResponse(302).reason;
  }
  return true;
}

std::size_t headerEnd(const std::string& text, std::size_t& bodyStart) {
  const std::size_t crlf = text.find("\r\n\r\n");
  const std::size_t lf = text.find("\n\n");
  if (crlf != std::string::npos && (lf == std::string::npos || crlf < lf)) {
    bodyStart = crlf + 4;
    return crlf;
  }
  if (lf != std::string::npos) {
    bodyStart = lf + 2;
    return lf;
  }
  return std::string::npos;
}

std::string chunk(std::string_view bytes) {
  char size[24];
  std::snprintf(size, sizeof(size), "%zx\r\n", bytes.size());
  return size + std::string(bytes) + "\r\n";
}

}  // namespace

const ScriptMap* scriptMapFor(const Request& request) {
  const std::string& path = request.url.path;
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < slash) return nullptr;
  std::string extension;
  for (char c : path.substr(dot)) extension += platform::text::lowerAscii(c);
  for (const ScriptMap& map : request.site->scriptMaps)
    if (map.extension == extension) return &map;
  return nullptr;
}

bool runCgi(const Request& request, const ScriptMap& map, const std::filesystem::path& script, ResponseWriter& writer,
            std::chrono::milliseconds timeout) {
  Pipe input;
  Pipe output;
  if (!input.ok() || !output.ok()) return sendErrorPage(request, writer, 500);
  std::vector<std::string> command = commandFor(map, script);
  std::vector<std::string> environment = environmentFor(request, script);
  std::vector<char*> argv;
  for (auto& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input.read(), 0);
  posix_spawn_file_actions_adddup2(&actions, output.write(), 1);
  posix_spawn_file_actions_addchdir_np(&actions, script.parent_path().c_str());
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return sendErrorPage(request, writer, 500);
  Child child(pid);
  // A filter that answered the request whole keeps the connection: the program runs to its
  // end as it would have, its output unread by anyone.
  const auto answeredByFilter = [](const ResponseWriter& w) { return w.outcome() == FilterOutcome::FinishedKeepAlive; };
  input.closeRead();
  output.closeWrite();
  ::fcntl(input.write(), F_SETFL, O_NONBLOCK);

  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::size_t written = 0;
  if (request.body.empty()) input.closeWrite();
  std::string pending;  // output before the end of its header
  bool headerDone = false;
  bool sized = false;
  bool chunked = false;
  // A program's Content-Length ends its body on the connection: bytes past it would be read
  // as the next response, and fewer leave the client waiting for the next response's bytes.
  std::optional<std::uint64_t> declared;
  std::uint64_t bodySent = 0;
  const auto withinLength = [&](std::string_view bytes) {
    if (!sized || !declared) return bytes;
    const std::uint64_t room = *declared - std::min(*declared, bodySent);
    bytes = bytes.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(room, bytes.size())));
    bodySent += bytes.size();
    return bytes;
  };
  const bool head = request.method == "HEAD";
  bool bodiless = head;   // nothing of the program's body goes out
  bool noContent = false;  // a 204 or 304, which ends at its header whatever followed it
  std::string buffer(kReadSize, '\0');

  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;  // the program ran too long: killed by Child
    pollfd fds[2] = {{output.read(), POLLIN, 0}, {input.write(), POLLOUT, 0}};
    const int count = input.write() >= 0 ? 2 : 1;
    const int ready = ::poll(fds, count, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    if (count == 2 && fds[1].revents) {
      const ssize_t n = ::write(input.write(), request.body.data() + written, request.body.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 && errno != EAGAIN) written = request.body.size();  // the program does not read its input
      if (written == request.body.size()) input.closeWrite();
    }
    if (!fds[0].revents) continue;
    const ssize_t got = ::read(output.read(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (!headerDone) break;
      if (chunked && !bodiless) writer.sendBody("0\r\n\r\n");
      // Output short of its declared length leaves the body without an end the client can
      // find: the connection closes. What went past it was dropped, and the body ended there.
      if (sized && !bodiless && !answeredByFilter(writer) && (!declared || bodySent != *declared)) return false;
      return chunked || sized || noContent ? !writer.ended() : false;
    }
    const std::string_view bytes(buffer.data(), static_cast<std::size_t>(got));
    if (headerDone) {
      if (bodiless || answeredByFilter(writer)) continue;
      const std::string_view part = withinLength(bytes);
      const bool sent = chunked ? writer.sendBody(chunk(bytes)) : part.empty() || writer.sendBody(buffer.data(), part.size());
      if (!sent) return false;
      continue;
    }
    pending.append(bytes);
    std::size_t bodyStart = 0;
    const std::size_t end = headerEnd(pending, bodyStart);
    if (end == std::string::npos) {
      if (pending.size() > kMaxCgiHeader) break;
      continue;
    }
    Response response = makeResponse(200);
    if (!parseCgiHeader(std::string_view(pending).substr(0, end), response, sized)) break;
    // Bytes a program writes behind a 204 or 304 would be read as the next answer.
    noContent = response.status == 204 || response.status == 304;
    bodiless = head || noContent;
    if (response.status == 204) {  // a length there would announce a body it cannot have
      std::erase_if(response.headers,
                    [](const HeaderField& field) { return platform::text::equalsNoCase(field.name, "Content-Length"); });
      sized = false;
    }
    if (const std::string* length = findHeader(response.headers, "Content-Length")) declared = declaredLength(*length);
    chunked = !sized && request.version == 11 && !noContent;
    if (chunked) response.headers.push_back({"Transfer-Encoding", "chunked"});
    if (!sized && !chunked && !noContent) response.headers.push_back({"Connection", "close"});
    headerDone = true;
    pending.erase(0, bodyStart);
    if (!writer.sendHeader(response) && !answeredByFilter(writer)) return false;
    const std::string_view first = chunked ? std::string_view(pending) : withinLength(pending);
    if (!bodiless && !first.empty() && !writer.ended() &&
        !writer.sendBody(chunked ? chunk(pending) : std::string(first)) && !answeredByFilter(writer))
      return false;
    pending.clear();
  }
  // A program that said nothing usable, or ran out of time.
  if (!writer.headerSent()) {
    writer.closeAfter();  // the connection ends with this answer: the client is told so
    sendErrorPage(request, writer, 502);
  }
  return false;
}

}  // namespace w3svc
