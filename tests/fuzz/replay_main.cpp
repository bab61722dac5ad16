// Runs the receive-path fuzz target without libFuzzer, as part of every test
// run: first each file of the seed corpus, then a fixed series of
// pseudo-random inputs (the same on every run), half of them mutated copies
// of the corpus files, half of them noise rich in FEND and FESC bytes.
//
//   fuzz_receive_replay [CORPUS_DIR_OR_FILE...] [--inputs=N]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Input = std::vector<std::uint8_t>;

Input ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Input(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<Input> ReadCorpus(const std::vector<std::string>& places)
{
    std::vector<std::filesystem::path> files;
    for (const std::string& place : places) {
        if (std::filesystem::is_directory(place)) {
            for (const auto& entry : std::filesystem::directory_iterator(place))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else {
            files.emplace_back(place);
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<Input> corpus;
    for (const auto& file : files)
        corpus.push_back(ReadFile(file));
    return corpus;
}

// A byte as the serial line might bring it, with the KISS specials common.
std::uint8_t NoisyByte(std::mt19937& random)
{
    constexpr std::uint8_t kSpecials[] = {0xC0, 0xC0, 0xDB, 0xDC, 0xDD, 0x00, 0x03, 0x01};
    const unsigned pick = random() % 16;
    return pick < std::size(kSpecials) ? kSpecials[pick] : static_cast<std::uint8_t>(random());
}

Input Noise(std::mt19937& random)
{
    Input input(random() % 1500);
    for (std::uint8_t& b : input)
        b = NoisyByte(random);
    return input;
}

// A corpus file with a few bytes changed, dropped or repeated.
Input Mutated(const Input& original, std::mt19937& random)
{
    Input input = original;
    const unsigned edits = 1 + random() % 8;
    for (unsigned i = 0; i < edits && !input.empty(); ++i) {
        const std::size_t at = random() % input.size();
        switch (random() % 3) {
        case 0: input[at] = NoisyByte(random); break;
        case 1: input.erase(input.begin() + static_cast<std::ptrdiff_t>(at)); break;
        default: input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), input[at]); break;
        }
    }
    return input;
}

}  // namespace

int main(int argc, char** argv)
{
    unsigned generated = 20000;
    std::vector<std::string> places;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.starts_with("--inputs="))
            generated = static_cast<unsigned>(std::stoul(std::string(arg.substr(9))));
        else
            places.emplace_back(arg);
    }
    const std::vector<Input> corpus = ReadCorpus(places);
    for (const Input& input : corpus)
        LLVMFuzzerTestOneInput(input.data(), input.size());

    std::mt19937 random(20130728);
    for (unsigned i = 0; i < generated; ++i) {
        const Input input = (i % 2 == 0 && !corpus.empty()) ? Mutated(corpus[i / 2 % corpus.size()], random)
                                                           : Noise(random);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("fuzz_receive_replay: %zu corpus inputs and %u generated inputs, every check held\n",
                corpus.size(), generated);
    return 0;
}
