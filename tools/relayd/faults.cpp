// The listener specs of the test relay server and the faults they script.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tools/relayd/relayd.h"

namespace relayd {
namespace {

bool parse_number(const std::string &text, long *out) {
  char *end = nullptr;
  long value = strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != 0 || value < 0) return false;
  *out = value;
  return true;
}

// "s7", "r10": the side and the record type that side reads in the reply; "3", the answer to a
// Hello, names no side (the role is not known yet).
bool parse_point(const std::string &text, PointFault *p) {
  static const char *const kPoints[] = {"3", "s7", "s9", "s1", "r5", "r8", "r10", "r1"};
  if (std::find(std::begin(kPoints), std::end(kPoints), text) == std::end(kPoints)) return false;
  p->side = text == "3" ? 0 : text[0];
  p->type = uint8_t(atoi(text.c_str() + (p->side != 0 ? 1 : 0)));
  return true;
}

bool parse_point_fault(const std::string &key, const std::string &value, const std::string &point,
                       Faults *f) {
  static const struct {
    const char *name;
    Tamper tamper;
  } kTampers[] = {
      {"bad-version", Tamper::BadVersion},
      {"bad-inner-version", Tamper::BadInnerVersion},
      {"bad-type", Tamper::BadType},
      {"bad-padding", Tamper::BadPadding},
      {"bad-mac", Tamper::BadMac},
      {"alert", Tamper::Alert},
      {"close", Tamper::Close},
  };
  PointFault p = {};
  auto it =
      std::find_if(std::begin(kTampers), std::end(kTampers), [&](const auto &t) { return key == t.name; });
  if (it == std::end(kTampers) || !parse_point(point, &p)) return false;
  p.tamper = it->tamper;
  long n = 0;
  if (p.tamper == Tamper::Alert) {
    if (!parse_number(value, &n) || n == 0 || n > 0xffff) return false;
    p.value = uint16_t(n);
  } else if (!value.empty()) {
    return false;
  }
  // Only an enveloped reply can carry a bad envelope or an inner record.
  bool enveloped = p.type != 3 && p.type != 1;
  if ((p.tamper == Tamper::BadPadding || p.tamper == Tamper::BadInnerVersion) && !enveloped) return false;
  if (p.tamper == Tamper::BadMac && point != "r10") return false;
  f->points.push_back(p);
  return true;
}

bool parse_fault(const std::string &item, Faults *f) {
  size_t at = item.find('@');
  std::string head = item.substr(0, at);
  size_t eq = head.find('=');
  std::string key = head.substr(0, eq), value = eq == std::string::npos ? "" : head.substr(eq + 1);
  if (at != std::string::npos) return parse_point_fault(key, value, item.substr(at + 1), f);
  long n = 0;
  if (key == "split") {
    std::stringstream offsets(value);
    for (std::string part; std::getline(offsets, part, '+');) {
      if (!parse_number(part, &n)) return false;
      f->split.push_back(size_t(n));
    }
    std::sort(f->split.begin(), f->split.end());
    return !f->split.empty();
  }
  if (key == "content-length") return !(f->content_length = value).empty();
  if (key == "zero-record") return f->zero_record = true;
  if (key == "head-oversize") return f->head_oversize = true;
  if (key == "head-malformed") return f->head_malformed = true;
  if (key == "no-content-length") return f->no_content_length = true;
  if (key == "hello-version") return parse_version(value, &f->hello_version) && f->hello_version != 0;
  if (!parse_number(value, &n) || n > 3600000) return false;
  if (key == "pause-ms") return f->pause_ms = int(n), true;
  if (key == "stall-at") return f->stall_at = n, true;
  if (key == "stall-ms") return f->stall_ms = int(n), true;
  if (key == "close-after") return f->close_after = n, true;
  if (key == "code-ms") return f->code_ms = n, true;
  return false;
}

}  // namespace

bool parse_version(const std::string &text, uint16_t *out) {
  int major = 0, minor = 0;
  char dot = 0, extra = 0;
  if (sscanf(text.c_str(), "%d%c%d%c", &major, &dot, &minor, &extra) != 3 || dot != '.' || major < 0 ||
      major > 255 || minor < 0 || minor > 255) {
    return false;
  }
  *out = uint16_t(major << 8 | minor);
  return true;
}

bool parse_listener(const std::string &spec, Listener *out, std::string *error) {
  std::vector<std::string> fields;
  std::stringstream in(spec);
  for (std::string field; fields.size() < 3 && std::getline(in, field, ':');) fields.push_back(field);
  std::string faults;
  std::getline(in, faults);
  long port = 0;
  Listener l;
  bool ok = fields.size() == 3 && !fields[0].empty() && parse_number(fields[2], &port) && port <= 0xffff;
  if (ok) {
    l.name = fields[0];
    l.port = int(port);
    const std::string &m = fields[1];
    if (m == "raw")
      l.mode = Mode::Raw;
    else if (m == "http")
      l.mode = Mode::Http;
    else if (m == "silent")
      l.mode = Mode::Silent;
    else if (m == "refused")
      l.mode = Mode::Refused;
    else
      ok = false;
  }
  std::stringstream items(faults);
  for (std::string item; ok && std::getline(items, item, ',');) ok = parse_fault(item, &l.faults);
  if (!ok) {
    *error = "bad listener \"" + spec + "\" (NAME:raw|http|silent|refused:PORT[:FAULT,...])";
    return false;
  }
  *out = l;
  return true;
}

}  // namespace relayd
