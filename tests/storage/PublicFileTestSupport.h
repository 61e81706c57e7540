#pragma once
// What the public-file tests share: a clean settings folder with a chosen local-copy
// lifetime, a fresh process-wide copy time, and small file helpers.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "LocalCopyTime.h"
#include "PublicCategoryFile.h"
#include "Settings.h"
#include "TextFiles.h"
#include "support/LoopbackServers.h"
#include "support/SettingsFolderSandbox.h"
#include "../addin/MessageBoxRecorder.h"

class PublicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CLocalCopyTime::Instance().Reset();
    SetInterval(60);
  }
  void TearDown() override { CLocalCopyTime::Instance().Reset(); }

  static void SetInterval(int seconds) {
    CSettings settings;
    settings.Load();
    settings.SetInterval(seconds);
    settings.Save();
  }

  static CPublicFileLocation FileAt(const std::string& path) {
    CPublicFileLocation location;
    location.Path = path;
    return location;
  }

  static std::string Contents(const std::string& path) {
    std::string text;
    DWORD error = 0;
    bool opened = false;
    ReadWholeFile(path, text, error, opened);
    return text;
  }

  static void Put(const std::string& path, const std::string& text) {
    DWORD error = 0;
    ASSERT_TRUE(ReplaceFileContents(path, text, error)) << "cannot write " << path << ": " << error;
  }

  static std::string Names(const CCategoryItems& items) {
    std::string names;
    for (const CCategoryItem& item : items) names += item.name + "=" + std::to_string(item.colour) + " ";
    return names;
  }

  std::string LocalCopy() const { return settingsFolder.File("tempPCF.txt"); }

  SettingsFolderSandbox settingsFolder;
  ScratchFolder scratch;
  MessageBoxRecorder boxes;
};
