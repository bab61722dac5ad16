// The receive fuzz target without libFuzzer, in every test run: the seed corpus, then a fixed series of
// pseudo-random inputs, half of them mutated corpus files, half noise rich in FEND and FESC bytes.
//   fuzz_receive_replay [CORPUS_DIR_OR_FILE...]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

using Input = std::vector<std::uint8_t>;

// A byte as the serial line might bring it, with the KISS specials common.
static std::uint8_t NoisyByte(std::mt19937& random)
{
    constexpr std::uint8_t kSpecials[] = {0xC0, 0xC0, 0xDB, 0xDC, 0xDD, 0x00, 0x03, 0x01};
    const unsigned pick = random() % 16;
    return pick < std::size(kSpecials) ? kSpecials[pick] : std::uint8_t(random());
}

// A corpus file with a few bytes changed, dropped or repeated.
static Input Mutated(Input input, std::mt19937& random)
{
    for (unsigned edits = 1 + random() % 8; edits > 0 && !input.empty(); --edits) {
        const auto at = input.begin() + std::ptrdiff_t(random() % input.size());
        switch (random() % 3) {
        case 0: *at = NoisyByte(random); break;
        case 1: input.erase(at); break;
        default: input.insert(at, *at); break;
        }
    }
    return input;
}

int main(int argc, char** argv)
{
    constexpr unsigned generated = 20000;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i)
        if (std::filesystem::is_directory(argv[i]))
            for (const auto& entry : std::filesystem::directory_iterator(argv[i]))
                files.push_back(entry.path());
        else
            files.emplace_back(argv[i]);
    std::sort(files.begin(), files.end());
    std::vector<Input> corpus;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(corpus.back().data(), corpus.back().size());
    }
    std::mt19937 random(20130728);
    for (unsigned i = 0; i < generated; ++i) {
        Input input(random() % 1500);
        if (i % 2 == 0 && !corpus.empty())
            input = Mutated(corpus[i / 2 % corpus.size()], random);
        else
            std::generate(input.begin(), input.end(), [&] { return NoisyByte(random); });
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("fuzz_receive_replay: %zu corpus inputs and %u generated inputs, every check held\n",
                corpus.size(), generated);
    return 0;
}
