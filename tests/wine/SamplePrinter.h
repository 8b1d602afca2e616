// The sample printer in Wine's spooler for the whole test program: installed
// before the first test, removed after the last, so reruns start clean.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

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

// Installed configurations of the sample printer, and the options each rules
// out ("Feature:option translation"), as the sample PPD's constraints say.
const host::Configuration kDefaultConfiguration = {
    {"InstalledMemory", "128MB"}, {"QZTrayUnit", "None"},     {"QZDuplexOption", "False"},
    {"QZStackerOption", "False"}, {"QZCompactFlash", "False"},
};
const std::set<std::string> kDefaultMarks = {
    "InputSlot:Cassette 2",     "InputSlot:Cassette 3",      "InputSlot:Cassette 4",
    "PageSize:A3 297\u00D7420 mm", "Duplex:Long Edge Binding", "Duplex:Short Edge Binding",
    "OutputBin:Stacker",        "QZOUTPUTID:Stored Job"};

const host::Configuration kSmallFullConfiguration = {
    {"InstalledMemory", "64MB"}, {"QZTrayUnit", "2Tray"},   {"QZDuplexOption", "True"},
    {"QZStackerOption", "True"}, {"QZCompactFlash", "True"},
};
const std::set<std::string> kSmallFullMarks = {"Resolution:1200 dpi", "QZImageProtect:On", "InputSlot:Cassette 4"};

const host::Configuration kEverythingConfiguration = {
    {"InstalledMemory", "512MB"}, {"QZTrayUnit", "3Tray"},   {"QZDuplexOption", "True"},
    {"QZStackerOption", "True"},  {"QZCompactFlash", "True"},
};

}  // namespace sample_printer
