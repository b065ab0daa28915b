// The Windows file layer under Wine: replacing a file keeps its access list
// and a new one is the user's alone, names beyond the ANSI code page reach
// the file system, links are judged as on Linux, the password file is
// refused when a group of every user may read it, and a new INI file ends
// its lines in CR LF.
#include <aclapi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "../support/TestFiles.h"
#include "batch/CsvRecords.h"
#include "cli/PasswordSource.h"
#include "port/PathLinks.h"
#include "port/Platform.h"
#include "port/win32/FileSecurity.h"
#include "settings/IniFile.h"
#include "settings/SafeFile.h"

using namespace kestrun;
using kestrun::testing::ReadFile;
using kestrun::testing::TempDir;
using kestrun::testing::WriteFile;

namespace {

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  wide.resize(size > 0 ? static_cast<std::size_t>(size - 1) : 0);
  return wide;
}

struct Ace {
  bool allow;
  WELL_KNOWN_SID_TYPE group;
};

// An access list: `aces` (read rights) in their order, then full access for
// the user.
std::vector<unsigned char> MakeAcl(const std::vector<Ace>& aces) {
  std::vector<unsigned char> buffer(1024);
  ACL* acl = reinterpret_cast<ACL*>(buffer.data());
  HANDLE token = nullptr;
  unsigned char user[512];
  DWORD size = sizeof user;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ||
      !GetTokenInformation(token, TokenUser, user, size, &size) ||
      !InitializeAcl(acl, static_cast<DWORD>(buffer.size()), ACL_REVISION))
    ADD_FAILURE() << "no access list: error " << GetLastError();
  CloseHandle(token);
  for (const Ace& ace : aces) {
    unsigned char sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    EXPECT_TRUE(CreateWellKnownSid(ace.group, nullptr, sid, &sidSize));
    EXPECT_TRUE(ace.allow ? AddAccessAllowedAce(acl, ACL_REVISION, FILE_GENERIC_READ, sid)
                          : AddAccessDeniedAce(acl, ACL_REVISION, FILE_GENERIC_READ, sid));
  }
  EXPECT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, reinterpret_cast<TOKEN_USER*>(user)->User.Sid));
  return buffer;
}

// Gives `path` the access list MakeAcl makes, nothing inherited.
void SetAccess(const std::string& path, const std::vector<Ace>& aces) {
  std::vector<unsigned char> acl = MakeAcl(aces);
  std::wstring name = Wide(path);
  ASSERT_EQ(SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  reinterpret_cast<ACL*>(acl.data()), nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));
}

// Why `path` may not hold a secret, as the password file is judged.
std::string SecretRefusal(const std::string& path) {
  const int fd = OpenForReading(path, true);
  if (fd < 0) return "cannot open: errno " + std::to_string(-fd);
  const std::string refusal = SecretFileRefusal(fd, path);
  _close(fd);
  return refusal;
}

// Whether the file system keeps the access list a file is given. Wine 8
// accepts one and goes on reporting its own, made from the Unix mode bits.
bool AccessListsKept() {
  TempDir dir;
  const std::string probe = dir / "probe";
  WriteFile(probe, "x");
  SetAccess(probe, {});
  return SecretRefusal(probe).empty();
}
constexpr const char* kNoAccessLists =
    "this system keeps no access list given to a file (Wine 8 reports its own, made from the Unix mode)";

TEST(WindowsFiles, ANewFileIsTheUsersAloneAndAReplaceKeepsTheAccessListItReplaces) {
  const bool kept = AccessListsKept();
  TempDir dir;
  const std::string path = dir / "MainSetting.ini";
  const FileResult created = ReplaceSettingsFile(path, "one");
  ASSERT_TRUE(created) << created.Message();
  if (kept) {
    EXPECT_EQ(SecretRefusal(path), "");
    SetAccess(path, {{true, WinBuiltinUsersSid}});
  }
  const FileResult replaced = ReplaceSettingsFile(path, "two");
  ASSERT_TRUE(replaced) << replaced.Message();
  EXPECT_EQ(ReadFile(path), "two");
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"MainSetting.ini"});  // no temporary file left
  if (!kept) GTEST_SKIP() << kNoAccessLists;
  EXPECT_NE(SecretRefusal(path).find("its access list lets Users read it"), std::string::npos) << SecretRefusal(path);
}

TEST(WindowsFiles, NamesBeyondTheAnsiCodePageReachTheFileSystemAsUtf16) {
  TempDir dir;
  const std::string folder = dir / "Gr\xC3\xBC\xC3\x9F\xE2\x9C\x93";  // "Grüß✓"
  const std::string name = "\xE8\xA8\xAD\xE5\xAE\x9A.ini";             // "設定.ini"
  const std::string path = folder + "\\" + name;
  ASSERT_EQ(MakePrivateFolder(folder), 0);
  for (const std::string text : {"[A]\r\nx=1\r\n", "[A]\r\nx=2\r\n"}) {  // new, then replaced
    const FileResult saved = ReplaceSettingsFile(path, text);
    ASSERT_TRUE(saved) << saved.Message();
    std::string read;
    bool exists = false;
    ASSERT_TRUE(ReadSettingsFile(path, read, exists));
    EXPECT_TRUE(exists);
    EXPECT_EQ(read, text);
  }
  EXPECT_NE(GetFileAttributesW((Wide(dir.path()) + L"\\Gr\u00FC\u00DF\u2713\\\u8A2D\u5B9A.ini").c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(FolderNames(folder), std::vector<std::string>{name});
  struct stat st {};
  ASSERT_EQ(StatPath(path, st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_size, 10);
  // The folder checks, a table read, and the working folder read back.
  EXPECT_EQ(WritableFolderError(folder), 0);
  EXPECT_EQ(WritableFolderError(path), ENOTDIR);
  EXPECT_EQ(WritableFolderError(folder + "\\" + name + ".missing"), ENOENT);
  std::string table, problem;
  EXPECT_TRUE(batch::ReadTableFile(path, table, problem)) << problem;
  EXPECT_EQ(table, "[A]\r\nx=2\r\n");
  const std::string started = CurrentFolder();
  ASSERT_TRUE(SetCurrentDirectoryW(Wide(folder).c_str()));
  std::string backslashed = folder;  // Windows gives the folder with its own separator
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  EXPECT_EQ(CurrentFolder(), backslashed);
  ASSERT_TRUE(SetCurrentDirectoryW(Wide(started).c_str()));
  EXPECT_EQ(RemoveFile(path), 0);
  EXPECT_EQ(StatPath(path, st), ENOENT);
}

TEST(WindowsFiles, AnOwnLinkIsFollowedButNeverAsTheLastNameOfAFileThatMustNotFollowOne) {
  TempDir dir;
  const std::string target = dir / "pw", link = dir / "link";
  WriteFile(target, "5830\r\n");
  SetAccess(target, {});
  const BOOLEAN made = CreateSymbolicLinkW(Wide(link).c_str(), Wide(target).c_str(),
                                           SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  const DWORD attributes = GetFileAttributesW(Wide(link).c_str());
  if (!made || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    GTEST_SKIP() << "this Wine makes no symbolic link (CreateSymbolicLinkW gave " << static_cast<int>(made)
                 << ", error " << GetLastError() << ")";
  const ResolvedPath resolved = ResolvePathLinks(link);
  ASSERT_TRUE(resolved.ok) << resolved.step << ": " << resolved.reason;
  EXPECT_EQ(NameOfPath(resolved.path), "pw");
  std::string password, error;
  EXPECT_TRUE(cli::ReadPasswordFile(link, password, error)) << error;
  EXPECT_EQ(password, "5830");
  EXPECT_EQ(OpenForReading(link, true), -ELOOP);
  EXPECT_EQ(CreatePrivateFile(link), ELOOP);
  EXPECT_FALSE(IsOwnRegularFile(link));
}

// The judgement on each access list in memory, and where the file system
// keeps the list a file is given (Wine 8 keeps none), the password file given
// that list: refused, naming the group, or read.
TEST(WindowsFiles, APasswordFileThatAGroupOfEveryUserMayReadIsRefusedByItsAccessListInItsOrder) {
  const struct {
    std::vector<Ace> aces;
    const char* group;  // the group named in the refusal; null: read
  } cases[] = {
      {{{true, WinWorldSid}}, "Everyone"},
      {{{true, WinAuthenticatedUserSid}}, "Authenticated Users"},
      {{{true, WinBuiltinUsersSid}}, "Users"},
      {{}, nullptr},
      {{{false, WinBuiltinUsersSid}, {true, WinBuiltinUsersSid}}, nullptr},  // denied first: denied
      {{{false, WinWorldSid}, {true, WinBuiltinUsersSid}}, "Users"},        // another group's denial
  };
  const bool kept = AccessListsKept();
  TempDir dir;
  const std::string path = dir / "pw";
  WriteFile(path, "5830\r\nnot this\r\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.group ? c.group : "none");
    const std::vector<unsigned char> acl = MakeAcl(c.aces);
    const ACL* list = reinterpret_cast<const ACL*>(acl.data());
    EXPECT_STREQ(SharedGroupGranted(list, false, FILE_READ_DATA), c.group);
    EXPECT_EQ(SharedGroupGranted(list, false, FILE_WRITE_DATA), nullptr);
    if (!kept) continue;
    SetAccess(path, c.aces);
    std::string password, error;
    const bool read = cli::ReadPasswordFile(path, password, error);
    EXPECT_EQ(read, !c.group) << error;
    EXPECT_EQ(password, c.group ? "" : "5830");
    if (c.group) {
      EXPECT_EQ(error, "--password-file " + path + ": other users may open it (its access list lets " +
                           c.group + " read it); make it yours alone: icacls \"" + path +
                           "\" /inheritance:r /grant:r \"%USERNAME%:F\"");
    }
  }
  EXPECT_STREQ(SharedGroupGranted(nullptr, true, FILE_READ_DATA), "Everyone");  // no list lets everyone in
  if (!kept) GTEST_SKIP() << kNoAccessLists;
}

TEST(WindowsFiles, ANewIniFileEndsItsLinesInCrLfAndAnOldOneKeepsItsOwn) {
  const std::optional<std::string> cases[][2] = {
      {std::nullopt, "[S]\r\nk=1\r\n"},
      {"[S]\nk=0\n", "[S]\nk=1\n"},
      {"[S]\rk=0\r", "[S]\rk=1\r"},
      {"[S]\r\nk=0\r\n", "[S]\r\nk=1\r\n"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    CIniFile ini(dir / "a.ini");
    if (c[0]) WriteFile(ini.path, *c[0]);
    ASSERT_TRUE(ini.WriteInt("S", "k", 1));
    EXPECT_EQ(ReadFile(ini.path), *c[1]);
  }
}

}  // namespace
