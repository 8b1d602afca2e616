// Fails a native unit test that leaves platform blocks behind: the plain
// native runs, unlike the sanitizer build, have no leak checker of their own.
#pragma once

#include <gtest/gtest.h>

#include "platform/portable/PortableRuntime.h"

namespace support {

class LeakCheck : public testing::EmptyTestEventListener {
    long liveAtStart_ = 0;
    void OnTestStart(const testing::TestInfo&) override { liveAtStart_ = platform::portable::LiveAllocations(); }
    void OnTestEnd(const testing::TestInfo&) override {
        EXPECT_EQ(platform::portable::LiveAllocations(), liveAtStart_) << "the test left platform blocks behind";
    }
};

inline void WatchLeaks() { testing::UnitTest::GetInstance()->listeners().Append(new LeakCheck); }

}  // namespace support
