// What is not a config file on Linux (a FIFO, a folder, a huge file) is
// neither loaded nor saved over.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../support/TestFiles.h"
#include "protocol/ControlIds.h"
#include "settings/ConfigFile.h"

using namespace kestrun;
using namespace kestrun::testing;
using namespace ctl;

namespace {

CFormValues Filled() {
  CFormValues v;
  v.Text(Apn) = "apn";
  v.Address(SriIp)[0] = 10;
  return v;
}

}  // namespace

TEST(ConfigFile, WhatIsNotAConfigFileIsNeitherLoadedNorSavedOver) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe.ini").c_str(), 0644), 0);
  std::filesystem::create_directory(dir / "folder.ini");
  WriteFile(dir / "huge.ini", "[RVSRI]\nAPN=" + std::string(10 * 1024 * 1024, 'a') + "\n");
  for (const std::string& path : {dir / "pipe.ini", dir / "folder.ini", dir / "huge.ini"}) {
    CFormValues v = Filled();
    const CFormValues before = v;
    CIniFile file(path);
    const ConfigLoad load = ReadConfigFile(file, v);
    EXPECT_FALSE(load.file) << path;
    EXPECT_EQ(load.file.path, path);
    EXPECT_EQ(v.Text(Apn), before.Text(Apn)) << path;  // the form stays as it was
    EXPECT_EQ(v.Address(SriIp), before.Address(SriIp)) << path;
    EXPECT_FALSE(WriteConfigFile(file, v, "")) << path;
  }
  EXPECT_TRUE(std::filesystem::is_fifo(dir / "pipe.ini"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.ini"));
  EXPECT_EQ(std::filesystem::file_size(dir / "huge.ini"), 10u * 1024 * 1024 + 13);
}
