#include "radio/device_inventory.h"

#include <gpiod.h>
#include <jack/jack.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <system_error>

namespace qm::radio {
namespace fs = std::filesystem;
namespace {

std::string readLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// Device files whose names start with one of `prefixes`, in natural order (ttyS2 before ttyS10).
std::vector<std::string> devicesNamed(const fs::path& dev, std::initializer_list<const char*> prefixes) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dev, ec)) {
    const std::string name = entry.path().filename().string();
    for (const char* prefix : prefixes) {
      if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const auto digits = [](const std::string& s) { return s.find_first_of("0123456789"); };
    const std::size_t da = digits(a), db = digits(b);
    if (da != std::string::npos && db != std::string::npos && a.compare(0, da, b, 0, db) == 0)
      return std::stoul(a.substr(da)) < std::stoul(b.substr(db));
    return a < b;
  });
  return names;
}

template <typename T, typename F>
std::string describe(const std::vector<T>& items, const char* none, const char* some, F one) {
  if (items.empty()) return none;
  std::string text = some;
  for (std::size_t i = 0; i < items.size(); ++i) text += (i == 0 ? " " : ", ") + one(items[i]);
  return text;
}

std::string hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value & 0xffff);
  return text;
}

}  // namespace

std::string cm108ChipName(unsigned vendor, unsigned product) {
  if (vendor == 0x0d8c) {
    switch (product) {
      case 0x0008:
      case 0x000c:
        return "CM108";
      case 0x013c:
        return "CM108AH";
      case 0x0012:
        return "CM108B";
      case 0x000e:
        return "CM109";
      case 0x013a:
        return "CM119";
      case 0x0013:
        return "CM119A";
      case 0x0139:
        return "CM119B";
      default:
        return "";
    }
  }
  // SSS chips with the same GPIO report, and the AIOC that copies it.
  if (vendor == 0x0c76 && (product == 0x1605 || product == 0x1607 || product == 0x160b)) return "SSS1621/1623";
  if (vendor == 0x1209 && product == 0x7388) return "AIOC";
  return "";
}

std::vector<SoundCard> listSoundCards(const InventoryRoots& roots) {
  // /proc/asound/cards: " 0 [PCH            ]: HDA-Intel - HDA Intel PCH", then a line of detail.
  std::vector<SoundCard> cards;
  std::ifstream in(roots.proc / "asound" / "cards");
  static const std::regex head(R"(^\s*(\d+)\s+\[(\S+)\s*\]:\s*(.*?)\s*$)");
  std::string line;
  std::smatch match;
  while (std::getline(in, line)) {
    if (std::regex_match(line, match, head)) cards.push_back({std::stoi(match[1]), match[2], match[3]});
  }
  return cards;
}

std::vector<SerialPort> listSerialPorts(const InventoryRoots& roots) {
  std::vector<SerialPort> ports;
  for (const std::string& name : devicesNamed(roots.dev, {"ttyS", "ttyUSB", "ttyACM", "ttyAMA"})) {
    // The 8250 driver makes ttyS0..31 whether or not a UART is there; type 0 is none.
    if (name.rfind("ttyS", 0) == 0) {
      const std::string type = readLine(roots.sys / "class" / "tty" / name / "type");
      if (type == "0") continue;
    }
    ports.push_back({(roots.dev / name).string(), ""});
  }
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(roots.dev / "serial" / "by-id", ec)) {
    std::error_code linkError;
    const fs::path target = fs::weakly_canonical(entry.path().parent_path() / fs::read_symlink(entry, linkError));
    if (linkError) continue;
    for (SerialPort& port : ports) {
      if (fs::path(port.path).filename() == target.filename()) port.byId = entry.path().string();
    }
  }
  return ports;
}

std::vector<HidrawDevice> listHidraw(const InventoryRoots& roots) {
  std::vector<HidrawDevice> devices;
  for (const std::string& name : devicesNamed(roots.dev, {"hidraw"})) {
    HidrawDevice device;
    device.path = (roots.dev / name).string();
    // uevent: HID_ID=0003:00000D8C:0000013C and HID_NAME=C-Media Electronics Inc. USB Audio Device
    std::ifstream in(roots.sys / "class" / "hidraw" / name / "device" / "uevent");
    std::string line;
    while (std::getline(in, line)) {
      unsigned bus = 0, vendor = 0, product = 0;
      if (std::sscanf(line.c_str(), "HID_ID=%x:%x:%x", &bus, &vendor, &product) == 3) {
        device.vendor = vendor;
        device.product = product;
      } else if (line.rfind("HID_NAME=", 0) == 0) {
        device.name = line.substr(9);
      }
    }
    device.cm108 = !cm108ChipName(device.vendor, device.product).empty();
    devices.push_back(device);
  }
  return devices;
}

std::vector<GpioChip> listGpioChips(const InventoryRoots& roots) {
  std::vector<GpioChip> chips;
  for (const std::string& name : devicesNamed(roots.dev, {"gpiochip"})) {
    GpioChip chip;
    chip.path = (roots.dev / name).string();
    if (gpiod_chip* opened = gpiod_chip_open(chip.path.c_str())) {
      chip.label = gpiod_chip_label(opened);
      chip.lines = gpiod_chip_num_lines(opened);
      gpiod_chip_close(opened);
    } else {
      chip.problem = std::error_code(errno, std::generic_category()).message();
    }
    chips.push_back(chip);
  }
  return chips;
}

std::optional<std::vector<std::string>> listJackPorts() {
  // JACK prints its own complaints when no server runs; here that is an answer, not an error. Whatever the rest
  // of the program had set is put back.
  const auto errorBefore = jack_error_callback;
  const auto infoBefore = jack_info_callback;
  jack_set_error_function([](const char*) {});
  jack_set_info_function([](const char*) {});
  jack_status_t status{};
  jack_client_t* client = jack_client_open("quillmere-check", JackNoStartServer, &status);
  jack_set_error_function(errorBefore);
  jack_set_info_function(infoBefore);
  if (client == nullptr) return std::nullopt;
  std::vector<std::string> ports;
  if (const char** names = jack_get_ports(client, nullptr, nullptr, 0)) {
    for (const char** name = names; *name != nullptr; ++name) ports.emplace_back(*name);
    jack_free(names);
  }
  jack_client_close(client);
  return ports;
}

DeviceInventory takeInventory(const InventoryRoots& roots, bool withJack) {
  DeviceInventory inventory;
  inventory.soundCards = listSoundCards(roots);
  inventory.serialPorts = listSerialPorts(roots);
  inventory.hidraw = listHidraw(roots);
  inventory.gpioChips = listGpioChips(roots);
  if (withJack) inventory.jackPorts = listJackPorts();
  return inventory;
}

std::string describeSerialPorts(const std::vector<SerialPort>& ports) {
  return describe(ports, "no serial ports", "serial ports here:", [](const SerialPort& port) {
    return port.byId.empty() ? port.path : port.path + " (" + port.byId + ")";
  });
}

std::string describeHidraw(const std::vector<HidrawDevice>& devices) {
  return describe(devices, "no hidraw devices", "hidraw devices here:", [](const HidrawDevice& device) {
    std::string text = device.path + " " + hex4(device.vendor) + ":" + hex4(device.product);
    if (!device.name.empty()) text += " " + device.name;
    const std::string chip = cm108ChipName(device.vendor, device.product);
    if (!chip.empty()) text += " [" + chip + "]";
    return text;
  });
}

std::string describeGpioChips(const std::vector<GpioChip>& chips) {
  return describe(chips, "no gpiochips", "gpiochips here:", [](const GpioChip& chip) {
    if (!chip.problem.empty()) return chip.path + " (cannot be read: " + chip.problem + ")";
    return chip.path + " \"" + chip.label + "\" " + std::to_string(chip.lines) + " lines";
  });
}

std::string describeSoundCards(const std::vector<SoundCard>& cards) {
  return describe(cards, "no sound cards", "sound cards here:", [](const SoundCard& card) {
    return "hw:" + std::to_string(card.index) + " (hw:" + card.id + ") " + card.name;
  });
}

std::string describeJackPorts(const std::optional<std::vector<std::string>>& ports) {
  if (!ports) return "no JACK server runs";
  return describe(*ports, "the JACK server has no ports", "JACK ports:", [](const std::string& port) { return port; });
}

std::vector<std::string> describeInventory(const DeviceInventory& inventory) {
  return {describeSoundCards(inventory.soundCards), describeJackPorts(inventory.jackPorts),
          describeSerialPorts(inventory.serialPorts), describeHidraw(inventory.hidraw),
          describeGpioChips(inventory.gpioChips)};
}

}  // namespace qm::radio
