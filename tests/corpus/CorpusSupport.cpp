#include "CorpusSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace corpus {

std::string Directory() {
    const char* overridden = std::getenv("CORVINA_PPD_CORPUS");
    return overridden && *overridden ? overridden : CORVINA_PPD_CORPUS_DEFAULT;
}

std::vector<std::string> Files() {
    std::vector<std::string> all;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(Directory(), error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file() && it->path().extension() == ".ppd") all.push_back(it->path().string());
    }
    std::sort(all.begin(), all.end());
    int index = 0, count = 1;
    if (const char* shard = std::getenv("CORVINA_CORPUS_SHARD"))
        if (std::sscanf(shard, "%d/%d", &index, &count) != 2 || count < 1 || index < 0 || index >= count)
            index = 0, count = 1;
    std::vector<std::string> mine;
    for (size_t i = static_cast<size_t>(index); i < all.size(); i += static_cast<size_t>(count))
        mine.push_back(all[i]);
    return mine;
}

unsigned CodePageFor(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("*LanguageEncoding:", 0) == 0) return line.find("JIS83-RKSJ") != std::string::npos ? 932 : 1252;
    return 1252;
}

std::unique_ptr<PpdDocument> BuildModel(const std::string& path, unsigned codePage) {
    platform::portable::SetAnsiCodePage(codePage);
    FILE* file = std::fopen(path.c_str(), "r");
    std::unique_ptr<PpdDocument> doc(new PpdDocument(PpdReadFileByte, file));
    if (file) std::fclose(file);
    return doc;
}

}  // namespace corpus

// Without the corpus there is nothing to test: CTest reads 77 as skipped.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (corpus::Files().empty()) {
        std::cout << "corpus tests skipped: no PPDs under " << corpus::Directory()
                  << " (scripts/ppd-corpus.sh unpacks them)\n";
        return 77;
    }
    return RUN_ALL_TESTS();
}
