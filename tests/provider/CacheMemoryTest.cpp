// The status cache gives back every per-folder map it made (checked by
// LeakSanitizer in the sanitizer build), and the test binary's operator new,
// which a test can make fail.

#include "ProviderFixture.h"

#include "FailingAllocation.h"
#include "SanitizerBuild.h"

#include <cstdlib>
#include <new>

#ifdef SVNSCC_UNDER_ASAN
#include <sanitizer/lsan_interface.h>
#endif

long g_allocationsBeforeFailure = -1;

// ThreadSanitizer brings an operator new of its own; allocation failures are
// not injected there.
#ifndef SVNSCC_UNDER_TSAN
void* operator new(std::size_t size)
{
    if (g_allocationsBeforeFailure >= 0 && g_allocationsBeforeFailure-- == 0)
        throw std::bad_alloc();
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}

// The plug-in loaded by this binary allocates its provider this way and frees it with the delete below.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#endif

namespace {

#ifdef SVNSCC_UNDER_ASAN
TEST_F(ProviderTest, EveryWayOfDroppingACacheEntryReleasesItsRecords)
{
    makeWorkingCopy();
    ASSERT_TRUE(QDir().mkpath(rootPath + "/sub"));
    fake.respondAlways("M       3        2 ann          a.c\n"
                       "     K*        3        2 ann          b.c\n"
                       "Status against revision:      3\n");
    auto* provider = new SVNInterface;
    provider->setOption(SourceCodeControlOption::Executable, fake.executable());
    SVNInterfaceSeam(*provider).bind(rootPath, QString());
    // Filled, a folder that is no working copy given a map by saved(), that
    // entry dropped by getFile(), everything dropped by refresh(), then
    // filled again and left for the destructor.
    ASSERT_NE(SVNInterfaceSeam(*provider).record({"a.c"}), nullptr);
    ASSERT_EQ(SVNInterfaceSeam(*provider).record({"sub", "b.c"}), nullptr);
    ASSERT_TRUE(provider->saved({"sub", "b.c"}));
    ASSERT_TRUE(SVNInterfaceSeam(*provider).statusCache().find(rootPath + "/sub")->listed);
    ASSERT_TRUE(provider->getFile({"sub", "b.c"}, true));
    EXPECT_EQ(SVNInterfaceSeam(*provider).statusCache().find(rootPath + "/sub"), nullptr);
    ASSERT_TRUE(provider->refresh());
    ASSERT_NE(SVNInterfaceSeam(*provider).record({"a.c"}), nullptr);
    ASSERT_TRUE(provider->saved({"sub", "b.c"}));
    delete provider;
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
}
#endif

} // namespace
