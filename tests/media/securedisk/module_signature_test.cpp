// The result codes of a module file's signature check, the certificate table of a PE file and its
// signer's name, with the platform's verifier replaced through its seam.
#include "media/securedisk/module_signature.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pki/errors/error_ctx.h"
#include "platform/errors/error_codes.h"
#include "tests/harness/vectors.h"

namespace {

using Bytes = std::vector<uint8_t>;

FileTrustAnswer g_answer;
int g_verifier_calls = 0;
FileTrustAnswer scripted(const char16_t *) {
  ++g_verifier_calls;
  return g_answer;
}

struct SeamGuard {
  SeamGuard() {
    g_verifier_calls = 0;
    set_file_trust_verifier(scripted);
  }
  ~SeamGuard() { set_file_trust_verifier(nullptr); }
};

Bytes read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put32(Bytes *b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A minimal PE32 image: DOS header, PE signature, file header, an optional header up to its data
// directories, then one attribute certificate holding `signature`, padded to eight bytes.
Bytes pe_with_signature(const Bytes &signature, bool pe32_plus = false) {
  constexpr size_t kPe = 0x40;
  const size_t directory = pe32_plus ? 168 : 152;
  Bytes file(kPe + 4 + 20 + 224, 0);
  file[0] = 'M';
  file[1] = 'Z';
  put32(&file, 0x3C, kPe);
  std::memcpy(&file[kPe], "PE\0\0", 4);
  file[kPe + 4 + 20] = 0x0B;  // PE32 magic 0x10B, PE32+ 0x20B
  file[kPe + 4 + 21] = pe32_plus ? 0x02 : 0x01;
  size_t table = file.size();
  size_t entry = 8 + signature.size();
  size_t padded = (entry + 7) & ~size_t(7);
  file.resize(table + padded, 0);
  put32(&file, table, uint32_t(entry));
  file[table + 4] = 0x00;  // revision 2.0
  file[table + 5] = 0x02;
  file[table + 6] = 0x02;  // PKCS#7 signed data
  std::memcpy(&file[table + 8], signature.data(), signature.size());
  put32(&file, kPe + directory, uint32_t(table));
  put32(&file, kPe + directory + 4, uint32_t(padded));
  return file;
}

std::string codes_of(ERROR_CTX *ctx) {
  std::string out;
  for (ERROR_NODE *n = ctx->newest; n != nullptr; n = n->older)
    for (ERROR_SUBNODE *e = n->first; e != nullptr; e = e->next) {
      out += std::to_string(e->code);
      if (e->detail != nullptr) out += std::string("(") + e->detail + ")";
      out += e->next != nullptr ? " " : (n->older != nullptr ? " > " : "");
    }
  return out;
}

std::string temp_file(const char *name, const Bytes &data) {
  const char *dir = std::getenv("TMPDIR");
#ifdef _WIN32
  if (dir == nullptr) dir = std::getenv("TEMP");
#endif
  std::string path = std::string(dir != nullptr ? dir : "/tmp") + "/" + name;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
  return path;
}

TEST(FileSignatureTest, PlatformResultsMapToCodesAndPushedNodes) {
  struct Case {
    uint32_t result, last_error;
    int code;
    const char *pushed;  // newest node first
  } cases[] = {
      {0, 0, 0, ""},
      {0x80092003, 0, v7::kErrFileOpen, "1003 > 33010([0x80092003])"},
      {0x80096010, 0, v7::kErrPeImageHash, "33768 > 33010([0x80096010])"},
      {0x800B0100, 0x800B0100, v7::kErrPeNoSignature, "33762 > 33010([0x800B0100])"},
      {0x800B0100, 0x2, v7::kErrWin32Api, "33010([0x800B0100]) > 33010(GetLastError : [0x2])"},
      {0x800B010A, 0, v7::kErrTrustChain, "33373 > 33010([0x800B010A])"},
      {0x800B0111, 0, v7::kErrWin32Api, "33010([0x800B0111])"},  // explicitly distrusted
      {0x800B0109, 0, v7::kErrWin32Api, "33010([0x800B0109])"},  // untrusted root
  };
  SeamGuard seam;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.result);
    g_answer = {c.result, c.last_error};
    ERROR_CTX ctx = {};
    EXPECT_EQ(verify_file_signature(&ctx, "C:\\x\\npki_securedisk.dll"), c.code);
    EXPECT_EQ(codes_of(&ctx), c.pushed);
    err_ctx_clear(&ctx);
  }
  EXPECT_EQ(g_verifier_calls, int(sizeof cases / sizeof cases[0]));
}

TEST(FileSignatureTest, RefusesMissingContextAndPath) {
  SeamGuard seam;
  ERROR_CTX ctx = {};
  EXPECT_EQ(verify_file_signature(nullptr, "C:\\x.dll"), v7::kErrNoErrorContext);
  EXPECT_EQ(verify_file_signature(&ctx, nullptr), v7::kErrInvalidParameter);
  EXPECT_EQ(g_verifier_calls, 0);
  err_ctx_clear(&ctx);
}

TEST(PeSignerTest, SignerOfTheCertificateTable) {
  for (bool pe32_plus : {false, true}) {
    SCOPED_TRACE(pe32_plus ? "PE32+" : "PE32");
    Bytes pe = pe_with_signature(read_file(v7test::fixtures_path("pki/cms_data_sha256.der")), pe32_plus);
    ERROR_CTX ctx = {};
    char *signer = nullptr;
    ASSERT_EQ(pe_signer_dn(pe.data(), pe.size(), &ctx, &signer), 0) << codes_of(&ctx);
    ASSERT_NE(signer, nullptr);
    EXPECT_STREQ(signer, "cn=Hong Gildong()0001234567890123,ou=TestBank,ou=personal4IB,o=TestCA,c=KR");
    free(signer);
    err_ctx_clear(&ctx);
  }
}

TEST(PeSignerTest, HostileLayoutsAreRefused) {
  Bytes good = pe_with_signature(read_file(v7test::fixtures_path("pki/cms_data_sha256.der")));
  struct Case {
    const char *name;
    void (*mangle)(Bytes *);
    int code;
    const char *pushed;
  } cases[] = {
      {"no MZ", [](Bytes *b) { (*b)[0] = 'X'; }, v7::kErrPeFormat, "33761 > 1012"},
      {"PE offset past the end", [](Bytes *b) { put32(b, 0x3C, 0xFFFFFFF0u); }, v7::kErrPeFormat, "33761 > 1012"},
      {"no PE signature", [](Bytes *b) { (*b)[0x40] = 'Q'; }, v7::kErrPeFormat, "33761 > 1012"},
      {"unknown optional header", [](Bytes *b) { (*b)[0x40 + 25] = 0x07; }, v7::kErrPeFormat, "33761 > 1012"},
      {"no table", [](Bytes *b) { put32(b, 0x40 + 152, 0); }, v7::kErrPeNoSignature, "33762"},
      {"empty table", [](Bytes *b) { put32(b, 0x40 + 156, 0); }, v7::kErrPeNoSignature, "33762"},
      {"table past the end", [](Bytes *b) { put32(b, 0x40 + 156, 0x7FFFFFFF); }, v7::kErrPeFormat, "33761 > 1012"},
      {"entry longer than its table", [](Bytes *b) { put32(b, 0x40 + 4 + 20 + 224, 0x10000); }, v7::kErrPeFormat,
       "33761 > 1012"},
      {"entry shorter than its header", [](Bytes *b) { put32(b, 0x40 + 4 + 20 + 224, 4); }, v7::kErrPeFormat,
       "33761 > 1012"},
      {"not a ContentInfo", [](Bytes *b) { (*b)[0x40 + 4 + 20 + 224 + 8] = 0x04; }, v7::kErrCmsSignedDataFormat,
       "14022 > 10002(ContentInfo)"},
      {"truncated file", [](Bytes *b) { b->resize(0x30); }, v7::kErrPeFormat, "33761 > 1012"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Bytes pe = good;
    c.mangle(&pe);
    ERROR_CTX ctx = {};
    char *signer = nullptr;
    EXPECT_EQ(pe_signer_dn(pe.data(), pe.size(), &ctx, &signer), c.code);
    EXPECT_EQ(signer, nullptr);
    EXPECT_EQ(codes_of(&ctx), c.pushed);
    err_ctx_clear(&ctx);
  }
}

TEST(ModuleFileCheckTest, EachStepStopsTheCheck) {
  SeamGuard seam;
  std::string signed_by_other =
      temp_file("v7_sd_other_signer.dll", pe_with_signature(read_file(v7test::fixtures_path("pki/cms_data_sha256.der"))));
  Bytes no_table = pe_with_signature({0x30, 0x00});
  put32(&no_table, 0x40 + 152, 0);
  std::string unsigned_file = temp_file("v7_sd_unsigned.dll", no_table);
  struct Case {
    const char *name;
    std::string path;
    uint32_t answer;
    int check_signer;
    int code;
  } cases[] = {
      {"trusted, signer not asked", signed_by_other, 0, 0, 0},
      {"trusted, another signer", signed_by_other, 0, 1, v7::kErrSignerMismatch},
      {"unsigned", unsigned_file, 0x800B0100, 0, v7::kErrPeNoSignature},
      {"tampered", signed_by_other, 0x80096010, 1, v7::kErrPeImageHash},
      {"trusted by the platform but without a table", unsigned_file, 0, 1, v7::kErrPeNoSignature},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    g_answer = {c.answer, c.answer};
    ERROR_CTX ctx = {};
    EXPECT_EQ(sd_verify_module_file(&ctx, c.path.c_str(), c.check_signer), c.code) << codes_of(&ctx);
    err_ctx_clear(&ctx);
  }
  std::remove(signed_by_other.c_str());
  std::remove(unsigned_file.c_str());
}

}  // namespace
