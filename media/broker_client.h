// The protected-mode broker client: inside the browser's protected mode the library may not write
// the user's normal folders, so it asks the broker, an out-of-process server with the user's
// normal rights, to make folders, write certificate files and let the user choose a file. Every
// path, file content and start folder is sealed first (crypto/seal/seal.h), so the broker can
// refuse data this library did not make.
//
// The functions return 0 or a code (also left in errno): kErrInvalidParameter bad argument or empty
// path, kErrBrokerPath a path the broker may not receive, kErrBrokerCreate no broker,
// kErrBrokerBrowse / kErrBrokerWrite / kErrBrokerMakeDir the file choice / the write / the folder
// creation failed, kErrUserCancelled the user cancelled the choice; sealing codes pass on.
#pragma once

#include <cstddef>
#include <cstdint>

class FileBroker;

// The broker's answers: a result word, or a negative HRESULT when the call itself failed.
enum : int32_t { kBrokerResultOk = 32811, kBrokerResultCancelled = 21500 };

// The broker's interface as the client sees it, in its table order: method 7 makes a folder,
// method 11 writes a file, method 13 lets the user choose a file. The sealed blobs travel as byte
// strings; the window is the active window that owns the broker's dialogs.
class BrokerConnection {
 public:
  // Method 7.
  virtual int32_t make_dir(const uint8_t *sealed_path, size_t path_len) = 0;
  // Method 11.
  virtual int32_t write_file(const uint8_t *sealed_path, size_t path_len, const uint8_t *sealed_data,
                             size_t data_len, void *window) = 0;
  // Method 13. On success *chosen is a new terminated wide text (malloc), or null when the broker
  // returned none.
  virtual int32_t browse_file(char16_t **chosen, const uint8_t *sealed_folder, size_t folder_len,
                              void *window) = 0;
  // Drops the client's reference; the object must not be used afterwards.
  virtual void release() = 0;

 protected:
  ~BrokerConnection() = default;
};

// Creates the broker through the elevation moniker; an HRESULT (negative on failure, with the
// platform's last error in *last_error). Test code may swap it (see broker_set_factory).
typedef int32_t (*BrokerFactory)(void *owner_window, BrokerConnection **out, uint32_t *last_error);

// Makes the process-wide broker unless it exists: 0, or the factory's HRESULT after the platform
// error box has shown it. A failed creation is tried again on the next call.
int32_t broker_create(void *owner_window);

int broker_make_dir(const char16_t *path);
// Only certificate files (der, key, crl, stl, pfx, p12) may be written.
int broker_write_file(const char16_t *path, const uint8_t *data, size_t length);
// The start folder is the user's documents folder. On success *path is a new wide text (free).
int broker_browse_file(char16_t **path);

// Releases the broker. The library calls it while COM is still initialised (before the host's
// CoUninitialize, never from a static destructor under the loader lock); later calls create a
// new one. Safe to call when there is none.
void broker_release();

// The file utilities' route to this client (pki/text/file_broker.h): register it with
// set_file_broker at start.
FileBroker *broker_file_broker();

// Test seam, set by test code only: the factory that makes the broker; null restores the
// platform's (the elevation moniker on Windows, none elsewhere). Releases a broker made earlier.
void broker_set_factory(BrokerFactory factory);

// The platform's factory.
int32_t broker_platform_factory(void *owner_window, BrokerConnection **out, uint32_t *last_error);
// The window that owns the broker's dialogs (GetActiveWindow; null elsewhere).
void *broker_active_window();
