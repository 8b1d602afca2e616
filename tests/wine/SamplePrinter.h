// The sample printer in Wine's spooler for the whole test program: installed
// before the first test, removed after the last, so reruns start clean.
#pragma once

#include <gtest/gtest.h>

#include "tests/wine/host/DriverUi.h"
#include "tests/wine/host/Spooler.h"

namespace sample_printer {

inline host::SpooledPrinter*& Current() {
    static host::SpooledPrinter* printer = nullptr;
    return printer;
}

class Environment : public testing::Environment {
public:
    void SetUp() override {
        Current() = &printer_;
        ASSERT_TRUE(printer_.Install(host::SamplePpdPath())) << printer_.error();
    }
    void TearDown() override { printer_.Remove(); }

private:
    host::SpooledPrinter printer_;
};

inline const testing::Environment* const g_registered = testing::AddGlobalTestEnvironment(new Environment);

inline HANDLE Handle() { return Current() ? Current()->handle() : nullptr; }

}  // namespace sample_printer
