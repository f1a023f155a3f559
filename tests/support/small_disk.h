// A tiny tmpfs mounted for the life of an object, for tests of what a full
// disk does to the runtime's writers.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testing_support {

// Mounts a tmpfs of the given size at folder (created when missing), where
// this process may mount (root). Tests skip when mounted() is false.
class SmallDisk {
 public:
  explicit SmallDisk(const std::string& folder, const char* size = "16k") : folder_(folder) {
    std::filesystem::create_directories(folder);
    const std::string command = "mount -t tmpfs -o size=" + std::string(size) + " tmpfs '" + folder + "' 2>/dev/null";
    mounted_ = std::system(command.c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) std::system(("umount '" + folder_ + "'").c_str());
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

// The message a test skips with when no small disk can be mounted.
inline constexpr char kNoSmallDisk[] = "cannot mount a small tmpfs here (needs root to mount)";

}  // namespace testing_support
