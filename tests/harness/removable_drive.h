// A removable drive presented by the Wine prefix, for the tests of the removable-disk media: a
// drive letter that GetDriveType reports as DRIVE_REMOVABLE, whose volume carries a label, backed
// by a fresh folder of its own. Made when the object is built and removed (with the folder and
// all that the test wrote into it) when it is destroyed, so each test gets its own drive.
//
// Wine's mount manager defines the drive live (the same request its configuration tool sends), so
// no restart of the prefix is needed and tests running at the same time keep working; tests that
// run in parallel in one prefix must use different letters. Windows itself has no such request:
// there ok() is false and the test should skip.
#pragma once

#include <string>

namespace v7test {

class RemovableDrive {
 public:
  // letter: 'A' to 'Z', or 0 for the last free letter from 'Y' down. label: at most 11 characters.
  explicit RemovableDrive(char letter = 0, const char *label = "V7TEST");
  ~RemovableDrive();
  RemovableDrive(const RemovableDrive &) = delete;
  RemovableDrive &operator=(const RemovableDrive &) = delete;

  bool ok() const { return letter_ != 0; }
  // Why the drive could not be made (empty when ok()).
  const std::string &error() const { return error_; }
  char letter() const { return letter_; }
  // "X:" and "X:\".
  std::string drive() const { return std::string(1, letter_) + ":"; }
  std::string root() const { return drive() + "\\"; }
  // The backing folder in its Windows spelling (beside the drive, for checks that bypass it).
  const std::string &folder() const { return folder_; }

 private:
  char letter_ = 0;
  std::string folder_;
  std::string error_;
};

}  // namespace v7test
