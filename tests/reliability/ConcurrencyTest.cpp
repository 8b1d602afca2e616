// The only state the plug-in shares between threads: the objects' reference
// counts, the live-object count and the server lock count. Hosts call
// AddRef, Release and LockServer from any thread; here many threads do so at
// once on shared objects (built under ThreadSanitizer by scripts as well).
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

#include "frame/UiPlugin.h"
#include "platform/HostAbi.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 4000;

IClassFactory* NewFactory() {
    void* factory = nullptr;
    EXPECT_EQ(GetPluginClassObject(CLSID_OEMUI, IID_IClassFactory, &factory), S_OK);
    return static_cast<IClassFactory*>(factory);
}

template <typename Body>
void RunTogether(Body body) {
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            body(t);
        });
    for (std::thread& thread : threads) thread.join();
}

TEST(SharedCounts, ReferencesTakenAndGivenBackOnSharedObjectsBalance) {
    const LONG components = g_componentCount;
    IClassFactory* factory = NewFactory();
    void* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUI2, &object), S_OK);
    auto* plugin = static_cast<IPrintOemUI2*>(object);
    ASSERT_EQ(g_componentCount, components + 2);

    RunTogether([&](int) {
        for (int i = 0; i < kRounds; ++i) {
            plugin->AddRef();
            factory->AddRef();
            void* again = nullptr;
            if (plugin->QueryInterface(IID_IUnknown, &again) == S_OK) static_cast<IUnknown*>(again)->Release();
            factory->Release();
            plugin->Release();
        }
    });

    // Both are back to the one reference held here.
    EXPECT_EQ(plugin->AddRef(), 2u);
    EXPECT_EQ(plugin->Release(), 1u);
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(g_componentCount, components + 2);
    EXPECT_EQ(plugin->Release(), 0u);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(g_componentCount, components);
}

TEST(SharedCounts, LastOfRacingReleasesDestroysTheObjectOnce) {
    const LONG components = g_componentCount;
    IClassFactory* factory = NewFactory();
    for (int round = 0; round < 200; ++round) {
        void* object = nullptr;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUI2, &object), S_OK);
        auto* plugin = static_cast<IPrintOemUI2*>(object);
        for (int t = 1; t < kThreads; ++t) plugin->AddRef();
        std::atomic<int> zeros{0};
        RunTogether([&](int) {
            if (plugin->Release() == 0) ++zeros;
        });
        ASSERT_EQ(zeros, 1) << "round " << round;
        ASSERT_EQ(g_componentCount, components + 1) << "round " << round;
    }
    factory->Release();
    EXPECT_EQ(g_componentCount, components);
}

TEST(SharedCounts, ObjectsMadeAndDroppedOnManyThreadsLeaveNothingAlive) {
    const LONG components = g_componentCount;
    const LONG locks = g_lockCount;
    IClassFactory* shared = NewFactory();
    std::atomic<int> refusals{0};

    RunTogether([&](int t) {
        for (int i = 0; i < kRounds / 4; ++i) {
            // Some threads take their own factory, as separate hosts would.
            IClassFactory* factory = t % 2 ? NewFactory() : shared;
            if (t % 2 == 0) factory->AddRef();
            factory->LockServer(TRUE);
            void* object = nullptr;
            if (factory->CreateInstance(nullptr, IID_IPrintOemUI2, &object) != S_OK) ++refusals;
            // While anything lives or the server is locked, unloading is refused.
            if (CanUnloadPlugin() != S_FALSE) ++refusals;
            if (object) static_cast<IUnknown*>(object)->Release();
            factory->LockServer(FALSE);
            factory->Release();
        }
    });

    EXPECT_EQ(refusals, 0);
    EXPECT_EQ(g_lockCount, locks);
    EXPECT_EQ(g_componentCount, components + 1);
    shared->Release();
    EXPECT_EQ(g_componentCount, components);
    if (components == 0 && locks == 0) {
        EXPECT_EQ(CanUnloadPlugin(), S_OK);
    }
}

TEST(SharedCounts, ServerLocksFromManyThreadsBalance) {
    const LONG locks = g_lockCount;
    IClassFactory* factory = NewFactory();
    RunTogether([&](int t) {
        for (int i = 0; i < kRounds; ++i) {
            // Half the threads lock twice before unlocking twice.
            factory->LockServer(TRUE);
            if (t % 2) factory->LockServer(TRUE);
            EXPECT_GT(g_lockCount, locks);
            if (t % 2) factory->LockServer(FALSE);
            factory->LockServer(FALSE);
        }
    });
    EXPECT_EQ(g_lockCount, locks);
    factory->Release();
}

}  // namespace
