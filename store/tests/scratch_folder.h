// A fresh folder for each test of a fixture, removed with its content afterwards.
#pragma once

#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace harbek::store {

class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.emplace();
    root_ = dir_->path();
  }
  void TearDown() override { dir_.reset(); }

  std::filesystem::path root_;

 private:
  std::optional<harbek::testing::TempDir> dir_;
};

}  // namespace harbek::store
