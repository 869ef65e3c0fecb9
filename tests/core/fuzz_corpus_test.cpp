// Replays the fuzzers' corpus: every saved input must still keep every property.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/fuzz/gallery_checks.h"

TEST(FuzzCorpus, GalleryInputsKeepTheirProperties) {
    std::filesystem::path corpus = std::filesystem::path(QUIMBO_SOURCE_DIR) / "tests" / "fuzz" / "corpus" / "gallery";
    int count = 0;
    for (const auto& file : std::filesystem::directory_iterator(corpus)) {
        std::ifstream in(file.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const char* broken = CheckGalleryInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(broken, nullptr) << file.path() << ": " << (broken ? broken : "");
        ++count;
    }
    EXPECT_GE(count, 5);
}
