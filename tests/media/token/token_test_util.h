// A temporary folder per test for the token tests, removed with everything in it, and SoftHSM2 as
// a real token of the native tests.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tokentest {

class TempDir {
 public:
  explicit TempDir(const std::string &tag) {
    namespace fs = std::filesystem;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() / ("v7-" + tag + "-" + std::to_string(stamp));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  std::string file(const std::string &name) const { return (path_ / name).string(); }
  const std::filesystem::path &path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline void write_file(const std::string &path, const std::string &content) {
  std::ofstream(path, std::ios::binary) << content;
}

inline std::vector<uint8_t> read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

#ifndef _WIN32
// The installed SoftHSM2 library, or empty.
inline std::string softhsm_path() {
  for (const char *p :
       {"/usr/lib/softhsm/libsofthsm2.so", "/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so"})
    if (std::filesystem::exists(p)) return p;
  return {};
}

// A fresh SoftHSM2 token store in dir with one initialised token (label "v7test"), named to the
// library through SOFTHSM2_CONF; 0 or the exit status of softhsm2-util.
inline int softhsm_start(const TempDir &dir, const std::string &so_pin, const std::string &pin) {
  std::filesystem::create_directories(dir.path() / "tokens");
  const std::string conf = dir.file("softhsm2.conf");
  write_file(conf, "directories.tokendir = " + dir.file("tokens") +
                       "\nobjectstore.backend = file\nlog.level = ERROR\n");
  setenv("SOFTHSM2_CONF", conf.c_str(), 1);
  const std::string init = "softhsm2-util --init-token --free --label v7test --so-pin " + so_pin + " --pin " +
                           pin + " > " + dir.file("init.log") + " 2>&1";
  return std::system(init.c_str());
}
#endif

}  // namespace tokentest
