// The plug-in as a host sees it: dlopen, the two entry points, the interface.

#include "FakeSvn.h"
#include "QtPrinters.h"
#include <svnscc/SourceCodeControlSystemProviderInterface.h>

#include <dlfcn.h>

#include <gtest/gtest.h>

namespace {

TEST(Plugin, LoadsAllocatesRunsAndReleases)
{
    void* handle = ::dlopen(PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    auto allocate = reinterpret_cast<AllocateSourceCodeControlSystemInterfaceFn>(
        ::dlsym(handle, "AllocateSourceCodeControlSystemInterface"));
    auto release = reinterpret_cast<ReleaseSourceCodeControlSystemInterfaceFn>(
        ::dlsym(handle, "ReleaseSourceCodeControlSystemInterface"));
    ASSERT_NE(allocate, nullptr);
    ASSERT_NE(release, nullptr);
    // Nothing else is exported: not even the provider class.
    EXPECT_EQ(::dlsym(handle, "_ZN12SVNInterfaceC1Ei"), nullptr);
    EXPECT_EQ(::dlsym(handle, "_ZN3QTx12spawnProcessERK11QStringListbRK7QStringbPS0_S6_"), nullptr);

    SourceCodeControlSystemProviderInterface* first = allocate();
    SourceCodeControlSystemProviderInterface* second = allocate();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first, second);

    FakeSvn fake;
    fake.respond("", "svn: E170001: Authentication failed\n", 1);
    EXPECT_TRUE(first->setOption(SourceCodeControlOption::Executable, fake.executable()));
    EXPECT_FALSE(first->login("ann", "bad", "svn://r"));
    QString command;
    EXPECT_EQ(first->getLastError(command), "svn: E170001: Authentication failed");
    EXPECT_EQ(command, "info");
    // Providers share nothing.
    EXPECT_TRUE(second->getLastError(command).isNull());
    EXPECT_TRUE(command.isNull());

    release(first);
    release(second);
    release(nullptr);
    ::dlclose(handle);
}

} // namespace
