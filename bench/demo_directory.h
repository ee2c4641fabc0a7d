// The demo data (tools/demo_data.h) in a fresh temporary directory, in
// which the benchmark works while the object lives.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

#include "tools/demo_data.h"

namespace benchdemo {

class DemoDirectory {
  public:
    // A directory named after `name` and the process, holding a run log of
    // `logRecords` records; the process works in its `workIn` below it.
    DemoDirectory(const std::string& name, int logRecords, const std::string& workIn)
        : root_(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()))),
          previous_(std::filesystem::current_path()) {
        std::filesystem::create_directories(root_ / demo::kWeightDirectory);
        std::filesystem::create_directories(root_ / demo::kArbiterDirectory);
        ok_ = demo::WriteDemoData(root_.string(), 1, logRecords);
        std::filesystem::current_path(root_ / workIn);
    }
    ~DemoDirectory() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(root_);
    }
    DemoDirectory(const DemoDirectory&) = delete;
    DemoDirectory& operator=(const DemoDirectory&) = delete;

    const std::filesystem::path& root() const { return root_; }
    bool ok() const { return ok_; }

  private:
    std::filesystem::path root_, previous_;
    bool ok_ = false;
};

}  // namespace benchdemo
