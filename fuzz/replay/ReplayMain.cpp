// Replays a fuzz target's corpus and a fixed number of seeded mutations of it,
// so every build (not only clang's libFuzzer one) exercises the parsers.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> ReadCorpus(const std::filesystem::path& dir) {
  std::vector<Bytes> corpus;
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) return corpus;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return corpus;
}

Bytes Mutate(Bytes input, std::mt19937& rng) {
  std::uniform_int_distribution<int> op(0, 5);
  const int steps = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < steps; ++i) {
    const size_t pos = input.empty() ? 0 : rng() % input.size();
    switch (op(rng)) {
      case 0:  // flip a bit
        if (!input.empty()) input[pos] ^= static_cast<uint8_t>(1u << (rng() % 8));
        break;
      case 1:  // set a byte to an interesting value
        if (!input.empty()) {
          static constexpr uint8_t kValues[] = {0x00, 0x01, 0x7f, 0x80, 0xff, 0xfe};
          input[pos] = kValues[rng() % std::size(kValues)];
        }
        break;
      case 2:  // truncate
        input.resize(pos);
        break;
      case 3:  // insert random bytes
        input.insert(input.begin() + static_cast<long>(pos), 1 + rng() % 8,
                     static_cast<uint8_t>(rng()));
        break;
      case 4:  // overwrite four bytes with a large or negative length
        if (input.size() >= 4) {
          const size_t at = rng() % (input.size() - 3);
          const uint32_t v = (rng() % 2) ? 0xffffffffu : 0x7fffffffu - (rng() % 16);
          for (int b = 0; b < 4; ++b) input[at + b] = static_cast<uint8_t>(v >> (8 * b));
        }
        break;
      default:  // duplicate a slice
        if (!input.empty()) {
          const size_t len = 1 + rng() % std::min<size_t>(input.size() - pos, 64);
          Bytes slice(input.begin() + static_cast<long>(pos),
                      input.begin() + static_cast<long>(pos + len));
          input.insert(input.end(), slice.begin(), slice.end());
        }
        break;
    }
  }
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR [MUTATIONS]\n", argv[0]);
    return 2;
  }
  const long mutations = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 10000;
  std::vector<Bytes> corpus = ReadCorpus(argv[1]);
  if (corpus.empty()) corpus.push_back({});
  for (const auto& input : corpus) LLVMFuzzerTestOneInput(input.data(), input.size());
  std::mt19937 rng(20261211);
  for (long i = 0; i < mutations; ++i) {
    const Bytes input = Mutate(corpus[i % corpus.size()], rng);
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("replayed %zu corpus inputs and %ld mutations\n", corpus.size(), mutations);
  return 0;
}
