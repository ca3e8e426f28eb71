// The tests' side of tools/vcard: its control lines, its card images and its APDU log, in the
// folder that V7_CARD_DIR names (written by the service script that started it). Under Wine the
// test sees that folder as Z:..., and V7_CARD_HOST_DIR gives vcard's own name of it.
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/net/net.h"

namespace v7test {

class VcardClient {
 public:
  VcardClient() {
    const char *dir = std::getenv("V7_CARD_DIR");
    dir_ = dir != nullptr ? dir : "";
    const char *host = std::getenv("V7_CARD_HOST_DIR");
    host_dir_ = host != nullptr ? host : dir_;
    std::ifstream ports(dir_ + "/vcard.ports");
    std::string name;
    int port = 0;
    while (ports >> name >> port)
      if (name == "control") control_port_ = port;
    uint16_t got = 0;
    if (control_port_ == 0 || v7::net_startup(v7::net_version(1, 1), &got) != 0) return;
    started_ = true;
    uint32_t loopback = 0;
    s_ = v7::net_tcp_socket();
    if (s_ != v7::kInvalidSocket &&
        (v7::net_resolve("127.0.0.1", &loopback) != 0 ||
         v7::net_connect(s_, loopback, static_cast<uint16_t>(control_port_)) != 0)) {
      v7::net_close(s_);
      s_ = v7::kInvalidSocket;
    }
  }
  ~VcardClient() {
    if (s_ != v7::kInvalidSocket) v7::net_close(s_);
    if (started_) v7::net_cleanup();
  }
  VcardClient(const VcardClient &) = delete;
  VcardClient &operator=(const VcardClient &) = delete;

  bool ready() const { return s_ != v7::kInvalidSocket; }
  const std::string &dir() const { return dir_; }

  // One control line and its answer line ("ok..." or "error ...").
  std::string command(const std::string &line) {
    std::string out = line + "\n";
    if (v7::net_send(s_, out.data(), static_cast<int>(out.size())) != static_cast<int>(out.size()))
      return "error send";
    std::string answer;
    char c = 0;
    while (v7::net_recv(s_, &c, 1) == 1 && c != '\n') answer += c;
    return answer;
  }

  // Loads a card image given as its lines; the APDU log starts empty.
  std::string load(const std::string &image) {
    std::ofstream(dir_ + "/test.img") << image;
    std::string answer = command("load " + host_dir_ + "/test.img");
    if (answer == "ok") answer = command("clearlog");
    return answer;
  }

  // The APDU log since the last load or clear: "> command", "< answer", "power on/off" lines.
  std::vector<std::string> log() {
    command("sync");
    std::ifstream in(dir_ + "/apdu.log");
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
  }
  // The log without its "power off" lines: pcscd powers a card down a moment after the
  // disconnect, from its own thread, so where that line falls is not fixed. The next connect
  // powers the card up again ("power on") in any case.
  std::vector<std::string> events() {
    std::vector<std::string> out;
    for (const auto &line : log())
      if (line != "power off") out.push_back(line);
    return out;
  }
  std::vector<std::string> commands() {
    std::vector<std::string> out;
    for (const auto &line : log())
      if (line.rfind("> ", 0) == 0) out.push_back(line.substr(2));
    return out;
  }
  void clear_log() { command("clearlog"); }

  // The card's records now, by (file, kind, record), as upper-case hex; and its other lines.
  using RecordKey = std::tuple<std::string, int, int>;
  std::map<RecordKey, std::string> records(std::string *rest = nullptr) {
    std::map<RecordKey, std::string> out;
    if (command("save " + host_dir_ + "/saved.img") != "ok") return out;
    std::ifstream in(dir_ + "/saved.img");
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      std::string key, file, hex;
      int kind = 0, n = 0;
      words >> key;
      if (key == "record" && (words >> file >> kind >> n)) {
        words >> hex;
        out[RecordKey(file, kind, n)] = hex;
      } else if (rest != nullptr) {
        *rest += line + "\n";
      }
    }
    return out;
  }

 private:
  std::string dir_, host_dir_;
  int control_port_ = 0;
  bool started_ = false;
  v7::Socket s_ = v7::kInvalidSocket;
};

}  // namespace v7test
