// The unpacked openprinting-ppds corpus: where it is, which files this shard
// takes, and the ANSI code page a machine reading each file would have.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/portable/PortableRuntime.h"
#include "ppd/PpdDocument.h"

namespace corpus {

// CORVINA_PPD_CORPUS, else the directory the build was configured with.
std::string Directory();

// Every *.ppd under the corpus, sorted, then this shard's share of them
// (CORVINA_CORPUS_SHARD="i/n": every n-th file from the i-th).
std::vector<std::string> Files();

// Japanese PPDs are read on a machine whose ANSI code page is 932.
unsigned CodePageFor(const std::string& path);

std::unique_ptr<PpdDocument> BuildModel(const std::string& path, unsigned codePage);

}  // namespace corpus
