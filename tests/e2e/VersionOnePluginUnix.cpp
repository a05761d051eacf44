// A plug-in of the first interface only, as an older build is: the three
// entry points of version 1 hand out the real plug-in's providers, and
// AllocateSourceCodeControlSystemInterface2 is missing.

#include <svnscc/SourceCodeControlSystemProviderInterface.h>

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
