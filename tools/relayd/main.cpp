// relayd: the test relay server. Listens on 127.0.0.1 only, in raw and HTTP mode; answers Hello
// with its certificate, pairs a sender with a recipient by the authorization code it issues and
// relays their records; applies scripted faults to its replies. It stops on SIGTERM, when the
// program that started a daemon ends, or after its lifetime, whichever comes first.
// tools/relayd/README.md has the command line and the faults.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "crypto/base/wipe.h"
#include "tools/relayd/relayd.h"

namespace {

using relayd::Listener;
using relayd::Mode;

volatile sig_atomic_t g_stop = 0;
void on_term(int) { g_stop = 1; }

struct Options {
  std::string cert, key, ports_file, pid_file, stop_pid_file, log_file = "/dev/null";
  std::vector<std::string> chain;
  int lifetime = 120;
  long code_lifetime = 300;
  bool daemon = false;
  std::vector<Listener> listeners;
};

int usage(const std::string &why) {
  fprintf(stderr, "relayd: %s\n", why.c_str());
  return 2;
}

bool parse_args(int argc, char **argv, Options *o, std::string *error) {
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    bool has_value = i + 1 < argc;
    std::string value = has_value ? argv[i + 1] : "";
    if (arg == "--daemon") {
      o->daemon = true;
      continue;
    }
    if (!has_value) return *error = "missing value after " + arg, false;
    i++;
    Listener l;
    if (arg == "--cert")
      o->cert = value;
    else if (arg == "--key")
      o->key = value;
    else if (arg == "--chain")
      o->chain.push_back(value);
    else if (arg == "--code-lifetime")
      o->code_lifetime = atol(value.c_str());
    else if (arg == "--ports-file")
      o->ports_file = value;
    else if (arg == "--pid-file")
      o->pid_file = value;
    else if (arg == "--log")
      o->log_file = value;
    else if (arg == "--stop")
      o->stop_pid_file = value;
    else if (arg == "--lifetime")
      o->lifetime = atoi(value.c_str());
    else if (arg == "--listen") {
      if (!relayd::parse_listener(value, &l, error)) return false;
      o->listeners.push_back(l);
    } else if (arg == "--script") {
      std::ifstream script(value);
      if (!script) return *error = "cannot read " + value, false;
      for (std::string line; std::getline(script, line);) {
        if (line.empty() || line[0] == '#') continue;
        if (!relayd::parse_listener(line, &l, error)) return false;
        o->listeners.push_back(l);
      }
    } else {
      return *error = "unknown option " + arg, false;
    }
  }
  if (!o->stop_pid_file.empty()) return true;
  if (o->cert.empty() || o->ports_file.empty() || o->listeners.empty()) {
    return *error = "--cert, --ports-file and at least one listener are required", false;
  }
  if (o->lifetime <= 0 || o->lifetime > 3600) return *error = "--lifetime must be 1..3600 seconds", false;
  if (o->code_lifetime <= 0 || o->code_lifetime > 3600)
    return *error = "--code-lifetime must be 1..3600 seconds", false;
  if (o->chain.size() > 2) return *error = "at most two --chain certificates (items 1 and 3)", false;
  return true;
}

sockaddr_in loopback(int port) {
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

int bound_port(int fd) {
  sockaddr_in a = {};
  socklen_t len = sizeof(a);
  return getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0 ? ntohs(a.sin_port) : -1;
}

// Whether a connection attempt to the port completes within `ms`.
bool connects_within(int port, int ms, int *kept_fd) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in a = loopback(port);
  if (fd < 0) return false;
  connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a));
  pollfd p = {fd, POLLOUT, 0};
  int error = 1;
  socklen_t len = sizeof(error);
  bool done = poll(&p, 1, ms) == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
  if (done)
    *kept_fd = fd;
  else
    close(fd);
  return done;
}

// A silent port: a listener with backlog 0 whose accept queue is kept full by connections that
// are never accepted. Linux then drops further SYNs, so a client's connect gets no answer at all.
// Checked here: an attempt must still be pending after 300 ms.
bool make_silent(Listener *l, std::string *error) {
  if (listen(l->fd, 0) != 0) return *error = strerror(errno), false;
  int port = bound_port(l->fd), filler = -1;
  for (int fillers = 0; fillers < 16; fillers++) {
    if (!connects_within(port, 300, &filler)) return true;  // the fillers stay open
  }
  return *error = "the accept queue of the silent port does not fill up", false;
}

bool open_listener(Listener *l, std::string *error) {
  l->fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  sockaddr_in a = loopback(l->port);
  if (l->fd < 0 ||
      (l->mode != Mode::Refused && setsockopt(l->fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) != 0) ||
      bind(l->fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)) != 0) {
    return *error = l->name + ": " + strerror(errno), false;
  }
  l->port = bound_port(l->fd);
  if (l->mode == Mode::Refused) return true;  // bound, never listening: connects are refused
  if (l->mode == Mode::Silent) return make_silent(l, error);
  if (listen(l->fd, 16) != 0) return *error = l->name + ": " + strerror(errno), false;
  return true;
}

std::vector<uint8_t> read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool write_file(const std::string &path, const std::string &text) {
  std::string tmp = path + ".tmp";
  FILE *f = fopen(tmp.c_str(), "w");
  if (f == nullptr) return false;
  bool ok = fputs(text.c_str(), f) >= 0;
  ok = fclose(f) == 0 && ok;
  return ok && rename(tmp.c_str(), path.c_str()) == 0;
}

// Whether pid is a live relayd (not a zombie, not some other program that took its number).
bool is_live_relayd(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t open = text.find('('), close = text.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close + 2 >= text.size()) return false;
  return text.substr(open + 1, close - open - 1) == "relayd" && text[close + 2] != 'Z';
}

int stop(const std::string &pid_file) {
  std::ifstream in(pid_file);
  long pid = 0;
  if (!(in >> pid) || pid <= 1) return usage("no pid in " + pid_file);
  if (!is_live_relayd(pid_t(pid))) return 0;  // already gone
  kill(pid_t(pid), SIGTERM);
  for (int i = 0; i < 100 && is_live_relayd(pid_t(pid)); i++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return is_live_relayd(pid_t(pid)) ? usage("relayd " + std::to_string(pid) + " did not stop") : 0;
}

// Forks; the parent waits until the child is serving (or has failed) and exits with that result.
// Returns the descriptor on which the child reports readiness.
int daemonize(const std::string &log_file) {
  int ready[2];
  if (pipe(ready) != 0) exit(1);
  pid_t child = fork();
  if (child < 0) exit(1);
  if (child > 0) {
    close(ready[1]);
    char ok = 0;
    exit(read(ready[0], &ok, 1) == 1 ? 0 : 1);
  }
  close(ready[0]);
  setsid();
  // The test runner waits on the output pipes it gave the parent; the child lets go of them.
  int null_fd = open("/dev/null", O_RDWR);
  int log_fd = open(log_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  dup2(null_fd, 0);
  dup2(null_fd, 1);
  dup2(log_fd >= 0 ? log_fd : null_fd, 2);
  if (null_fd > 2) close(null_fd);
  if (log_fd > 2) close(log_fd);
  return ready[1];
}

}  // namespace

int main(int argc, char **argv) {
  Options o;
  std::string error;
  if (!parse_args(argc, argv, &o, &error)) return usage(error);
  if (!o.stop_pid_file.empty()) return stop(o.stop_pid_file);

  relayd::ServerConfig config;
  config.code_ms = o.code_lifetime * 1000;
  config.cert_der = read_file(o.cert);
  if (config.cert_der.empty() || config.cert_der.size() > 30000)
    return usage("cannot read a certificate from " + o.cert);
  for (const std::string &path : o.chain) {
    config.chain.push_back(read_file(path));
    if (config.chain.back().empty() || config.chain.back().size() > 15000)
      return usage("cannot read a certificate from " + path);
  }
  if (!o.key.empty()) {
    std::vector<uint8_t> der = read_file(o.key);
    config.key = relayd::load_private_key(der, &error);
    v7::secure_wipe(der.data(), der.size());
    if (config.key == nullptr) return usage(o.key + ": " + error);
  }

  // A daemon also ends with the program that started it (the test runner), so that one whose
  // stop never comes does not outlive the run.
  const pid_t owner = getppid();
  int ready_fd = o.daemon ? daemonize(o.log_file) : -1;
  signal(SIGTERM, on_term);
  signal(SIGINT, on_term);
  signal(SIGPIPE, SIG_IGN);

  std::string ports;
  for (Listener &l : o.listeners) {
    if (!open_listener(&l, &error)) return usage(error);
    ports += l.name + " " + std::to_string(l.port) + "\n";
  }
  if (!o.pid_file.empty() && !write_file(o.pid_file, std::to_string(getpid()) + "\n")) {
    return usage("cannot write " + o.pid_file);
  }
  if (!write_file(o.ports_file, ports)) return usage("cannot write " + o.ports_file);
  if (ready_fd >= 0) {
    (void)!write(ready_fd, "1", 1);
    close(ready_fd);
  }

  std::vector<pollfd> polled;
  std::vector<const Listener *> owners;
  for (const Listener &l : o.listeners) {
    if (l.mode == Mode::Raw || l.mode == Mode::Http) {
      polled.push_back({l.fd, POLLIN, 0});
      owners.push_back(&l);
    }
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(o.lifetime);
  while (!g_stop && std::chrono::steady_clock::now() < deadline &&
         (!o.daemon || kill(owner, 0) == 0 || errno == EPERM)) {
    if (poll(polled.data(), polled.size(), 200) <= 0) continue;
    for (size_t i = 0; i < polled.size(); i++) {
      if (!(polled[i].revents & POLLIN)) continue;
      int fd = accept4(polled[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      int one = 1;
      // Pieces of a split reply must leave as separate segments.
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
      std::thread(relayd::serve_connection, fd, *owners[i], std::cref(config)).detach();
    }
  }
  unlink(o.ports_file.c_str());
  if (!o.pid_file.empty()) unlink(o.pid_file.c_str());
  // Connection threads may still be running; end without unwinding them.
  _exit(0);
}
