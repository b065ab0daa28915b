// The command line of rv450-kestrun and the folder it keeps its working files
// (MainSetting.ini, AtLog.log) in. Plain C++, so it is tested without a display.
//
//   started from a terminal     the current folder, as the tool always did;
//   --from-menu                 what the desktop entry (the Start menu entry on
//                               Windows) passes: the per-user data folder
//                               $XDG_DATA_HOME/rv450-kestrun (by default
//                               ~/.local/share/rv450-kestrun), made on first start;
//                               on Windows MainSetting.ini in %APPDATA%\RV450 Kestrun
//                               and AtLog.log in %LOCALAPPDATA%\RV450 Kestrun (it
//                               grows: not in the roaming profile);
//   --workdir DIR               DIR, made when missing (wins over --from-menu).
//
// --provisioning opens the Provisioning window as the program's window.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kestrun {

struct StartOptions {
  bool help = false;
  bool version = false;
  bool fromMenu = false;
  bool provisioning = false;         // the Provisioning window alone
  std::string workdir;               // empty: not given
  std::vector<std::string> unknown;  // arguments that are none of ours
  std::string error;                 // bad usage (an option without its value)
};

// Reads the arguments after the program name. Arguments that are not ours
// are collected in `unknown`: before Qt has taken its own options (-platform,
// -style, ...) they may still be Qt's.
StartOptions ParseStartOptions(const std::vector<std::string>& args);

// The arguments QApplication left in argv (`argc`, `argv`) once it took its
// own options out, as `given` holds them: `given` is the program's arguments
// as UTF-8 (ProgramArguments, from the UTF-16 command line on Windows) and
// `original` the pointers argv[1..] held before. QApplication keeps the
// pointers of the arguments it leaves, so each is found among `original`; an
// argument that is not (or when the two lists differ in length) keeps its
// bytes.
std::vector<std::string> ArgumentsLeft(const std::vector<char*>& original, const std::vector<std::string>& given,
                                       int argc, char** argv);

// Every spelling of every option of the table ParseStartOptions reads.
std::vector<std::string> StartOptionNames();

// $XDG_DATA_HOME/rv450-kestrun; when XDG_DATA_HOME is unset, empty or not an
// absolute path, ~/.local/share/rv450-kestrun.
std::string UserDataFolder();

// What the choice of folders reads from the environment.
struct FolderEnvironment {
  bool windows = false;      // the Windows layout: %APPDATA% and %LOCALAPPDATA%
  std::string userData;      // elsewhere: UserDataFolder()
  std::string appData;       // %APPDATA% (roaming)
  std::string localAppData;  // %LOCALAPPDATA% (this machine only)
};

// This process's environment; the Windows layout where paths are written
// with backslashes. `variable` reads an environment variable as UTF-8 (the
// window passes Qt's reader, which gets Windows' own UTF-16 values right).
FolderEnvironment CurrentFolderEnvironment(const std::function<std::string(const char*)>& variable);

// Where the working files go.
struct WorkFolders {
  std::string settings;  // MainSetting.ini
  std::string log;       // AtLog.log
};

// --workdir (made absolute against `currentFolder`) for both; with
// --from-menu the user data folder, or on Windows "RV450 Kestrun" in
// %APPDATA% for the settings and in %LOCALAPPDATA% for the log (a variable
// that is unset leaves that file in `currentFolder`, the log beside the
// settings); else `currentFolder`.
WorkFolders ChooseWorkFolders(const StartOptions& options, const std::string& currentFolder,
                              const FolderEnvironment& environment);

// Makes the folder and any missing parents (new ones private to the user,
// mode 0700). False with the reason in `error` when it is not a usable folder.
bool MakeWorkFolder(const std::string& folder, std::string& error);

// The texts of --version and --help.
std::string VersionText(const std::string& program);
// The help of this system, or of the other layout (`windows`: the folders and
// ports of Windows).
std::string KestrunHelpText();
std::string KestrunHelpText(bool windows);

}  // namespace kestrun
