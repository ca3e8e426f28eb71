// A stand-in for the protected-mode broker, for tests only. The real broker is an elevated
// out-of-process COM server that cannot be started here (the elevation moniker fails under Wine,
// and there is no COM natively), so the broker factory seam hands the client this in-process
// object instead. Like the real one it opens every blob it receives with seal_open, refuses what
// does not open, and then really makes the folder or writes the file, so a test sees the client's
// whole path: sealing, the method calls and their results.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/broker_client.h"

class StandinBroker : public BrokerConnection {
 public:
  int32_t make_dir(const uint8_t *sealed_path, size_t path_len) override;
  int32_t write_file(const uint8_t *sealed_path, size_t path_len, const uint8_t *sealed_data, size_t data_len,
                     void *window) override;
  int32_t browse_file(char16_t **chosen, const uint8_t *sealed_folder, size_t folder_len,
                      void *window) override;
  void release() override { released++; }

  // What it was asked, opened.
  std::vector<std::u16string> dirs, written, browsed;
  std::vector<uint8_t> last_data;
  int calls = 0, released = 0;
  // When force is set, every method answers forced_word instead of doing its work (a failure, a
  // COM error, or 0, which only the folder creation takes as success).
  bool force = false;
  int32_t forced_word = 0;
  // The file choice: the chosen path, or empty to act as if the user closed the dialog.
  std::u16string choice;
  // Where a path that begins with a separator lies (the broker's own root); empty: as it stands.
  std::u16string root;
};

// The factory seam's side: hands out the one stand-in and counts the creations; fail makes the
// next creations fail with the HRESULT the elevation moniker gives under Wine.
struct StandinFactory {
  static StandinBroker broker;
  static int created;
  static bool fail;
  static int32_t make(void *owner, BrokerConnection **out, uint32_t *last_error);
};
