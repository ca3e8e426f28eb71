// Loading outside modules: only full paths reach the loader, and a name the loader itself would
// find on its search path is refused.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/errors/error_codes.h"
#include "platform/module/module.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

struct PathCase {
  const char *path;
  bool full;
};

#ifdef _WIN32
const PathCase kPaths[] = {
    {"C:\\windows\\system32\\kernel32.dll", true},
    {"c:/tokens/vendor.dll", true},
    {"\\\\server\\share\\p11.dll", true},
    {"kernel32.dll", false},
    {"C:kernel32.dll", false},
    {"\\windows\\p11.dll", false},
    {".\\p11.dll", false},
    {"C:\\tokens\\..\\p11.dll", false},
    {"C:\\tokens\\.\\p11.dll", false},
    {"\\\\?\\C:\\p11.dll", false},
    {"\\\\.\\pipe\\x", false},
    {"C:\\", false},
    {"", false},
};
#else
const PathCase kPaths[] = {
    {"/usr/lib/softhsm/libsofthsm2.so", true},
    {"/a", true},
    {"libc.so.6", false},
    {"./p11.so", false},
    {"lib/p11.so", false},
    {"/usr/lib/../lib/p11.so", false},
    {"/usr/./lib/p11.so", false},
    {"/usr/lib/..", false},
    {"/", false},
    {"", false},
};
#endif

TEST(Module, FullPathTable) {
  for (const PathCase &c : kPaths) EXPECT_EQ(c.full, v7::module_path_is_full(c.path)) << c.path;
  EXPECT_FALSE(v7::module_path_is_full(nullptr));
}

// The full path of a library the process already has, as the loader knows it.
std::string system_library_path() {
#ifdef _WIN32
  char buffer[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameA(::GetModuleHandleA("kernel32.dll"), buffer, MAX_PATH);
  return std::string(buffer, n);
#else
  Dl_info info{};
  if (dladdr(reinterpret_cast<void *>(&dlopen), &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
#endif
}

#ifdef _WIN32
const char *kBareName = "kernel32.dll";
const char *kExport = "GetProcAddress";
#else
const char *kBareName = "libc.so.6";
const char *kExport = "dlopen";
#endif

TEST(Module, LoadsByFullPathAndFindsExports) {
  std::string path = system_library_path();
  ASSERT_TRUE(v7::module_path_is_full(path.c_str())) << path;
  v7::LoadedModule *module = v7::module_load(path.c_str());
  ASSERT_NE(nullptr, module) << path << " errno " << errno;
  EXPECT_NE(nullptr, v7::module_symbol(module, kExport));
  errno = 0;
  EXPECT_EQ(nullptr, v7::module_symbol(module, "NoSuchExportAnywhere"));
  EXPECT_EQ(v7::kErrModuleNoSymbol, errno);
  v7::module_close(module);
}

TEST(Module, RefusesWhatTheSearchPathWouldFind) {
  errno = 0;
  EXPECT_EQ(nullptr, v7::module_load(kBareName));
  EXPECT_EQ(v7::kErrModuleRelativePath, errno);
  errno = 0;
  EXPECT_EQ(nullptr, v7::module_load(nullptr));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
  errno = 0;
  EXPECT_EQ(nullptr, v7::module_load(""));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
#ifdef _WIN32
  const char *missing = "C:\\no such folder\\p11.dll";
#else
  const char *missing = "/no such folder/p11.so";
#endif
  errno = 0;
  EXPECT_EQ(nullptr, v7::module_load(missing));
  EXPECT_EQ(v7::kErrModuleLoad, errno);
  EXPECT_EQ(nullptr, v7::module_symbol(nullptr, kExport));
  v7::module_close(nullptr);
}

}  // namespace
