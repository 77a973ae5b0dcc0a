// A harness without libFuzzer: runs it once on each file named, and on each file of each
// directory named, in name order. So every build (plain, sanitizers, 32-bit ARM under
// qemu) runs the seed and regression inputs through the code they were made for, and an
// input that once broke it on one processor is tried on the other. Exits 1 when a path
// cannot be read or when no input was run; a broken input aborts, as under libFuzzer.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool IsDirectory(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The regular files of `dir`, by name; false when it cannot be listed.
bool FilesIn(const std::string& dir, std::vector<std::string>* files) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return false;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(d)) {
    std::string path = dir + "/" + entry->d_name;
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) names.push_back(path);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  files->insert(files->end(), names.begin(), names.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; i++) {
    const std::string path = argv[i];
    if (!IsDirectory(path)) {
      files.push_back(path);
    } else if (!FilesIn(path, &files)) {
      std::fprintf(stderr, "cannot list %s\n", path.c_str());
      return 1;
    }
  }
  for (const std::string& path : files) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 1;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);  // so that the input that aborts is the last one named
    // Never null, as from libFuzzer: an empty vector's data() may be.
    static const uint8_t none = 0;
    LLVMFuzzerTestOneInput(bytes.empty() ? &none : reinterpret_cast<const uint8_t*>(bytes.data()),
                           bytes.size());
  }
  std::printf("%zu inputs\n", files.size());
  return files.empty() ? 1 : 0;
}
