// Replays saved inputs through a fuzz target's entry point without the fuzzing engine, so the
// inputs that once found a fault run in every normal test run (and under the sanitizer build).
// A target signals a broken property by aborting; a fault it would crash on crashes here.
//
//   fuzz_replay_<target> FILE...
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 2;
    }
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    std::printf("replaying %s (%zu bytes)\n", argv[i], bytes.size());
    std::fflush(stdout);
    // An empty input still gets a valid pointer, as the engine gives it.
    static const uint8_t kNothing = 0;
    LLVMFuzzerTestOneInput(bytes.empty() ? &kNothing : bytes.data(), bytes.size());
  }
  std::printf("%d inputs replayed\n", argc - 1);
  return 0;
}
