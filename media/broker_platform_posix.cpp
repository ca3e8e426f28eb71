// Without Windows there is no protected mode and no broker to create.
#include "media/broker_client.h"

int32_t broker_platform_factory(void *, BrokerConnection **out, uint32_t *last_error) {
  *out = nullptr;
  *last_error = 0;
  return int32_t(0x80040154);  // REGDB_E_CLASSNOTREG
}

void *broker_active_window() { return nullptr; }
