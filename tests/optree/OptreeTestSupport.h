// Shared pieces of the option tree tests: the module stand-in and the sample
// PPD's path.
#pragma once

#include <string>

#include "platform/HostAbi.h"

namespace optree_test {

inline HMODULE TestModule() {
    static char module;
    return reinterpret_cast<HMODULE>(&module);
}

inline std::string SamplePpdPath() { return CORVINA_SAMPLES_DIR "/norvane-c5.ppd"; }

inline std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace optree_test
