// A test with a fresh scratch folder of its own, named after its test suite and removed after
// the test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/support/scratch_files.h"

namespace scratch {

class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = MakeFolder(::testing::UnitTest::GetInstance()->current_test_suite()->name());
  }
  void TearDown() override { RemoveFolder(folder); }
  // A file in the folder.
  std::string Path(const std::string& name) const { return folder + Separator() + name; }
  std::string folder;
};

}  // namespace scratch
