#include "app/StartOptions.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "cmdline/OptionTable.h"
#include "port/Platform.h"
#include "port/SystemError.h"
#include "port/Utf8Path.h"

#ifndef KESTRUN_VERSION
#define KESTRUN_VERSION "unknown"
#endif

namespace kestrun {

namespace fs = std::filesystem;

namespace {

// Whether this build keeps its files the Windows way (%APPDATA%, COM ports).
bool IsWindowsLayout() { return fs::path::preferred_separator == '\\'; }

// The option table of rv450-kestrun; each option's `take` fills `o`.
COptionTable OptionTable(StartOptions& o, bool windows = IsWindowsLayout()) {
  auto flag = [](bool& field) { return [&field](const std::string&, std::string&) { return field = true; }; };
  return COptionTable({
      {"--workdir", "DIR", "keep MainSetting.ini and AtLog.log in DIR (made when missing)",
       [&o](const std::string& value, std::string& error) {
         if (value.empty()) error = "--workdir needs a folder";
         o.workdir = value;
         return !value.empty();
       }},
      {"--from-menu", "",
       windows ? "keep MainSetting.ini in %APPDATA%\\RV450 Kestrun and\nAtLog.log and the journal in "
                 "%LOCALAPPDATA%\\RV450 Kestrun,\nmade on first start; the Start menu entry starts the tool\n"
                 "with this option"
               : "keep them in the per-user data folder\n$XDG_DATA_HOME/rv450-kestrun (by default\n"
                 "~/.local/share/rv450-kestrun), made on first start; the\ndesktop entry starts the tool with "
                 "this option",
       flag(o.fromMenu)},
      {"--provisioning", "",
       "open the Provisioning window alone, with Main Setting's\nport settings and password from the working "
       "folder",
       flag(o.provisioning)},
      {"--version", "", "print the version and exit", flag(o.version)},
      {"-h,--help", "", "print this text and exit", flag(o.help)},
  });
}

}  // namespace

StartOptions ParseStartOptions(const std::vector<std::string>& args) {
  StartOptions options;
  std::string error;
  if (!OptionTable(options).Parse(args, options.unknown, error, true)) options.error = error;
  return options;
}

std::vector<std::string> ArgumentsLeft(const std::vector<char*>& original, const std::vector<std::string>& given,
                                       int argc, char** argv) {
  std::vector<std::string> left;
  for (int i = 1; i < argc; ++i) {
    const auto at = std::find(original.begin(), original.end(), argv[i]);
    const bool known = at != original.end() && original.size() == given.size();
    left.push_back(known ? given[at - original.begin()] : std::string(argv[i]));
  }
  return left;
}

std::vector<std::string> StartOptionNames() {
  StartOptions unused;
  return OptionTable(unused).Names();
}

std::string UserDataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return Utf8OfPath(PathFromUtf8(data) / "rv450-kestrun");
  const char* home = std::getenv("HOME");
  return Utf8OfPath(PathFromUtf8(home && *home ? home : ".") / ".local/share/rv450-kestrun");
}

FolderEnvironment CurrentFolderEnvironment(const std::function<std::string(const char*)>& variable) {
  FolderEnvironment environment;
  environment.windows = IsWindowsLayout();
  if (!environment.windows) {
    environment.userData = UserDataFolder();
    return environment;
  }
  environment.appData = variable("APPDATA");
  environment.localAppData = variable("LOCALAPPDATA");
  return environment;
}

WorkFolders ChooseWorkFolders(const StartOptions& options, const std::string& currentFolder,
                              const FolderEnvironment& environment) {
  if (!options.workdir.empty()) {
    fs::path folder = PathFromUtf8(options.workdir);
    if (folder.is_relative()) folder = PathFromUtf8(currentFolder) / folder;
    const std::string chosen = Utf8OfPath(folder.lexically_normal());
    return {chosen, chosen};
  }
  if (!options.fromMenu) return {currentFolder, currentFolder};
  if (!environment.windows) return {environment.userData, environment.userData};
  const auto below = [](const std::string& base) { return base + "\\RV450 Kestrun"; };
  WorkFolders folders;
  folders.settings = environment.appData.empty() ? currentFolder : below(environment.appData);
  folders.log = environment.localAppData.empty() ? folders.settings : below(environment.localAppData);
  return folders;
}

bool MakeWorkFolder(const std::string& folder, std::string& error) {
  fs::path made;
  for (const fs::path& part : PathFromUtf8(folder).lexically_normal()) {
    made /= part;
    if (part.empty() || made == made.root_path()) continue;
    if (const int failure = MakePrivateFolder(Utf8OfPath(made)); failure != 0 && failure != EEXIST) {
      error = "cannot make the folder " + Utf8OfPath(made) + ": " + SystemReason(failure);
      return false;
    }
  }
  struct stat info {};
  if (StatPath(folder, info) != 0 || !S_ISDIR(info.st_mode)) {
    error = folder + " is not a folder";
    return false;
  }
  if (const int failure = WriteAccessError(folder, true); failure != 0) {
    error = "cannot write into the folder " + folder + ": " + SystemReason(failure);
    return false;
  }
  return true;
}

std::string VersionText(const std::string& program) { return program + " " + KESTRUN_VERSION + "\n"; }

std::string KestrunHelpText(bool windows) {
  StartOptions unused;
  return R"(Usage: rv450-kestrun [options]

RV450 Kestrun reads the settings of an RV450 GPS tracker over a serial port
into one form, lets you edit them and writes them back. It shows the Main
Setting dialog (port, baud rate, device password) first.

Options:
)" + OptionTable(unused, windows).Help() +
         (windows ? R"(Qt's own options, such as -platform NAME, are accepted as well.

Without --workdir or --from-menu the files are kept in the current folder.
Serial ports: the COM ports Windows lists (HARDWARE\DEVICEMAP\SERIALCOMM),
opened as \\.\COM<N>.
)"
                  : R"(Qt's own options, such as -platform NAME, are accepted as well.

Without --workdir or --from-menu the files are kept in the current folder.
Serial ports: ttyS<n> is COM n+1, ttyUSB<n> COM n+33, ttyACM<n> COM n+65; a
symbolic link com<N> in $XDG_CONFIG_HOME/rv450-kestrun/ports/ (by default
~/.config/rv450-kestrun/ports/) is COM N.
)");
}

std::string KestrunHelpText() { return KestrunHelpText(IsWindowsLayout()); }

}  // namespace kestrun
