// The removable drive the Wine prefix presents to the removable-disk tests: its type, its label,
// its files, and that it is gone again afterwards.
#include "tests/harness/removable_drive.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

UINT drive_type(char letter) {
  wchar_t root[] = L"?:\\";
  root[0] = wchar_t(letter);
  return GetDriveTypeW(root);
}

TEST(RemovableDrive, IsRemovableWithItsLabelAndGoneAfterwards) {
  char letter = 0;
  std::string folder;
  {
    v7test::RemovableDrive drive('R', "V7 DISK");
    ASSERT_TRUE(drive.ok()) << drive.error();
    letter = drive.letter();
    folder = drive.folder();
    EXPECT_EQ(letter, 'R');
    EXPECT_EQ(drive.drive(), "R:");
    EXPECT_EQ(drive_type(letter), UINT(DRIVE_REMOVABLE));
    EXPECT_NE(GetLogicalDrives() & (1u << (letter - 'A')), 0u);
    wchar_t label[MAX_PATH + 1] = {};
    DWORD serial = 0;
    ASSERT_TRUE(GetVolumeInformationW(L"R:\\", label, MAX_PATH + 1, &serial, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(std::wstring(label), L"V7 DISK");
    // Files written on the drive land in its folder.
    ASSERT_TRUE(CreateDirectoryA("R:\\NPKI", nullptr));
    FILE *f = fopen("R:\\NPKI\\probe.der", "wb");
    ASSERT_NE(f, nullptr);
    fputs("x", f);
    fclose(f);
    EXPECT_NE(GetFileAttributesA((folder + "\\NPKI\\probe.der").c_str()), INVALID_FILE_ATTRIBUTES);
    // Names outside every ANSI code page go with the drive too.
    ASSERT_TRUE(CreateDirectoryW(L"R:\\NPKI\\\uD64D\uAE38\uB3D9", nullptr));
  }
  EXPECT_EQ(drive_type(letter), UINT(DRIVE_NO_ROOT_DIR));
  EXPECT_EQ(GetLogicalDrives() & (1u << (letter - 'A')), 0u);
  EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(RemovableDrive, PicksAFreeLetterAndRefusesOthers) {
  v7test::RemovableDrive first;
  ASSERT_TRUE(first.ok()) << first.error();
  v7test::RemovableDrive second;
  ASSERT_TRUE(second.ok()) << second.error();
  EXPECT_NE(first.letter(), second.letter());
  EXPECT_EQ(drive_type(second.letter()), UINT(DRIVE_REMOVABLE));
  v7test::RemovableDrive bad('7');
  EXPECT_FALSE(bad.ok());
  EXPECT_EQ(bad.error(), "not a drive letter");
}

}  // namespace
