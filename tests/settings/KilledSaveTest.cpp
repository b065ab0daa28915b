// A save killed at any moment leaves the complete old or the complete new file:
// a child process saves in a loop and the test kills it with SIGKILL at random
// moments, many times over.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "../support/TestSupport.h"
#include "protocol/ControlIds.h"
#include "settings/ConfigFile.h"
#include "settings/MainSettings.h"

using namespace kestrun;
using namespace kestrun::testing;
namespace fs = std::filesystem;

namespace {

int CountTemporaries(const std::string& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().find(".tmp-") != std::string::npos) ++count;
  return count;
}

// `save(n)` writes text A for even n and text B for odd n. Counts how often
// the file held each text after a kill.
void KillSavesAtRandomMoments(const std::string& path, const std::string& textA, const std::string& textB,
                              const std::function<bool(int)>& save, int rounds, int& sawA, int& sawB) {
  const std::string folder = fs::path(path).parent_path().string();
  // How long one save takes here, so that the kills spread over whole saves.
  const auto start = std::chrono::steady_clock::now();
  for (int n = 0; n < 6; ++n) EXPECT_TRUE(save(n));
  const auto perSave = (std::chrono::steady_clock::now() - start) / 6;
  std::mt19937 random(12345);
  std::uniform_int_distribution<long> moment(
      0, std::chrono::duration_cast<std::chrono::microseconds>(perSave).count() * 3 + 50);

  sawA = sawB = 0;
  for (int round = 0; round < rounds; ++round) {
    int ready[2];
    if (::pipe(ready) != 0) {
      ADD_FAILURE() << "pipe";
      break;
    }
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(ready[0]);
      const char go = 1;
      if (::write(ready[1], &go, 1) != 1) ::_exit(3);
      for (int n = 1;; ++n)
        if (!save(n)) ::_exit(2);  // a failed save ends the child: the test sees it
    }
    ASSERT_GT(child, 0);
    ::close(ready[1]);
    char go = 0;
    EXPECT_EQ(::read(ready[0], &go, 1), 1);  // the child is about to start saving
    ::close(ready[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child's save failed: " << status;

    const std::string now = ReadFile(path);
    if (now == textA)
      ++sawA;
    else if (now == textB)
      ++sawB;
    else
      ADD_FAILURE() << "round " << round << ": the file is neither the old nor the new text:\n" << now;
    EXPECT_LE(CountTemporaries(folder), 1) << "round " << round;  // at most the killed save's
  }
  // The next save clears what killed saves left behind.
  EXPECT_TRUE(save(0));
  EXPECT_EQ(ReadFile(path), textA);
  EXPECT_EQ(CountTemporaries(folder), 0);
}

}  // namespace

TEST(KilledSave, ConfigFileIsAlwaysWholeOldOrNew) {
  TempDir dir;
  CFormValues a, b;
  int n = 0;
  for (const ConfigKey& k : ConfigKeys()) {
    if (!k.id) continue;
    ++n;
    if (k.encoding == Encoding::Text) b.Text(k.id) = "value-" + std::to_string(n);
    if (k.encoding == Encoding::Octet) b.Address(k.id)[k.octet] = n;
    if (k.encoding == Encoding::Flag || k.encoding == Encoding::Index) b.Number(k.id) = 1;
  }
  CIniFile file(dir / "fleet.ini");
  WriteFile(file.path, "; prepared by hand\r\n[Notes]\r\nWho=me\r\n");
  ASSERT_TRUE(WriteConfigFile(file, b, "B"));
  const std::string textB = ReadFile(file.path);
  ASSERT_TRUE(WriteConfigFile(file, a, "A"));
  const std::string textA = ReadFile(file.path);
  ASSERT_NE(textA, textB);
  ASSERT_EQ(textA.rfind("; prepared by hand\r\n[Notes]\r\nWho=me\r\n[RVSRI]\r\n", 0), 0u);

  int sawA = 0, sawB = 0;
  KillSavesAtRandomMoments(
      file.path, textA, textB,
      [&](int i) { return static_cast<bool>(WriteConfigFile(file, i % 2 ? b : a, i % 2 ? "B" : "A")); }, 100,
      sawA, sawB);
  EXPECT_EQ(sawA + sawB, 100);
  std::printf("after the kills the file held text A %d times and text B %d times\n", sawA, sawB);
}

TEST(KilledSave, MainSettingIsAlwaysWholeOldOrNew) {
  TempDir dir;
  CMainSettings settings;
  settings.file.path = BuildMainSettingPath(dir.path());
  WriteFile(settings.file.path, "[Other]\nKeep=1\n");
  auto set = [&](int i) {
    settings.password = i % 2 ? "second-password" : "1";
    settings.comIndex = i % 2 ? 12 : 0;
    settings.baudIndex = i % 2 ? 4 : 1;
    settings.pacing = i % 2 ? CPacing::Fast() : CPacing::Specified();
    return static_cast<bool>(settings.Save());
  };
  ASSERT_TRUE(set(1));
  const std::string textB = ReadFile(settings.file.path);
  ASSERT_TRUE(set(0));
  const std::string textA = ReadFile(settings.file.path);
  EXPECT_EQ(textA, "[Other]\nKeep=1\n[Main]\nGenPassword=1\nComPort=0\nBaudrate=1\nPacing=specified\n");

  int sawA = 0, sawB = 0;
  KillSavesAtRandomMoments(settings.file.path, textA, textB, set, 100, sawA, sawB);
  EXPECT_EQ(sawA + sawB, 100);
  std::printf("after the kills the file held text A %d times and text B %d times\n", sawA, sawB);
}
