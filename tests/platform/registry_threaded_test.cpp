// The store is meant for the main thread, but a worker that reads while the
// main thread writes and flushes must see whole values, never torn ones.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/registry.h"
#include "support/temp_tree.h"

namespace kra::platform {
namespace {

TEST(RegistryThreaded, ReadsDuringWritesSeeWholeValues) {
    test::TempTree tree;
    RegistryOpenFile(tree.Posix("registry.reg").string());
    const std::u16string key = u"Software\\Movo\\KRA";
    const std::vector<uint8_t> a(8, 0xAA);
    const std::vector<uint8_t> b(16, 0xBB);
    ASSERT_TRUE(RegSetValue(RegRoot::CurrentUser, key, u"V", kRegBinary, a));

    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (!stop.load()) {
            RegValue value;
            if (RegQueryValue(RegRoot::CurrentUser, key, u"V", 64, value)) {
                if (value.data != a && value.data != b) ++torn;
                ++reads;
            }
            RegValue state;
            RegQueryValue(RegRoot::LocalMachine, u"System\\State\\Phone", u"Status", 4, state);
            RegKeyExists(RegRoot::CurrentUser, key);
        }
    });
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(RegSetValue(RegRoot::CurrentUser, key, u"V", kRegBinary, i % 2 ? a : b));
        RegSetStateValue(u"System\\State\\Phone", u"Status",
                         RegValue{kRegDword, {uint8_t(i), 0, 0, 0}});
        if (i % 50 == 0) {
            ASSERT_TRUE(RegFlush());
        }
        RegCreateKey(RegRoot::CurrentUser,
                     u"Software\\Churn\\" + std::u16string(1, char16_t(u'a' + i % 26)));
        RegDeleteKey(RegRoot::CurrentUser, u"Software\\Churn");
    }
    while (reads.load() == 0) std::this_thread::yield();  // one read at least
    stop = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
    RegistryUseMemory();
    RegClearState();
}

}  // namespace
}  // namespace kra::platform
