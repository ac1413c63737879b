#pragma once
// The radio node's part of quillmere --check (app/config_check.h): its squelch and PTT lines probed without being
// opened, what would become of JACK, and the devices this machine has.
#include "app/config_check.h"
#include "radio/device_inventory.h"
#include "radio/radio_settings.h"

namespace qm::radio {

using qm::CheckReport;

void checkRadio(const RadioSettings& settings, const DeviceInventory& inventory, CheckReport& report);

}  // namespace qm::radio
