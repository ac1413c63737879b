#pragma once
// What this machine offers the radio node: sound cards, JACK ports (when a JACK server runs), serial ports, hidraw
// devices with their USB ids, gpiochips. Error messages about a device that cannot be opened list what exists, and
// --check prints it all.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qm::radio {

// Where the kernel shows its devices; tests point these at folders of their own.
struct InventoryRoots {
  std::filesystem::path dev = "/dev";
  std::filesystem::path sys = "/sys";
  std::filesystem::path proc = "/proc";
};

struct SoundCard {
  int index = 0;
  std::string id;    // as ALSA's hw:ID names it
  std::string name;  // the driver and the card's long name
};

struct SerialPort {
  std::string path;
  std::string byId;  // the stable /dev/serial/by-id name pointing at it, when there is one
};

struct HidrawDevice {
  std::string path;
  unsigned vendor = 0;
  unsigned product = 0;
  std::string name;
  bool cm108 = false;  // a C-Media (or compatible) sound interface with GPIO pins
};

struct GpioChip {
  std::string path;
  std::string label;
  unsigned lines = 0;
  std::string problem;  // why its label and lines could not be read, if so
};

struct DeviceInventory {
  std::vector<SoundCard> soundCards;
  std::vector<SerialPort> serialPorts;
  std::vector<HidrawDevice> hidraw;
  std::vector<GpioChip> gpioChips;
  std::optional<std::vector<std::string>> jackPorts;  // nothing when no JACK server runs
};

std::vector<SoundCard> listSoundCards(const InventoryRoots& roots = {});
std::vector<SerialPort> listSerialPorts(const InventoryRoots& roots = {});
std::vector<HidrawDevice> listHidraw(const InventoryRoots& roots = {});
std::vector<GpioChip> listGpioChips(const InventoryRoots& roots = {});
// The ports of the running JACK server; nothing when none runs (a server is never started for this).
std::optional<std::vector<std::string>> listJackPorts();
DeviceInventory takeInventory(const InventoryRoots& roots = {}, bool withJack = true);

// The name of a CM108-family chip for a USB vendor and product, or empty when the ids are not one.
std::string cm108ChipName(unsigned vendor, unsigned product);

// One line each, for messages: "serial ports here: /dev/ttyUSB0 (usb-FTDI_...), /dev/ttyS0" or "no serial ports".
std::string describeSerialPorts(const std::vector<SerialPort>& ports);
std::string describeHidraw(const std::vector<HidrawDevice>& devices);
std::string describeGpioChips(const std::vector<GpioChip>& chips);
std::string describeSoundCards(const std::vector<SoundCard>& cards);
std::string describeJackPorts(const std::optional<std::vector<std::string>>& ports);
// Everything, one kind of device a line.
std::vector<std::string> describeInventory(const DeviceInventory& inventory);

}  // namespace qm::radio
