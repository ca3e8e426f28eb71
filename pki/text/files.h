// Whole-file reading and writing, existence tests and folder creation by narrow, wide or UTF-8
// path. Narrow paths are in the encoding that CharEncodingMode names, for every operation alike;
// a write the process may not make itself (protected mode, Vista and later) goes to the broker
// (pki/text/file_broker.h).
//
// Paths hold at most kWidePathCapacity - 1 characters; a longer one fails with kErrInvalidParameter
// rather than being cut.
#pragma once

#include <cstddef>
#include <cstdint>

// The whole file into a new buffer (release with free) and its size. 0 with errno
// kErrInvalidParameter (bad arguments), kErrFileOpen (exists but cannot be opened),
// kErrFileNotFound (does not exist), kErrFileRead (read failure), kErrOutOfMemory, or the path's
// conversion code. An empty file gives 0, no buffer and errno 0.
size_t file_read_all(const char *path, uint8_t **buffer);
size_t file_read_all_w(const char16_t *path, uint8_t **buffer);
size_t file_read_all_utf8(const char *path, uint8_t **buffer);

// Replaces the file with the data (a failed write leaves the old file in place); returns length. On
// failure 0 with errno kErrInvalidParameter, kErrFileOpen (cannot create), kErrFileWrite (short
// write) or the broker's code.
size_t file_write_all(const char *path, const uint8_t *data, size_t length);
size_t file_write_all_w(const char16_t *path, const uint8_t *data, size_t length);
size_t file_write_all_utf8(const char *path, const uint8_t *data, size_t length);

// 1 when a file or folder of that name exists, else 0.
int file_exists(const char *path);
int file_exists_w(const char16_t *path);
int file_exists_utf8(const char *path);

// Removes a file the process may write itself: 1 when it is gone (or never was), else 0. The
// broker cannot remove, so a path only it may write gives 0 with kErrBrokerPath.
int file_remove(const char *path);

// Overwrites a file the process may write itself with zeros in place (platform_fs_overwrite), and
// removes an empty folder: 1 when done (or there was nothing), else 0; a path only the broker may
// write gives 0 with kErrBrokerPath.
int file_overwrite(const char *path);
int dir_remove(const char *path);

// One folder, or a folder with all its missing parents: 1 on success or when it already exists.
int make_dir(const char *path);
int make_dir_w(const char16_t *path);
int make_dir_utf8(const char *path);
int make_dirs(const char *path);
int make_dirs_w(const char16_t *path);
int make_dirs_utf8(const char *path);

// How a narrow path is opened: 1 the narrow API with the path as it stands, 2 the wide API with
// the converted path in `wide`, 3 the converted path in `wide` must be written through the broker.
// -1 with errno kErrInvalidParameter for bad arguments or a path too long for the capacity.
enum : int { kPathNarrow = 1, kPathWide = 2, kPathBroker = 3 };
int path_to_wide_kind(const char *path, char16_t *wide, size_t capacity);
int path_to_wide_kind_utf8(const char *path, char16_t *wide, size_t capacity);

// 1 when the process may write the path itself, 0 when it must ask the broker.
int is_direct_write_path(const char *path);
int is_direct_write_path_utf8(const char *path);
int is_direct_write_path_w(const char16_t *path);

// 0 (the system's ANSI code page) for a Korean user interface or the 9x family, else 51949.
unsigned path_code_page();
