// The seams that point the session controller at the test relay server, for the tests that run
// whole transfers through it: a fixed Windows version, no registry settings (the flag's transport,
// probed once), the test validation cache and the listeners' ports; and their release.
#pragma once

#include <winsock2.h>  // before any windows.h, which it brings in

#include <cstdio>

#include "platform/osver/os_version_query.h"
#include "relay/controller/controller.h"
#include "tests/relay/controller/fake_sheet.h"
#include "tests/relay/steps/steps_test_util.h"

namespace controllertest {

inline void use_test_relayd() {
  platform_set_os_version_hook([](OsVersionRecord *out) { return *out = {2, 6, 1}, true; });
  RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\AppDataLow\\Software\\TAVN\\velmora7\\velmoraRelay");
  relay_controller_set_session_hook([](RelaySession *s) {
    snprintf(s->validation->cert_dir, sizeof s->validation->cert_dir, "%s", stepstest::kCertDir);
  });
  relay_controller_set_ports(port("pair"), port("pair_http"));
}

inline void release_test_relayd() {
  relay_controller_set_session_hook(nullptr);
  relay_controller_set_ports(0, 0);
  platform_set_os_version_hook(nullptr);
}

}  // namespace controllertest
