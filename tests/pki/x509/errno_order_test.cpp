// The code a name reader leaves in errno is the one it returns, even when the memory it frees on
// the way out touches errno. This executable replaces the global allocation functions so that,
// while armed, every release clobbers errno, as a C library is free to do.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/errors/errno_util.h"
#include "pki/x509/name.h"
#include "tests/pki/x509/x509_test_util.h"

namespace {
bool g_clobber = false;
constexpr int kClobbered = 7777;
}  // namespace

void *operator new(std::size_t size) {
  void *p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
namespace {
void release(void *p) {
  std::free(p);
  if (g_clobber) errno = kClobbered;
}
}  // namespace
void operator delete(void *p) noexcept { release(p); }
void operator delete(void *p, std::size_t) noexcept { release(p); }

namespace x509test {
namespace {

TEST(NameTextErrno, CodeSurvivesTheReleaseOfTheRdnList) {
  const struct {
    const char *what;
    Bytes der;
    size_t capacity;  // 0: ask for the size
    int result;
    int code;
  } cases[] = {
      {"size asked", name({rdn({atv(kCn, kUtf8, text("a"))}), rdn({atv(kO, kUtf8, text("b"))})}), 0, 9, 0},
      {"written", name({rdn({atv(kCn, kUtf8, text("a"))}), rdn({atv(kO, kUtf8, text("b"))})}), 9, 8, 0},
      {"too small", name({rdn({atv(kCn, kUtf8, text("a"))}), rdn({atv(kO, kUtf8, text("b"))})}), 8, 0,
       v7::kErrInsufficientBuffer},
      {"unknown type", name({rdn({atv(kCn, kUtf8, text("a"))}), rdn({atv(kTitle, kUtf8, text("x"))})}), 10, 0,
       v7::kErrInvalidDnType},
      {"T61 value", name({rdn({atv(kCn, kUtf8, text("a"))}), rdn({atv(kO, kT61, text("b"))})}), 10, 0,
       v7::kErrAsn1InvalidTag},
  };
  for (const auto &c : cases) {
    Record n = decode(c.der, &asn1_tmpl_name);
    ASSERT_NE(n.record, nullptr) << c.what;
    std::string out(c.capacity, 'X');
    errno = 0;
    g_clobber = true;
    int got = name_to_text(n.as<Name>()->rdn_sequence, ",", c.capacity == 0 ? nullptr : &out[0], c.capacity);
    int code = errno;
    g_clobber = false;
    EXPECT_EQ(got, c.result) << c.what;
    EXPECT_EQ(code, c.code) << c.what;
  }
}

}  // namespace
}  // namespace x509test
