// Test entry point: every test runs in a fresh working directory of its own,
// so that tests writing the system's fixed file names can run in parallel.
#include <gtest/gtest.h>

#include <filesystem>

namespace {

class ScratchDirectoryPerTest : public testing::EmptyTestEventListener {
  public:
    explicit ScratchDirectoryPerTest(std::filesystem::path root) : root_(std::move(root)) {}

    void OnTestStart(const testing::TestInfo& test) override {
        const auto dir = root_ / (std::string(test.test_suite_name()) + "." + test.name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
    }

    void OnTestEnd(const testing::TestInfo&) override { std::filesystem::current_path(root_); }

  private:
    std::filesystem::path root_;
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(
        new ScratchDirectoryPerTest(std::filesystem::current_path()));
    return RUN_ALL_TESTS();
}
