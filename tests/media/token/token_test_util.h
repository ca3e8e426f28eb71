// A temporary folder per test for the token tests, removed with everything in it.
#pragma once

#include <chrono>
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

}  // namespace tokentest
