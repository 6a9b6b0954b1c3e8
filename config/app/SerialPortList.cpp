#include "app/SerialPortList.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace fs = std::filesystem;

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit on links in one lookup
constexpr int kMaxComPort = 32767;
const char* const kPortPrefixes[] = {"ttyACM", "ttyS", "ttyUSB"};

std::string RootPrefix(const std::string& root) {
  std::string prefix = root;
  while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
  return prefix;
}

// "ttyUSB12" -> ("ttyUSB", 12); false for any other name.
bool ParsePortName(const std::string& name, std::string* prefix, long* number) {
  for (const char* p : kPortPrefixes) {
    const std::string candidate = p;
    if (name.size() <= candidate.size() || name.compare(0, candidate.size(), candidate) != 0)
      continue;
    const std::string digits = name.substr(candidate.size());
    if (digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    *prefix = candidate;
    *number = std::stol(digits);
    return true;
  }
  return false;
}

// A positive number after `prefix` at the start of `text` (compared without case), up to `end`.
int NumberAfter(const std::string& text, const std::string& prefix, std::size_t end) {
  if (end <= prefix.size() || end > text.size()) return 0;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return 0;
  const std::string digits = text.substr(prefix.size(), end - prefix.size());
  if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  const int n = std::stoi(digits);
  return n >= 1 && n <= kMaxComPort ? n : 0;
}

// The kernel knows no UART behind this ttyS port (its sysfs type is 0).
bool UnknownUart(const std::string& rootPrefix, const std::string& name) {
  std::ifstream type(rootPrefix + "/sys/class/tty/" + name + "/type");
  std::string value;
  if (!(type >> value)) return false;  // no sysfs: keep the port
  return value == "0";
}

std::string GroupOf(const std::string& fullPath) {
  struct stat st {};
  if (::stat(fullPath.c_str(), &st) != 0) return {};
  struct group entry {};
  struct group* found = nullptr;
  std::vector<char> buf(4096);
  if (::getgrgid_r(st.st_gid, &entry, buf.data(), buf.size(), &found) != 0 || !found)
    return std::to_string(st.st_gid);
  return found->gr_name;
}

bool MayOpenPath(const std::string& fullPath) {
  return ::access(fullPath.c_str(), R_OK | W_OK) == 0;
}

}  // namespace

std::string ResolveBelowRoot(const std::string& root, const std::string& path) {
  const std::string prefix = RootPrefix(root);
  std::deque<std::string> pending;
  auto pushFront = [&pending](const std::string& p) {
    std::vector<std::string> parts;
    for (const auto& part : fs::path(p)) {
      const std::string s = part.string();
      if (!s.empty() && s != "/") parts.push_back(s);
    }
    pending.insert(pending.begin(), parts.begin(), parts.end());
  };
  pushFront(path);
  std::string current;  // "" is the root; otherwise "/a/b"
  int links = 0;
  while (!pending.empty()) {
    const std::string part = pending.front();
    pending.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      current.erase(current.empty() ? 0 : current.rfind('/'));
      continue;
    }
    const std::string next = current + "/" + part;
    std::error_code error;
    const fs::path full = prefix + next;
    if (fs::is_symlink(fs::symlink_status(full, error))) {
      if (++links > kMaxLinks) return {};
      const fs::path target = fs::read_symlink(full, error);
      if (error) return {};
      if (target.is_absolute()) current.clear();
      pushFront(target.string());
      continue;
    }
    current = next;
  }
  return current.empty() ? "/" : current;
}

std::vector<int> MappedComPorts(const std::vector<std::string>& environment,
                                const std::vector<std::string>& settingNames) {
  std::vector<int> ports;
  for (const std::string& variable : environment) {
    // Environment names are matched exactly, as the link reads them.
    const std::size_t eq = variable.find('=');
    if (eq == std::string::npos || variable.compare(0, 10, "HALVEX_COM") != 0) continue;
    if (int n = NumberAfter(variable, "HALVEX_COM", eq)) ports.push_back(n);
  }
  for (const std::string& name : settingNames)
    if (int n = NumberAfter(name, "ComDevice", name.size())) ports.push_back(n);
  std::sort(ports.begin(), ports.end());
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  return ports;
}

std::vector<SerialPortEntry> ListSerialPorts(const SerialPortQuery& query) {
  const std::string prefix = RootPrefix(query.root);
  auto mayOpen = [&query, &prefix](const std::string& path) {
    return query.mayOpen ? query.mayOpen(path) : MayOpenPath(prefix + path);
  };

  struct Found {
    std::string prefix;
    long number;
    bool hidden;  // a ttyS without a UART, shown only when a COM port leads to it
    SerialPortEntry entry;
  };
  std::vector<Found> ports;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(prefix + "/dev", error)) {
    const std::string name = item.path().filename().string();
    Found found;
    if (!ParsePortName(name, &found.prefix, &found.number)) continue;
    std::error_code statError;
    if (fs::is_directory(item.symlink_status(statError))) continue;
    found.hidden = found.prefix == "ttyS" && UnknownUart(prefix, name);
    found.entry.path = "/dev/" + name;
    ports.push_back(std::move(found));
  }
  std::sort(ports.begin(), ports.end(), [](const Found& a, const Found& b) {
    return std::tie(a.prefix, a.number) < std::tie(b.prefix, b.number);
  });
  auto portLeadingTo = [&ports](const std::string& resolved) -> Found* {
    for (Found& f : ports)
      if (f.entry.path == resolved) return &f;
    return nullptr;
  };

  std::vector<std::string> byIdNames;
  for (const auto& item : fs::directory_iterator(prefix + "/dev/serial/by-id", error))
    byIdNames.push_back(item.path().filename().string());
  std::sort(byIdNames.begin(), byIdNames.end());
  for (const std::string& name : byIdNames) {
    const std::string link = "/dev/serial/by-id/" + name;
    if (Found* f = portLeadingTo(ResolveBelowRoot(query.root, link))) f->entry.byId.push_back(link);
  }

  struct Other {
    std::string resolved;  // below the root; empty when it cannot be followed
    SerialPortEntry entry;
  };
  std::vector<Other> others;
  if (query.comDevice) {
    for (int n : query.comPorts) {
      const std::string device = query.comDevice(n);
      if (device.empty()) continue;
      const std::string resolved = ResolveBelowRoot(query.root, device);
      const bool shown = !query.comPortShown || query.comPortShown(n);
      if (Found* f = portLeadingTo(resolved)) {
        if (shown) f->hidden = false;
        f->entry.comPorts.push_back(n);
        continue;
      }
      if (!shown) continue;
      auto same = std::find_if(others.begin(), others.end(),
                               [&device](const Other& o) { return o.entry.path == device; });
      if (same == others.end()) {
        Other other;
        other.resolved = resolved;
        other.entry.path = device;
        std::error_code existsError;
        other.entry.present = !resolved.empty() && fs::exists(prefix + resolved, existsError);
        others.push_back(std::move(other));
        same = std::prev(others.end());
      }
      same->entry.comPorts.push_back(n);
    }
  }

  std::vector<SerialPortEntry> result;
  auto add = [&](SerialPortEntry entry, const std::string& resolved) {
    std::sort(entry.comPorts.begin(), entry.comPorts.end());
    entry.comPorts.erase(std::unique(entry.comPorts.begin(), entry.comPorts.end()),
                         entry.comPorts.end());
    if (entry.present) {
      entry.mayOpen = mayOpen(resolved);
      entry.group = GroupOf(prefix + resolved);
    }
    result.push_back(std::move(entry));
  };
  for (Found& f : ports) {
    const std::string path = f.entry.path;
    if (!f.hidden) add(std::move(f.entry), path);
  }
  for (Other& o : others) add(std::move(o.entry), o.resolved);
  return result;
}
