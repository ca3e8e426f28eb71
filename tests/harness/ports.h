// The ports of the servers that a ctest fixture started (slapd and the scripted directory servers,
// relayd): one "name port" line each, in the file that an environment variable names.
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace v7test {

// The ports by name; empty when the variable is unset or its file is missing (servers not started).
inline std::map<std::string, int> read_ports(const char *variable) {
  std::map<std::string, int> ports;
  const char *path = std::getenv(variable);
  std::ifstream in(path != nullptr ? path : "");
  std::string name;
  int port;
  while (in >> name >> port) ports[name] = port;
  return ports;
}

}  // namespace v7test
