#pragma once
// Powering the computer off or restarting it through systemd-logind.

namespace mivora {

enum class PowerAction { PowerOff = 0, Reboot = 1 };

// Asks logind (over the system bus, via busctl) to power off or reboot
// without asking other sessions. Returns whether the request was handed to
// logind; the caller does not report a failure.
bool RequestPowerAction(PowerAction action);

}  // namespace mivora
