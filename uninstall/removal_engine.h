// The removal in its four steps (download cache, modules, ActiveX files, the rest), over the few
// things it asks of the machine and of the user. The dialog gives it the real machine and shows
// what it reports; the tests give it a machine of their own.
#pragma once

#include <string>
#include <vector>

#include "uninstall/removal_rules.h"

namespace v7 {
namespace uninstall {

enum class RegistryRoot { kClassesRoot, kLocalMachine };

struct FolderEntry {
  std::u16string name;
  EntryKind kind;
};

class RemovalSystem {
 public:
  virtual ~RemovalSystem() = default;

  // The user: a notice with OK, and a question answered Yes (true) or No.
  virtual void Inform(const std::u16string &text) = 0;
  virtual bool AskYesNo(const std::u16string &text) = 0;

  // What the user sees: the whole status text (shown at once), a step's icon (steps 1 to 4),
  // the wait cursor.
  virtual void ShowStatus(const std::u16string &status) = 0;
  virtual void ShowStep(int step, bool done) = 0;
  virtual void SetBusy(bool busy) = 0;

  virtual bool QueryFolders(PlatformFolders *out) = 0;

  // The entries of a folder ("\"-terminated); false when it cannot be listed.
  virtual bool ListFolder(const std::u16string &folder, std::vector<FolderEntry> *entries) = 0;
  // Deletes one file; whether it worked is asked through Exists afterwards.
  virtual void RemoveFile(const std::u16string &path) = 0;
  // True unless the file is known not to exist (an unanswered query counts as existing).
  virtual bool Exists(const std::u16string &path) = 0;
  // Loads the module and calls its DllUnregisterServer when it has one; nothing when it does not
  // load. Its result is not told: what it leaves behind is looked at instead.
  virtual void Unregister(const std::u16string &path) = 0;

  virtual bool KeyExists(RegistryRoot root, const std::u16string &key) = 0;
  // A string value of the key (empty name: the default value); false when there is none.
  virtual bool ReadString(RegistryRoot root, const std::u16string &key, const std::u16string &name,
                          std::u16string *value) = 0;
  // Deletes the key with its sub-keys; true when it is gone afterwards.
  virtual bool RemoveKeyTree(RegistryRoot root, const std::u16string &key) = 0;
};

enum class RemovalOutcome {
  kDeclined,   // the user said No: nothing was touched
  kCompleted,  // every step done
  kFailed,     // a step failed; failed_step() tells which, later steps were not run
};

class RemovalEngine {
 public:
  RemovalEngine(RemovalSystem &system, FileLists lists) : system_(system), lists_(std::move(lists)) {}

  // Never throws: a step that throws ends the removal as failed at that step.
  RemovalOutcome Run();

  const std::u16string &status() const { return status_; }
  int failed_step() const { return failed_step_; }

 private:
  // Whether the folder's parent lists it as a folder and not as a link: the scan starts only in
  // a cache that is not a link to somewhere else.
  RemovalOutcome RunSteps();
  bool IsPlainFolder(const std::u16string &folder);
  bool ScanCache(const std::u16string &folder, int depth);
  bool Delete(const std::u16string &path);
  bool ClearControlRegistration();
  bool RemoveUninstallEntry();
  bool DeleteKey(RegistryRoot root, const std::u16string &key);
  RemovalOutcome Fail(int step);
  void Show() { system_.ShowStatus(status_); }

  RemovalSystem &system_;
  FileLists lists_;
  MachineFolders folders_;
  std::u16string status_;
  int failed_step_ = 0;
  int step_ = 0;  // the step under way
};

// The uninstaller's text of string id `id` as wide text (empty when the table has none).
std::u16string Text(unsigned id);

}  // namespace uninstall
}  // namespace v7
