// The module strategy: the keyboard-security module, loaded by full path while any thread has a
// context, one context per thread counted by Init and Term, and the protected read through the
// module's message.
#include <algorithm>
#include <cstring>

#include "crypto/base/wipe.h"
#include "pki/text/codepage.h"
#include "pki/text/strings.h"
#include "platform/errors/error_codes.h"
#include "wizard/keycrypt/internal.h"
#include "wizard/keycrypt/key_crypt_sub.h"

namespace v7 {
namespace keycrypt {
namespace {

// Built with the library, so it exists before any owner can call and lives until the library goes.
KeyCryptGlobals g_keycrypt;

std::wstring module_path_locked(const KeyCryptGlobals &g) {
  std::wstring folder = g.module_folder;
  if (folder.empty()) {
    wchar_t system[MAX_PATH] = {};
    UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    if (n > 0 && n < MAX_PATH) folder.assign(system, n);
  }
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder + g.module_file_name;
}

void forget_module_locked(KeyCryptGlobals &g) {
  g.module = nullptr;
  g.init_ckapp = nullptr;
  g.set_ckapp_flag = nullptr;
  g.exit_ckapp = nullptr;
}

bool load_module_locked(KeyCryptGlobals &g) {
  std::wstring path = module_path_locked(g);
  // A bare name would follow the search order (the host program's folder first).
  if (path.find(L'\\') == std::wstring::npos) return false;
  HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) return false;
  g.module = module;
  g.init_ckapp = reinterpret_cast<InitCKAppExFn>(reinterpret_cast<void *>(::GetProcAddress(module, "InitCKAppEx")));
  g.set_ckapp_flag =
      reinterpret_cast<SetCKAppFlagFn>(reinterpret_cast<void *>(::GetProcAddress(module, "SetCKAppFlag")));
  g.exit_ckapp = reinterpret_cast<ExitCKAppExFn>(reinterpret_cast<void *>(::GetProcAddress(module, "ExitCKAppEx")));
  if (g.init_ckapp != nullptr && g.set_ckapp_flag != nullptr && g.exit_ckapp != nullptr) return true;
  ::FreeLibrary(module);
  forget_module_locked(g);
  return false;
}

// The module's mapped image, from its own headers.
bool image_contains(HMODULE module, const void *address) {
  const auto *base = reinterpret_cast<const uint8_t *>(module);
  const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
  const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return false;
  const auto *p = static_cast<const uint8_t *>(address);
  return p >= base && p < base + nt->OptionalHeader.SizeOfImage;
}

// True when the window still runs a window procedure of the module: the module failed to undo its
// subclass, and unmapping it would leave the window calling into nothing.
bool runs_module_code(const KeyCryptGlobals &g, const HandleWrapper &entry) {
  HWND window = HWND(const_cast<void *>(entry.window));
  if (g.module == nullptr || !::IsWindow(window)) return false;
  LONG_PTR proc = ::IsWindowUnicode(window) ? ::GetWindowLongPtrW(window, GWLP_WNDPROC)
                                            : ::GetWindowLongPtrA(window, GWLP_WNDPROC);
  return image_contains(g.module, reinterpret_cast<const void *>(proc));
}

bool module_still_subclasses_locked(const KeyCryptGlobals &g) {
  for (const HandleList *list : {&g.active, &g.suspended}) {
    for (const HandleWrapper &entry : *list) {
      if (runs_module_code(g, entry)) return true;
    }
  }
  return false;
}

int acquire_context(DWORD thread_id) {
  KeyCryptGlobals &g = g_keycrypt;
  CriticalSectionLock lock(g.section_a);
  if (g.module == nullptr && !load_module_locked(g)) return -1;
  auto found = g.contexts.find(thread_id);
  if (found != g.contexts.end()) {
    ++found->second->use_count;
    return 0;
  }
  auto *context = new CCKAppCtxWrapper{};
  const uint32_t size = kCKAppBlockSize;
  std::memcpy(context->block, &size, sizeof size);
  context->use_count = 1;
  g.init_ckapp(context->block);
  g.set_ckapp_flag(context->block, nullptr, kCKAppFlagThread, 1);
  g.contexts[thread_id] = context;
  return 0;
}

void release_context(DWORD thread_id) {
  KeyCryptGlobals &g = g_keycrypt;
  CriticalSectionLock lock(g.section_a);
  auto found = g.contexts.find(thread_id);
  if (found == g.contexts.end()) return;
  CCKAppCtxWrapper *context = found->second;
  if (--context->use_count >= 1) return;
  // The module gives back its subclasses of this thread's edits here, before it may be unmapped.
  g.exit_ckapp(context->block);
  g.contexts.erase(found);
  secure_wipe(context, sizeof *context);
  delete context;
  // The thread's windows are forgotten, except those the module still holds: they keep the module
  // mapped until they are released or destroyed.
  g.active.erase(std::remove_if(g.active.begin(), g.active.end(),
                                [&g, thread_id](const HandleWrapper &entry) {
                                  return entry.thread_id == thread_id && !runs_module_code(g, entry);
                                }),
                 g.active.end());
  if (g.contexts.empty() && !module_still_subclasses_locked(g)) {
    ::FreeLibrary(g.module);
    forget_module_locked(g);
  }
}

void protect_window(HWND window, DWORD thread_id) {
  KeyCryptGlobals &g = g_keycrypt;
  CriticalSectionLock lock(g.section_a);
  if (g.set_ckapp_flag != nullptr) {
    auto found = g.contexts.find(thread_id);
    g.set_ckapp_flag(found == g.contexts.end() ? nullptr : found->second->block, window, kCKAppFlagProtectEdit, 1);
  }
  add_protected_window(g.active, HandleWrapper{window, thread_id});
}

// The buffer the module writes a read into. The request carries its address in 32 bits, so in a
// 64-bit process it is committed below 4 GiB; a 32-bit process can use any memory.
class ReadOutput {
 public:
  ReadOutput() {
#ifdef _WIN64
    data_ = static_cast<uint8_t *>(allocate_below_4gib());
#else
    data_ = local_;
#endif
    if (data_ != nullptr) std::memset(data_, 0, kCKAppOutputSize);
  }
  ~ReadOutput() {
    if (data_ == nullptr) return;
    secure_wipe(data_, kCKAppOutputSize);
#ifdef _WIN64
    ::VirtualFree(data_, 0, MEM_RELEASE);
#endif
  }
  ReadOutput(const ReadOutput &) = delete;
  ReadOutput &operator=(const ReadOutput &) = delete;

  uint8_t *data() const { return data_; }
  uint32_t address() const { return uint32_t(reinterpret_cast<uintptr_t>(data_)); }

 private:
#ifdef _WIN64
  // Walks the free regions below 4 GiB and commits one page in the first that takes it.
  static void *allocate_below_4gib() {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    const uintptr_t granularity = info.dwAllocationGranularity;
    const uintptr_t limit = uintptr_t(1) << 32;
    const uintptr_t size = info.dwPageSize;
    uintptr_t address = granularity;
    MEMORY_BASIC_INFORMATION region;
    while (address + size <= limit &&
           ::VirtualQuery(reinterpret_cast<void *>(address), &region, sizeof region) == sizeof region) {
      uintptr_t end = uintptr_t(region.BaseAddress) + region.RegionSize;
      if (region.State == MEM_FREE) {
        uintptr_t base = (address + granularity - 1) / granularity * granularity;
        if (base + size <= end && base + size <= limit) {
          // Another thread may take the region between the query and this call: go on looking.
          void *p = ::VirtualAlloc(reinterpret_cast<void *>(base), size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
          if (p != nullptr) return p;
        }
      }
      if (end <= address) break;
      address = end;
    }
    return nullptr;
  }
#else
  uint8_t local_[kCKAppOutputSize];
#endif
  uint8_t *data_ = nullptr;
};

}  // namespace

KeyCryptGlobals::KeyCryptGlobals() {
  ::InitializeCriticalSection(&section_a);
  ::InitializeCriticalSection(&section_b);
}

KeyCryptGlobals::~KeyCryptGlobals() {
  for (auto &entry : contexts) {
    secure_wipe(entry.second, sizeof *entry.second);
    delete entry.second;
  }
  contexts.clear();
  suspended_counts.clear();
  active.clear();
  suspended.clear();
  // A module still loaded here stays mapped: its windows may outlive the library, and unloading
  // from inside the loader's lock is unsafe besides.
  ::DeleteCriticalSection(&section_b);
  ::DeleteCriticalSection(&section_a);
}

KeyCryptGlobals &keycrypt_globals() { return g_keycrypt; }

void KeyCryptSetModuleFolder(const wchar_t *folder) {
  CriticalSectionLock lock(g_keycrypt.section_a);
  g_keycrypt.module_folder = folder != nullptr ? folder : L"";
}

std::wstring KeyCryptModulePath() {
  CriticalSectionLock lock(g_keycrypt.section_a);
  return module_path_locked(g_keycrypt);
}

CKeyCryptSub_SOFO::~CKeyCryptSub_SOFO() { Term(); }

int CKeyCryptSub_SOFO::Init() {
  // A second Init of one strategy counts once: Term gives back one context.
  if (holds_context_) return 0;
  DWORD thread_id = ::GetCurrentThreadId();
  if (acquire_context(thread_id) != 0) return -1;
  holds_context_ = true;
  thread_id_ = thread_id;
  return 0;
}

void CKeyCryptSub_SOFO::Term() {
  if (!holds_context_) return;
  holds_context_ = false;
  release_context(thread_id_);
}

int CKeyCryptSub_SOFO::Protect(HWND window) {
  protect_window(window, ::GetCurrentThreadId());
  return 1;
}

void CKeyCryptSub_SOFO::Suspend() {
  KeyCryptGlobals &g = g_keycrypt;
  CriticalSectionLock lock_b(g.section_b);
  DWORD thread_id = ::GetCurrentThreadId();
  int32_t n = -1;
  {
    CriticalSectionLock lock_a(g.section_a);
    move_thread_windows(g.active, g.suspended, thread_id);
    auto found = g.contexts.find(thread_id);
    if (found != g.contexts.end()) n = found->second->use_count;
    g.suspended_counts[thread_id] = n;
  }
  for (int32_t i = 0; i < n; ++i) release_context(thread_id);
}

void CKeyCryptSub_SOFO::Resume() {
  KeyCryptGlobals &g = g_keycrypt;
  CriticalSectionLock lock_b(g.section_b);
  DWORD thread_id = ::GetCurrentThreadId();
  int32_t n = -1;
  HandleList windows;
  {
    CriticalSectionLock lock_a(g.section_a);
    auto found = g.suspended_counts.find(thread_id);
    if (found != g.suspended_counts.end()) {
      n = found->second;
      // A second Resume must not add the same contexts again.
      g.suspended_counts.erase(found);
    }
    for (const HandleWrapper &entry : g.suspended) {
      if (entry.thread_id == thread_id) windows.push_back(entry);
    }
  }
  for (int32_t i = 0; i < n; ++i) {
    if (acquire_context(thread_id) != 0) break;
  }
  for (const HandleWrapper &entry : windows) protect_window(HWND(const_cast<void *>(entry.window)), thread_id);
  CriticalSectionLock lock_a(g.section_a);
  move_thread_windows(g.suspended, g.active, thread_id);
}

int CKeyCryptSub_SOFO::ReadTextW(HWND window, wchar_t *buffer, int count, int *code) {
  *code = 0;
  if (count <= 0 || buffer == nullptr) return 0;
  buffer[0] = 0;
  uint8_t block[kCKAppBlockSize];
  {
    KeyCryptGlobals &g = g_keycrypt;
    CriticalSectionLock lock(g.section_a);
    auto found = g.contexts.find(::GetCurrentThreadId());
    if (found == g.contexts.end()) return 0;
    std::memcpy(block, found->second->block, sizeof block);
  }
  ReadOutput output;
  if (output.data() == nullptr) {
    secure_wipe(block, sizeof block);
    *code = kErrOutOfMemory;
    return 0;
  }
  uint8_t request[kCKAppBlockSize];
  build_read_request(request, block, output.address(), uint32_t(count));
  LRESULT result = ::SendMessageA(window, kCKAppReadMessage, kCKAppBlockSize, reinterpret_cast<LPARAM>(request));
  secure_wipe(request, sizeof request);
  secure_wipe(block, sizeof block);

  char16_t *wide = nullptr;
  if (module_output_length(output.data()) < 0) {
    *code = kErrInsufficientBuffer;
  } else {
    *code = setting_to_wide(reinterpret_cast<const char *>(output.data()), &wide);
  }
  if (*code == 0) {
    size_t length = 0;
    while (wide[length] != 0) ++length;
    if (wide_text_fits(length, size_t(count))) {
      std::memcpy(buffer, wide, (length + 1) * sizeof(wchar_t));
    } else {
      *code = kErrInsufficientBuffer;
    }
  }
  wstr_wipe_free(wide);
  return *code == 0 ? int(result) : 0;
}

}  // namespace keycrypt
}  // namespace v7
