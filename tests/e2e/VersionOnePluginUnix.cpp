// A plug-in of the first interface only, as an older build is: the three
// entry points of version 1 hand out the real plug-in's providers, and
// AllocateSourceCodeControlSystemInterface2 is missing. Built with
// WITH_VERSION_TWO it is a plug-in of version 2: that entry point is there,
// AllocateSourceCodeControlSystemInterface3 is not.

#include <svnscc/SourceCodeControlSystemProviderInterface2.h>

#include <dlfcn.h>

#define EXPORTED __attribute__((visibility("default")))

namespace {

template <typename Function>
Function realEntry(const char* name)
{
    static void* const plugin = ::dlopen(PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    return reinterpret_cast<Function>(plugin ? ::dlsym(plugin, name) : nullptr);
}

} // namespace

extern "C" {

EXPORTED SourceCodeControlSystemProviderInterface* AllocateSourceCodeControlSystemInterface()
{
    const auto allocate =
        realEntry<AllocateSourceCodeControlSystemInterfaceFn>("AllocateSourceCodeControlSystemInterface");
    return allocate ? allocate() : nullptr;
}

#ifdef WITH_VERSION_TWO
EXPORTED SourceCodeControlSystemProviderInterface2* AllocateSourceCodeControlSystemInterface2()
{
    const auto allocate =
        realEntry<AllocateSourceCodeControlSystemInterface2Fn>("AllocateSourceCodeControlSystemInterface2");
    return allocate ? allocate() : nullptr;
}
#endif

EXPORTED void ReleaseSourceCodeControlSystemInterface(SourceCodeControlSystemProviderInterface* provider)
{
    if (const auto release =
            realEntry<ReleaseSourceCodeControlSystemInterfaceFn>("ReleaseSourceCodeControlSystemInterface"))
        release(provider);
}

EXPORTED void CancelSourceCodeControlSystemOperation(SourceCodeControlSystemProviderInterface* provider)
{
    if (const auto cancel =
            realEntry<CancelSourceCodeControlSystemOperationFn>("CancelSourceCodeControlSystemOperation"))
        cancel(provider);
}
}
