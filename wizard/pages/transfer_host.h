// What a page of the transfer wizard asks of the sheet it is on: the transfer's mode word and the
// start of the transfer with the text the page collected. The transfer wizard's sheet is the
// host; a test may stand in for it.
#pragma once

#include <cstdint>

namespace v7 {
namespace pages {

class CTransferHost {
 public:
  virtual ~CTransferHost() = default;
  // The sheet's RelayModeWord.
  virtual uint32_t ModeWord() const = 0;
  // Connects and starts the worker with the page's text; 0, or -1 with the reason left in the
  // session controller's error text (which the status page shows).
  virtual int StartTransfer(const wchar_t *text) = 0;
};

}  // namespace pages
}  // namespace v7
