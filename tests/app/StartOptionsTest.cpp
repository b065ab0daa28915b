#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../support/TestSupport.h"
#include "app/StartOptions.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

// Sets (or with nullptr unsets) an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    hadValue_ = std::getenv(name) != nullptr;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (hadValue_)
      ::setenv(name_, saved_.c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::string saved_;
  bool hadValue_ = false;
};

}  // namespace

TEST(StartOptions, ReadsOurOptionsAndLeavesTheRestToQt) {
  auto options = ParseStartOptions({"--from-menu", "-platform", "offscreen", "--workdir", "/tmp/w"});
  EXPECT_TRUE(options.fromMenu);
  EXPECT_EQ(options.workdir, "/tmp/w");
  EXPECT_EQ(options.unknown, (std::vector<std::string>{"-platform", "offscreen"}));
  EXPECT_TRUE(options.error.empty());
  EXPECT_FALSE(options.help || options.version);

  options = ParseStartOptions({"--workdir=rel/dir", "--version", "-h"});
  EXPECT_EQ(options.workdir, "rel/dir");
  EXPECT_TRUE(options.version);
  EXPECT_TRUE(options.help);

  EXPECT_FALSE(ParseStartOptions({"--workdir"}).error.empty());
  EXPECT_FALSE(ParseStartOptions({"--workdir="}).error.empty());
  EXPECT_FALSE(ParseStartOptions({"--workdir", ""}).error.empty());
  // Qt's options and their values stay together and in order.
  EXPECT_EQ(ParseStartOptions({"-style", "fusion", "--from-menu", "-reverse"}).unknown,
            (std::vector<std::string>{"-style", "fusion", "-reverse"}));
  EXPECT_TRUE(ParseStartOptions({}).unknown.empty());
}

// After QApplication took its options out of argv, the arguments left are
// read as the UTF-8 list holds them (on Windows the ANSI argv would have
// lost a name outside its code page).
TEST(StartOptions, ArgumentsLeftByQtKeepTheirUtf8Text) {
  char program[] = "rv450-kestrun", platform[] = "-platform", offscreen[] = "offscreen", workdir[] = "--workdir",
       ansi[] = "C:\\Gr??";
  const std::vector<char*> original{platform, offscreen, workdir, ansi};
  const std::vector<std::string> utf8{"-platform", "offscreen", "--workdir", "C:\\Grüß✓"};
  struct Case {
    const char* name;
    std::vector<char*> left;  // argv after Qt, the program's name first
    std::vector<std::string> given;
    std::vector<std::string> expected;
  } cases[] = {
      {"Qt's option taken out", {program, workdir, ansi}, utf8, {"--workdir", "C:\\Grüß✓"}},
      {"nothing taken out", {program, platform, offscreen, workdir, ansi}, utf8, utf8},
      {"lists of different lengths keep argv's bytes", {program, workdir, ansi}, {"--workdir"}, {"--workdir", "C:\\Gr??"}},
      {"no arguments", {program}, utf8, {}},
  };
  for (Case& c : cases)
    EXPECT_EQ(ArgumentsLeft(original, c.given, static_cast<int>(c.left.size()), c.left.data()), c.expected) << c.name;
}

TEST(StartOptions, TerminalMenuAndWorkdirChooseTheFolders) {
  const FolderEnvironment linux{false, "/data/home/rv450-kestrun", "", ""};
  const FolderEnvironment windows{true, "", "C:\\Users\\tech\\AppData\\Roaming",
                                  "C:\\Users\\tech\\AppData\\Local"};
  const FolderEnvironment windowsNoLocal{true, "", "C:\\Roaming", ""};
  const FolderEnvironment windowsBare{true, "", "", ""};
  const struct {
    std::vector<std::string> args;
    FolderEnvironment environment;
    std::string settings, log;
  } cases[] = {
      {{}, linux, "/here", "/here"},
      {{"--from-menu"}, linux, "/data/home/rv450-kestrun", "/data/home/rv450-kestrun"},
      {{"--workdir", "/w"}, linux, "/w", "/w"},
      {{"--from-menu", "--workdir", "sub/../w"}, linux, "/here/w", "/here/w"},
      {{}, windows, "/here", "/here"},
      {{"--from-menu"},
       windows,
       "C:\\Users\\tech\\AppData\\Roaming\\RV450 Kestrun",
       "C:\\Users\\tech\\AppData\\Local\\RV450 Kestrun"},
      {{"--from-menu", "--workdir", "/w"}, windows, "/w", "/w"},
      {{"--from-menu"}, windowsNoLocal, "C:\\Roaming\\RV450 Kestrun", "C:\\Roaming\\RV450 Kestrun"},
      {{"--from-menu"}, windowsBare, "/here", "/here"},
  };
  for (const auto& c : cases) {
    const WorkFolders folders = ChooseWorkFolders(ParseStartOptions(c.args), "/here", c.environment);
    EXPECT_EQ(folders.settings, c.settings) << ::testing::PrintToString(c.args);
    EXPECT_EQ(folders.log, c.log) << ::testing::PrintToString(c.args);
  }
}

TEST(StartOptions, UserDataFolderFollowsXdgDataHome) {
  ScopedEnv home("HOME", "/home/tech");
  {
    ScopedEnv data("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(UserDataFolder(), "/srv/data/rv450-kestrun");
  }
  for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/data"}) {
    ScopedEnv data("XDG_DATA_HOME", ignored);
    EXPECT_EQ(UserDataFolder(), "/home/tech/.local/share/rv450-kestrun") << (ignored ? ignored : "(unset)");
  }
}

TEST(StartOptions, MakesTheFolderOnFirstStartPrivateToTheUser) {
  TempDir dir;
  const std::string folder = dir / "share/rv450-kestrun";
  std::string error;
  ASSERT_TRUE(MakeWorkFolder(folder, error)) << error;
  struct stat info {};
  ASSERT_EQ(::stat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat((dir / "share").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(MakeWorkFolder(folder, error)) << error;  // there already

  WriteFile(dir / "file", "");
  EXPECT_FALSE(MakeWorkFolder(dir / "file", error));
  EXPECT_NE(error.find("is not a folder"), std::string::npos) << error;
  EXPECT_FALSE(MakeWorkFolder(dir / "file/below", error));
  EXPECT_NE(error.find("cannot make the folder"), std::string::npos) << error;
}

// Each system's help names its own folders and ports, and none of the other's.
TEST(StartOptions, HelpNamesTheFoldersAndPortsOfItsSystem) {
  const struct {
    bool windows;
    std::vector<std::string> named, absent;
  } cases[] = {
      {false, {"$XDG_DATA_HOME/rv450-kestrun", "ttyUSB<n>"}, {"%APPDATA%", "%LOCALAPPDATA%", "\\\\.\\COM"}},
      {true,
       {"%APPDATA%\\RV450 Kestrun and", "the journal in %LOCALAPPDATA%\\RV450 Kestrun,", "\\\\.\\COM<N>"},
       {"XDG_", "~/", "ttyUSB"}},
  };
  for (const auto& c : cases) {
    const std::string help = KestrunHelpText(c.windows);
    for (const std::string& name : StartOptionNames()) EXPECT_NE(help.find(name), std::string::npos) << name;
    for (const std::string& text : c.named) EXPECT_NE(help.find(text), std::string::npos) << c.windows << text;
    for (const std::string& text : c.absent) EXPECT_EQ(help.find(text), std::string::npos) << c.windows << text;
  }
}

TEST(StartOptions, HelpAndManPageNameEveryOptionOfTheTable) {
  const std::string help = KestrunHelpText();
  const std::vector<std::string> names = StartOptionNames();
  EXPECT_GE(names.size(), 4u);
  for (const std::string& name : names) EXPECT_NE(help.find(name), std::string::npos) << name;
  EXPECT_EQ(MissingFromManPage(KESTRUN_SOURCE_DIR "/data/man/rv450-kestrun.1", names),
            std::vector<std::string>{});
  for (const char* option : {"--workdir DIR", "XDG_DATA_HOME"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
  EXPECT_EQ(VersionText("rv450-kestrun"), std::string("rv450-kestrun ") + KESTRUN_VERSION + "\n");
}
