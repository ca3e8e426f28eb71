// The library folders' texts as they are built, shared with their tests.
#pragma once

#include <cstddef>

#include "platform/fs/library_folders.h"

namespace v7 {

// One encoding's folder texts, each empty when it cannot be built.
template <typename Char>
struct FolderTexts {
  Char user_base[kFolderTextCapacity];
  Char npki[kFolderTextCapacity];
  Char program_files_npki[kFolderTextCapacity];
  Char program_files[kFolderTextCapacity];
  Char kisa[kFolderTextCapacity];
  Char lib_data[kFolderTextCapacity];
};

// Builds the texts now from the OS generation code and the platform's narrow or wide folder
// queries; the cached forms are made by these once.
void build_folder_texts(FolderTexts<char> *out);
void build_folder_texts(FolderTexts<char16_t> *out);
// The UTF-8 forms of wide texts; a text whose UTF-8 form does not fit is empty.
void folder_texts_to_utf8(const FolderTexts<char16_t> &wide, FolderTexts<char> *out);

}  // namespace v7
