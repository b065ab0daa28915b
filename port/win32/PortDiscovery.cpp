#include "port/PortDiscovery.h"

#include <windows.h>
// windows.h first: SetupAPI builds on its types.
#include <setupapi.h>

#include <cwctype>
#include <map>

#include "port/win32/Win32Error.h"

namespace kestrun {

namespace {

// The setup class of COM and LPT ports (GUID_DEVCLASS_PORTS).
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// N of a port name "COM<N>" (any letter case), or 0.
int NumberForName(const std::wstring& name) {
  if (name.size() < 4 || name.size() > 9 || std::towupper(name[0]) != L'C' ||
      std::towupper(name[1]) != L'O' || std::towupper(name[2]) != L'M')
    return 0;
  int number = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < L'0' || name[i] > L'9') return 0;
    number = number * 10 + (name[i] - L'0');
  }
  return number;
}

// The COM numbers the drivers registered in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
std::map<int, std::wstring> RegisteredPorts() {
  std::map<int, std::wstring> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return ports;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    wchar_t data[64];
    DWORD nameSize = sizeof name / sizeof name[0];
    DWORD dataSize = sizeof data - sizeof data[0];  // room for a closing zero
    DWORD type = 0;
    const LONG status =
        RegEnumValueW(key, index, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataSize / sizeof data[0]] = L'\0';
    std::wstring portName(data);
    while (!portName.empty() && portName.back() == L'\0') portName.pop_back();
    if (const int number = NumberForName(portName); number > 0) ports[number] = portName;
  }
  RegCloseKey(key);
  return ports;
}

// The friendly names SetupAPI knows for ports ("USB Serial Port (COM5)"),
// by COM number.
std::map<int, std::string> FriendlyNames() {
  std::map<int, std::string> names;
  const HDEVINFO devices = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return names;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
    const HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    wchar_t portName[64] = {};
    DWORD size = sizeof portName - sizeof portName[0];
    DWORD type = 0;
    const bool named = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName),
                                        &size) == ERROR_SUCCESS &&
                       type == REG_SZ;
    RegCloseKey(key);
    const int number = named ? NumberForName(portName) : 0;
    if (number <= 0) continue;
    wchar_t friendly[256] = {};
    if (SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                          reinterpret_cast<BYTE*>(friendly),
                                          sizeof friendly - sizeof friendly[0], nullptr) &&
        friendly[0] != L'\0')
      names[number] = Narrow(friendly);
  }
  SetupDiDestroyDeviceInfoList(devices);
  return names;
}

}  // namespace

// Windows keeps no ports folder of the user's: the ports are the system's.
std::string DefaultPortsDir() { return {}; }

std::vector<PortEntry> DiscoverPorts(const DiscoveryPaths&) {
  const std::map<int, std::string> friendly = FriendlyNames();
  std::vector<PortEntry> result;
  for (const auto& [number, name] : RegisteredPorts()) {
    if (static_cast<int>(result.size()) >= kMaxPorts) break;
    const auto known = friendly.find(number);
    result.push_back(
        {number, known != friendly.end() ? known->second : Narrow(name), OpenPathForPort(number)});
  }
  return result;
}

// The "\\.\COM<N>" form reaches every port, numbers 10 and above too, listed
// or not; whether it exists is for the open to say.
std::string OpenPathForPort(int number, const DiscoveryPaths&) {
  return number > 0 ? "\\\\.\\COM" + std::to_string(number) : std::string();
}

const char* const kDeviceExample = "\\\\.\\COM12";

int ComNumberOfDevice(const std::string& name) {
  const std::string prefix = "\\\\.\\";
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  return NumberForName(std::wstring(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end()));
}

}  // namespace kestrun
