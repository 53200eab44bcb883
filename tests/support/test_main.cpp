#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "support/temp_folder.h"

// Every test process gets its own settings folder, removed when the run ends.
struct PrivateConfigHome : ::testing::Environment {
    void SetUp() override { setenv("XDG_CONFIG_HOME", folder.emplace().Path().c_str(), 1); }
    void TearDown() override { folder.reset(); }
    std::optional<aurelix::testing::TempFolder> folder;
};

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new PrivateConfigHome);
    return RUN_ALL_TESTS();
}
