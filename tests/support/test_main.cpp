#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "support/temp_folder.h"

namespace {

// Every test process gets its own settings folder, removed when the run ends.
class PrivateConfigHome : public ::testing::Environment {
  public:
    void SetUp() override {
        folder_ = std::make_unique<aurelix::testing::TempFolder>();
        setenv("XDG_CONFIG_HOME", folder_->Path().c_str(), 1);
    }
    void TearDown() override { folder_.reset(); }

  private:
    std::unique_ptr<aurelix::testing::TempFolder> folder_;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new PrivateConfigHome);
    return RUN_ALL_TESTS();
}
