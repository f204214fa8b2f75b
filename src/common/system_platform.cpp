#include "common/system_platform.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace vesk {

std::string PathBesideExecutable(Platform& platform, const std::string& name) {
  return platform.ExecutableFolder() + "/" + name;
}

std::ostream& SystemPlatform::Out() { return std::cout; }
std::ostream& SystemPlatform::Err() { return std::cerr; }
std::istream& SystemPlatform::In() { return std::cin; }

void SystemPlatform::Pause(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

std::chrono::steady_clock::time_point SystemPlatform::Now() {
  return std::chrono::steady_clock::now();
}

std::string SystemPlatform::ExecutableFolder() {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) return "";
  std::string full(path, static_cast<size_t>(length));
  size_t slash = full.rfind('/');
  return slash == std::string::npos ? full : full.substr(0, slash);
}

std::vector<std::string> SystemPlatform::ListFiles(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    // stat follows symbolic links, so a link to a folder counts as a folder.
    struct stat info {};
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
    names.push_back(std::move(name));
  }
  closedir(dir);
  return names;
}

bool SystemPlatform::FolderExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string SystemPlatform::ProcessorBrand() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned int top = __get_cpuid_max(0x80000000, nullptr);
  if (top < 0x80000004) return "";
  char brand[49] = {};
  for (unsigned int leaf = 0; leaf < 3; ++leaf) {
    unsigned int regs[4] = {};
    __get_cpuid(0x80000002 + leaf, &regs[0], &regs[1], &regs[2], &regs[3]);
    std::memcpy(brand + 16 * leaf, regs, sizeof(regs));
  }
  return std::string(brand);  // at most 48 characters, the 49th is the terminator
#else
  return "";
#endif
}

}  // namespace vesk
