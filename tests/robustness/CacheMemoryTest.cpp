// The status cache gives back every per-directory map it made. Under
// LeakSanitizer the test asks for a leak check of its own; in other builds it
// counts the live allocations made through operator new (maps and their
// nodes are made that way; toolkit strings are not) before and after.

#include "ProviderFixture.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "FailingAllocation.h"
#include "UnderAddressSanitizer.h"

long g_allocationsBeforeFailure = -1;

#ifdef SVNSCC_UNDER_ASAN
#include <sanitizer/lsan_interface.h>

void* operator new(std::size_t size)
{
    if (g_allocationsBeforeFailure >= 0 && g_allocationsBeforeFailure-- == 0)
        throw std::bad_alloc();
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#else
namespace {
std::atomic<long> s_liveAllocations{0};
}

void* operator new(std::size_t size)
{
    if (g_allocationsBeforeFailure >= 0 && g_allocationsBeforeFailure-- == 0)
        throw std::bad_alloc();
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    s_liveAllocations.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void operator delete(void* p) noexcept
{
    if (p) {
        s_liveAllocations.fetch_sub(1, std::memory_order_relaxed);
        std::free(p);
    }
}

void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}
#endif

namespace {

long liveAllocations()
{
#ifdef SVNSCC_UNDER_ASAN
    return 0;
#else
    return s_liveAllocations.load();
#endif
}

class CacheMemoryTest : public ProviderTest
{
protected:
    void SetUp() override
    {
        ProviderTest::SetUp();
        makeWorkingCopy();
        ASSERT_TRUE(QDir().mkpath(rootPath + "/sub"));
        // One answer fits every run: status lines for a.c and b.c and the
        // closing line that the parser never reads.
        fake.respondAlways("M       3        2 ann          a.c\n"
                           "     K*        3        2 ann          b.c\n"
                           "Status against revision:      3\n");
    }

    /** One life of a cache: fill, drop entries every way there is, refill. */
    void exercise(TestableSVN& provider)
    {
        const long empty = liveAllocations();
        ASSERT_NE(provider.getFileStatus({"a.c"}), nullptr);
        // "sub" is no working copy: a null entry, then a map through saved().
        ASSERT_EQ(provider.getFileStatus({"sub", "b.c"}), nullptr);
        ASSERT_TRUE(provider.saved({"sub", "b.c"}));
        ASSERT_EQ(provider.statusCache.size(), 2u);
        ASSERT_NE(provider.statusCache[rootPath + "/sub"], nullptr);
        EXPECT_EQ(provider.statusCache[rootPath + "/sub"]->size(), 2u);

        // Fetching a file of a directory that is no working copy removes the
        // directory's entry with its map.
        [[maybe_unused]] const long withSub = liveAllocations();
        ASSERT_TRUE(provider.getFile({"sub", "b.c"}, true));
        EXPECT_EQ(provider.statusCache.count(rootPath + "/sub"), 0u);
        const long withoutSub = liveAllocations();
#ifndef SVNSCC_UNDER_ASAN
        EXPECT_LT(withoutSub, withSub) << "removing the entry released nothing";
#endif
        ASSERT_EQ(provider.getFileStatus({"sub", "b.c"}), nullptr);
        ASSERT_TRUE(provider.saved({"sub", "b.c"}));
        ASSERT_TRUE(provider.getFile({"sub", "b.c"}, true));
        EXPECT_EQ(liveAllocations(), withoutSub) << "the removed entry's map was not released";

        ASSERT_TRUE(provider.refresh());
        EXPECT_TRUE(provider.statusCache.empty());
        EXPECT_EQ(liveAllocations(), empty) << "refresh left maps behind";

        // Filled again and left for the destructor.
        ASSERT_NE(provider.getFileStatus({"a.c"}), nullptr);
        ASSERT_EQ(provider.getFileStatus({"sub", "b.c"}), nullptr);
        ASSERT_TRUE(provider.saved({"sub", "b.c"}));
        ASSERT_NE(provider.getFileStatus({"sub", "b.c"}), nullptr);
    }
};

TEST_F(CacheMemoryTest, RefreshRemovalAndDestructionReleaseEveryMap)
{
    // A first round pays for whatever the toolkit keeps once it has been used.
    {
        TestableSVN warmUp;
        warmUp.setOption(SourceCodeControlOption::Executable, fake.executable());
        warmUp.localRootPath = rootPath;
        exercise(warmUp);
    }
    const long before = liveAllocations();
    for (int round = 0; round < 3; ++round) {
        auto* provider = new TestableSVN;
        provider->setOption(SourceCodeControlOption::Executable, fake.executable());
        provider->localRootPath = rootPath;
        exercise(*provider);
        delete provider;
        EXPECT_EQ(liveAllocations(), before) << "round " << round << ": the destroyed provider left allocations behind";
    }
#ifdef SVNSCC_UNDER_ASAN
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}

// Names and comments that a shell or an option parser would take apart reach
// the client as one argument each, byte for byte (Latin-1 included).
TEST_F(ProviderTest, OddCommentsReachTheClientAsSingleUnchangedArguments)
{
    const QStringList odd{
        QStringLiteral("with spaces  and  more"),
        QStringLiteral("\"double\" and 'single' quotes"),
        QStringLiteral("line\nfeed"),
        QStringLiteral("-leading-dash"),
        QStringLiteral("--force"),
        QStringLiteral("café 日本 \u00a0"),
        QStringLiteral("back\\slash $HOME `x` ; *"),
        QStringLiteral("\ttab"),
    };
    std::vector<ExpectedRun> runs;
    for (const QString& text : odd) {
        ASSERT_TRUE(svn.login(text, text, "svn://repo"));
        ASSERT_TRUE(svn.checkin({"f.c"}, text));
        const QStringList credentials = FakeSvn::auth(text, text);
        runs.push_back({QDir::currentPath(), QStringList{"info"} + credentials + QStringList{"svn://repo"}});
        runs.push_back({rootPath, QStringList{"commit", "-m", text} + credentials + QStringList{"f.c"}});
    }
    expectRuns(runs);
}

} // namespace
