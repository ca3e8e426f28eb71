// The USB-key and phone paths against our own test modules (tests/modules/outside): what each
// module is called with, the bounds on what it returns, the version gate and the install pages,
// the message boxes of every failure, and that keyboard security is resumed and the modules are
// unloaded on every path. A fake dialog counts what the paths ask of it.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "media/certlist.h"
#include "media/keyload.h"
#include "media/selection_record.h"
#include "pki/errors/error_ctx.h"
#include "pki/keys/keyobj.h"
#include "platform/errors/error_codes.h"
#include "platform/fs/utf.h"
#include "platform/ui/message_box.h"
#include "tests/harness/vectors.h"
#include "tests/pki/keys/keyobj/keyobj_test_util.h"
#include "wizard/dialogs/web_page.h"
#include "wizard/keyload/outside_key_load.h"
#include "wizard/records/request_record.h"

namespace {

using keyobjtest::Bytes;
using keyobjtest::fixture;
using v7::keyload::OutsideModuleBuffers;

const char kUsbPage[] = "https://usbkey.example/install";
const char kPhonePage[] = "https://phone.example/install";
const char kUsbText[] = "usb-transfer-text";
const char kUsbText2[] = "second";
const char kPhoneText[] = "phone-text";

std::string module_dir() { return V7_OUTSIDE_MODULE_DIR; }

struct Box {
  std::string text;  // UTF-8
  unsigned flags;
};
std::vector<Box> g_boxes;
std::vector<std::string> g_pages;

int answer_box(const char16_t *text, const char16_t *, unsigned flags) {
  std::string utf8;
  v7::utf16_to_utf8(text, &utf8);
  g_boxes.push_back({utf8, flags});
  return IDOK;
}

int open_page(const char16_t *address) {
  std::string utf8;
  v7::utf16_to_utf8(address, &utf8);
  g_pages.push_back(utf8);
  return 0;
}

class FakeDialog : public v7::keyload::KeyLoadDialog {
 public:
  HWND Window() override { return reinterpret_cast<HWND>(uintptr_t(0x1234)); }
  void EnableWindow(bool enable) override { events.push_back(enable ? "enable" : "disable"); }
  void SuspendKeyboardSecurity() override {
    ++suspended;
    events.push_back("suspend");
  }
  void ResumeKeyboardSecurity() override {
    ++resumed;
    events.push_back("resume");
  }
  void FillList() override { events.push_back("fill"); }
  void HidePhoneTip() override { events.push_back("hide tip"); }
  void EndWithOk() override { events.push_back("ok"); }

  int suspended = 0, resumed = 0;
  std::vector<std::string> events;
};

void set_env(const char *name, const std::string &value) {
  ::SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
}

class OutsideModules : public ::testing::Test {
 protected:
  void SetUp() override {
    g_boxes.clear();
    g_pages.clear();
    v7::set_message_box_hook_w(answer_box);
    v7::dialogs::set_web_page_opener(open_page);
    request_ = static_cast<RelayRequestRecord *>(calloc(1, sizeof(RelayRequestRecord)));
    strcpy(request_->usbkey_install_url, kUsbPage);
    strcpy(request_->phone_install_url, kPhonePage);
    strcpy(request_->usbkey_transfer_text, kUsbText);
    strcpy(request_->usbkey_text2, kUsbText2);
    strcpy(request_->phone_text, kPhoneText);
    record_ = static_cast<CertListRecord *>(calloc(1, sizeof(CertListRecord)));
    record_->list = static_cast<CERTLIST_CTX *>(calloc(1, sizeof(CERTLIST_CTX)));
    record_->errors = &errors_;
    record_->request = request_;
    buffers_.reset(new OutsideModuleBuffers());
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    log_path_ = std::string(temp) + "v7-outside-" + std::to_string(::GetCurrentProcessId()) + ".log";
    ::DeleteFileA(log_path_.c_str());
    set_env("V7_TEST_MODULE_LOG", log_path_);
    old_program_files_ = v7test_env("ProgramFiles");
  }
  void TearDown() override {
    v7::set_message_box_hook_w(nullptr);
    v7::dialogs::set_web_page_opener(nullptr);
    v7::keyload::set_usbkey_module_folder(nullptr);
    set_env("V7_TEST_MODULE_LOG", "");
    set_env("V7_TEST_USBKEY", "");
    set_env("V7_TEST_PHONE", "");
    set_env("ProgramFiles", old_program_files_);
    ::DeleteFileA(log_path_.c_str());
    v7::keyload::outside_buffers_wipe(buffers_.get());
    CertListFree(record_);
    err_ctx_clear(&errors_);
    free(request_);
  }

  static std::string v7test_env(const char *name) {
    char buffer[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableA(name, buffer, MAX_PATH);
    return n != 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
  }

  std::vector<std::string> log() {
    std::vector<std::string> lines;
    std::ifstream in(log_path_);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    ::DeleteFileA(log_path_.c_str());
    return lines;
  }

  int usb(const std::string &variant, const std::string &script) {
    v7::keyload::set_usbkey_module_folder((module_dir() + "\\usbkey\\" + variant).c_str());
    set_env("V7_TEST_USBKEY", script);
    return v7::keyload::LoadUbiKeyCertificate(&dialog_, record_, buffers_.get());
  }
  int phone(const std::string &variant, const std::string &script) {
    set_env("ProgramFiles", module_dir() + "\\phone\\" + variant);
    set_env("V7_TEST_PHONE", script);
    return v7::keyload::LoadPhoneCertificate(&dialog_, record_, buffers_.get());
  }

  std::string cert_file() const { return v7test::fixtures_path("pki/signCert.der"); }
  std::string key_file() const { return v7test::fixtures_path("pki/signPri.key"); }

  ERROR_CTX errors_{};
  RelayRequestRecord *request_ = nullptr;
  CertListRecord *record_ = nullptr;
  std::unique_ptr<OutsideModuleBuffers> buffers_;
  FakeDialog dialog_;
  std::string log_path_, old_program_files_;
};

// ---- USB key -------------------------------------------------------------------------------------

TEST_F(OutsideModules, UsbKeyCertificateBecomesTheOnlyEntryAndItsKeyOpensOnOk) {
  ASSERT_EQ(0, usb("complete", "cert=" + cert_file() + ";key=" + key_file()));
  EXPECT_EQ((std::vector<std::string>{"Tranx2PC self window=4660 text=usb-transfer-text text2=second",
                                      "GetCert 4096", "GetKey 4096", "usbkey detach"}),
            log());
  EXPECT_EQ((std::vector<std::string>{"suspend", "resume", "fill"}), dialog_.events);
  EXPECT_TRUE(g_boxes.empty());
  ASSERT_NE(nullptr, record_->list->first);
  EXPECT_EQ(nullptr, record_->list->first->next);
  EXPECT_EQ(record_->list->first, record_->current);
  EXPECT_EQ(uint32_t(kMediumUsbKey), record_->list->first->media_code);
  const Bytes cert = fixture("signCert.der"), key = fixture("signPri.key");
  ASSERT_EQ(cert.size(), buffers_->pair.cert_length);
  ASSERT_EQ(key.size(), buffers_->pair.key_length);

  ASSERT_EQ(0, CertListSetPassword(record_, keyobjtest::kPassword));
  keyobjtest::Key opened(LoadSoftKeyWithPassword(record_, buffers_->pair.cert, buffers_->pair.cert_length,
                                                 buffers_->pair.key, buffers_->pair.key_length));
  ASSERT_NE(nullptr, opened);
  EXPECT_EQ(cert, Bytes(opened->cert_der, opened->cert_der + opened->cert_der_len));
}

TEST_F(OutsideModules, UsbKeyLengthsOutsideTheBuffersKeepNothing) {
  struct Case {
    const char *script;
  } cases[] = {{"certlen=4097"}, {"certlen=-1"}, {"keylen=4097"}, {"keylen=-5"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(v7::kErrInvalidMemoryAccess,
              usb("complete", "cert=" + cert_file() + ";key=" + key_file() + ";" + c.script));
    EXPECT_EQ(0u, buffers_->pair.cert_length);
    EXPECT_EQ(0u, buffers_->pair.key_length);
    EXPECT_TRUE(std::all_of(buffers_->pair.key, buffers_->pair.key + sizeof(buffers_->pair.key),
                            [](uint8_t b) { return b == 0; }))
        << "the key bytes the module wrote are wiped";
    EXPECT_EQ(nullptr, record_->list->first);
    EXPECT_EQ("usbkey detach", log().back());
  }
  EXPECT_EQ(dialog_.suspended, dialog_.resumed);
}

TEST_F(OutsideModules, UsbKeyRefusalSkipsBothCopies) {
  EXPECT_EQ(0, usb("complete", "tranx=3;cert=" + cert_file()));
  const auto lines = log();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("usbkey detach", lines[1]);
  EXPECT_EQ(nullptr, record_->list->first);
  EXPECT_EQ((std::vector<std::string>{"suspend", "resume", "fill"}), dialog_.events);
}

TEST_F(OutsideModules, UsbKeyVersionGateAndMissingEntryPoints) {
  struct Case {
    const char *variant;
    const char *min_version;
    int code;
    bool page;
    const char *box;  // null: none
    int suspended;
  } cases[] = {
      {"complete", "", 0, false, nullptr, 1},
      {"complete", "1.5.0.0", 0, false, nullptr, 1},
      {"complete", "1.4.9", 0, false, nullptr, 1},
      {"complete", "1.5.0.1", v7::kErrModuleLoad, true, nullptr, 0},
      {"noversion", "", 0, false, nullptr, 1},
      {"noversion", "1.0", v7::kErrModuleLoad, true, nullptr, 0},
      {"absent", "", v7::kErrModuleLoad, true, nullptr, 0},
      {"no_tranx", "", v7::kErrModuleNoSymbol, false, "lpTranx2PC ProcAddress load 실패", 0},
      {"no_getcert", "", v7::kErrModuleNoSymbol, false, "lpGetCert ProcAddress load 실패", 1},
      {"no_getkey", "", v7::kErrModuleNoSymbol, false, "lpGetKey ProcAddress load 실패", 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.variant) + " " + c.min_version);
    g_boxes.clear();
    g_pages.clear();
    dialog_ = FakeDialog();
    strcpy(request_->usbkey_min_version, c.min_version);
    EXPECT_EQ(c.code, usb(c.variant, "cert=" + cert_file() + ";key=" + key_file()));
    EXPECT_EQ(c.page ? std::vector<std::string>{kUsbPage} : std::vector<std::string>{}, g_pages);
    ASSERT_EQ(c.box != nullptr ? 1u : 0u, g_boxes.size());
    if (c.box != nullptr) {
      EXPECT_EQ(c.box, g_boxes[0].text);
    }
    EXPECT_EQ(c.suspended, dialog_.suspended);
    EXPECT_EQ(c.suspended, dialog_.resumed);
    const auto lines = log();
    if (!c.page) {
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ("usbkey detach", lines.back()) << "unloaded before the call returns";
    }
  }
}

// Only a module named by its full path is loaded: the default folder (the system folder, which
// holds none) and a relative folder open the install page without loading anything.
TEST_F(OutsideModules, UsbKeyModuleIsTakenByFullPathOnly) {
  for (const char *folder : {static_cast<const char *>(nullptr), "usbkey\\complete"}) {
    SCOPED_TRACE(folder != nullptr ? folder : "system folder");
    g_pages.clear();
    dialog_ = FakeDialog();
    v7::keyload::set_usbkey_module_folder(folder);
    set_env("V7_TEST_USBKEY", "cert=" + cert_file());
    EXPECT_EQ(v7::kErrModuleLoad, v7::keyload::LoadUbiKeyCertificate(&dialog_, record_, buffers_.get()));
    EXPECT_EQ(std::vector<std::string>{kUsbPage}, g_pages);
    EXPECT_TRUE(log().empty());
    EXPECT_TRUE(dialog_.events.empty());
  }
}

// ---- Phone ---------------------------------------------------------------------------------------

TEST_F(OutsideModules, PhoneValuesBecomeAStoredSignatureKeyAndTheDialogEnds) {
  ASSERT_EQ(0, phone("complete", "cert=" + cert_file()));
  EXPECT_EQ((std::vector<std::string>{"probe attach", "probe detach", "XcInitEx ca=(null) text=phone-text window=4660",
                                      "XcGetSignatureFirst mode=2 length=0 data=null extra=null window=4660",
                                      "XcClose code=0", "phone detach"}),
            log());
  EXPECT_EQ((std::vector<std::string>{"disable", "suspend", "enable", "resume", "hide tip", "ok"}), dialog_.events);
  EXPECT_TRUE(g_boxes.empty());
  PRIVATE_KEY_CTX *key = record_->sign_key;
  ASSERT_NE(nullptr, key);
  EXPECT_EQ(KEYOBJ_KIND_SIGNATURE, key->kind);
  EXPECT_EQ(fixture("signCert.der"), Bytes(key->cert_der, key->cert_der + key->cert_der_len));
  std::vector<uint8_t> vid(20), signature(256);
  for (size_t i = 0; i < vid.size(); i++) vid[i] = uint8_t(i * 7 + 2);
  for (size_t i = 0; i < signature.size(); i++) signature[i] = uint8_t(i * 7 + 3);
  EXPECT_EQ(vid, Bytes(key->buffer, key->buffer + key->buffer_len));
  EXPECT_EQ(signature, Bytes(key->signature, key->signature + key->signature_len));
}

TEST_F(OutsideModules, PhoneGetsTheAccreditedCaNamesWhenAsked) {
  request_->phone_gets_policies = 1;
  strcpy(request_->accepted_policies, "1.2.410.200005.1.1.1;1.2.410.200005.1.1.5");
  ASSERT_EQ(0, phone("complete", "cert=" + cert_file()));
  const auto lines = log();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(0u, lines[2].find("XcInitEx ca=")) << lines[2];
  EXPECT_EQ(std::string::npos, lines[2].find("ca=(null)")) << lines[2];
}

TEST_F(OutsideModules, PhoneFailuresAndBounds) {
  const std::string cert = "cert=" + cert_file();
  const std::string cert_message = "휴대폰으로부터 인증서를 전송받는데 실패하였습니다.";
  const std::string signature_message = "휴대폰으로부터 전자서명값을 전송받는데 실패하였습니다.";
  struct Case {
    std::string name, variant, min_version, script;
    int code;
    std::string box;  // empty: none
    unsigned flags;
    bool page, key, reaches_module;
  } cases[] = {
      {"cancelled on the phone", "complete", "", cert + ";init=-2007;initmsg=x", v7::kErrModuleLoad, "", 0, false,
       false, true},
      {"window closed", "complete", "", cert + ";init=-2029", v7::kErrModuleLoad, "", 0, false, false, true},
      {"init failure", "complete", "", cert + ";init=-5;initmsg=oops", v7::kErrModuleLoad,
       "Palmtrus Error (XcInitEx): oops (-5)", 0, false, false, true},
      {"signature failure", "complete", "", cert + ";sign=-7;signmsg=bad", v7::kErrModuleLoad,
       "Palmtrus Error (XcGetSignatureFirst): bad (-7)", 0, false, false, true},
      {"certificate of 4,097 bytes", "complete", "", "certlen=4097", v7::kErrInvalidMemoryAccess, cert_message,
       MB_ICONHAND, false, false, true},
      {"no certificate", "complete", "", "certlen=0", v7::kErrInvalidMemoryAccess, cert_message, MB_ICONHAND,
       false, false, true},
      {"signature of 1,025 bytes", "complete", "", cert + ";siglen=1025", v7::kErrInvalidMemoryAccess,
       signature_message, MB_ICONHAND, false, false, true},
      {"no signature", "complete", "", cert + ";siglen=0", v7::kErrInvalidMemoryAccess, signature_message,
       MB_ICONHAND, false, false, true},
      {"VID random past the dialog's buffer is left out", "complete", "", cert + ";vidlen=129", 0, "", 0, false,
       true, true},
      {"certificate that does not decode", "complete", "", "certlen=100", v7::kErrAsn1InvalidTag, cert_message,
       MB_ICONHAND, false, false, true},
      {"no phone relay installed", "absent", "", cert, v7::kErrModuleLoad, "", 0, true, false, false},
      {"probe older than asked", "complete", "2.0.0.2", cert, v7::kErrModuleLoad, "", 0, true, false, false},
      {"probe as new as asked", "complete", "2.0.0.1", cert, 0, "", 0, false, true, true},
      {"probe without a version, none asked", "noversion", "", cert, 0, "", 0, false, true, true},
      {"probe without a version", "noversion", "1.0", cert, v7::kErrModuleLoad, "", 0, true, false, false},
      {"module missing", "no_module", "", cert, v7::kErrModuleLoad,
       "[Palmtrus] 휴대폰 전자서명 라이브리러리 로드 실패", 0, false, false, true},
      {"no XcInitEx", "no_init", "", cert, v7::kErrModuleNoSymbol, "[Palmtrus] XcInitEx ProcAddress 로드 실패", 0,
       false, false, true},
      {"no XcClose", "no_close", "", cert, v7::kErrModuleNoSymbol, "[Palmtrus] XcClose ProcAddress 로드 실패", 0,
       false, false, true},
      {"no XcGetSignatureFirst", "no_sign", "", cert, v7::kErrModuleNoSymbol,
       "[Palmtrus] XcGetSignatureFirst ProcAddress 로드 실패", 0, false, false, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    g_boxes.clear();
    g_pages.clear();
    dialog_ = FakeDialog();
    keyobj_delete(record_->sign_key);
    record_->sign_key = nullptr;
    strcpy(request_->phone_min_version, c.min_version.c_str());
    EXPECT_EQ(c.code, phone(c.variant, c.script));
    EXPECT_EQ(c.page ? std::vector<std::string>{kPhonePage} : std::vector<std::string>{}, g_pages);
    ASSERT_EQ(c.box.empty() ? 0u : 1u, g_boxes.size());
    if (!c.box.empty()) {
      EXPECT_EQ(c.box, g_boxes[0].text);
      EXPECT_EQ(c.flags, g_boxes[0].flags);
    }
    EXPECT_EQ(c.key, record_->sign_key != nullptr);
    EXPECT_EQ(c.reaches_module ? 1 : 0, dialog_.suspended);
    EXPECT_EQ(dialog_.suspended, dialog_.resumed);
    if (c.reaches_module) {
      EXPECT_EQ("enable", dialog_.events.at(dialog_.events.size() - (c.key ? 4 : 3)));
      EXPECT_EQ(c.key ? "ok" : "hide tip", dialog_.events.back());
    } else {
      EXPECT_TRUE(dialog_.events.empty());
    }
    const auto lines = log();
    if (c.reaches_module && c.variant != "no_module") {
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ("phone detach", lines.back()) << "closed and unloaded before the call returns";
    }
  }
}

// The key objects hold a VID random value only up to their bound, however large the dialog's
// buffer is: a longer value that the buffer took is refused, never cut.
TEST_F(OutsideModules, PhoneVidRandomWithinTheKeyObjectsBound) {
  const std::string cert = "cert=" + cert_file();
  ASSERT_EQ(0, phone("complete", cert + ";vidlen=" + std::to_string(KEYOBJ_MAX_RANDOM)));
  ASSERT_NE(nullptr, record_->sign_key);
  EXPECT_EQ(KEYOBJ_MAX_RANDOM, record_->sign_key->buffer_len);
  if (KEYOBJ_MAX_RANDOM < v7::keyload::kPhoneVidRandomCapacity) {
    keyobj_delete(record_->sign_key);
    record_->sign_key = nullptr;
    g_boxes.clear();
    EXPECT_EQ(v7::kErrVidRandomTooLong, phone("complete", cert + ";vidlen=" + std::to_string(KEYOBJ_MAX_RANDOM + 1)));
    EXPECT_EQ(nullptr, record_->sign_key);
    ASSERT_EQ(1u, g_boxes.size());
  }
}

// Without ProgramFiles the folder is the Windows drive's "Program Files", which holds no phone
// relay here; a relative ProgramFiles is never searched.
TEST_F(OutsideModules, PhoneFolderWithoutOrWithARelativeProgramFiles) {
  for (const char *program_files : {"", "phone\\complete"}) {
    SCOPED_TRACE(program_files);
    g_pages.clear();
    dialog_ = FakeDialog();
    set_env("ProgramFiles", program_files);
    set_env("V7_TEST_PHONE", "cert=" + cert_file());
    EXPECT_EQ(v7::kErrModuleLoad, v7::keyload::LoadPhoneCertificate(&dialog_, record_, buffers_.get()));
    EXPECT_EQ(std::vector<std::string>{kPhonePage}, g_pages);
    EXPECT_TRUE(log().empty());
    EXPECT_TRUE(dialog_.events.empty());
  }
}

TEST_F(OutsideModules, NullArgumentsAreRefused) {
  EXPECT_EQ(v7::kErrInvalidParameter, v7::keyload::LoadUbiKeyCertificate(nullptr, record_, buffers_.get()));
  EXPECT_EQ(v7::kErrInvalidParameter, v7::keyload::LoadPhoneCertificate(&dialog_, nullptr, buffers_.get()));
  record_->request = nullptr;
  EXPECT_EQ(v7::kErrInvalidParameter, v7::keyload::LoadPhoneCertificate(&dialog_, record_, buffers_.get()));
  EXPECT_TRUE(dialog_.events.empty());
}

}  // namespace
