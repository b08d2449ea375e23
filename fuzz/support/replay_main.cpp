// Replays stored fuzz inputs through a target without libFuzzer: every file named on the command
// line, or found in a named folder, is passed to LLVMFuzzerTestOneInput once. Used by ctest to
// keep the seed corpus and the inputs of fixed crashes passing in every build.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return 1;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::fprintf(stderr, "replaying %s (%zu bytes)\n", file.c_str(), bytes.size());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0;
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path = argv[i];
    if (std::filesystem::is_directory(path)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
        if (entry.is_regular_file() && entry.path().filename() != "README.md") files.push_back(entry.path());
      std::sort(files.begin(), files.end());
      for (const auto& file : files) failures += Replay(file), ++replayed;
    } else if (std::filesystem::exists(path)) {
      failures += Replay(path), ++replayed;
    }
  }
  std::printf("%d inputs replayed\n", replayed);
  if (replayed == 0) {
    std::fprintf(stderr, "no input found\n");
    return 1;
  }
  return failures == 0 ? 0 : 1;
}
