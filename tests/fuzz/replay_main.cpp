// Replays fuzz inputs without libFuzzer: every file named on the command
// line, or found in a directory named there, is fed to the target once.
// A path that does not exist, or no input at all, fails the run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static void run_file(const std::filesystem::path &p, int &count) {
    std::ifstream in(p, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    count++;
}

int main(int argc, char **argv) {
    int count = 0;
    for (int i = 1; i < argc; i++) {
        std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto &e : std::filesystem::recursive_directory_iterator(p))
                if (e.is_regular_file()) run_file(e.path(), count);
        } else if (std::filesystem::exists(p)) {
            run_file(p, count);
        } else {
            // A corpus that went missing would otherwise pass unseen.
            std::fprintf(stderr, "no such corpus: %s\n", argv[i]);
            return 1;
        }
    }
    std::printf("replayed %d inputs\n", count);
    if (count == 0) {
        std::fprintf(stderr, "nothing replayed: the corpus is empty\n");
        return 1;
    }
    return 0;
}
