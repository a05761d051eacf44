// scc-host: placeholder until the host program lands; loads the plug-in and
// checks that a provider can be made and released.

#include "SourceCodeControlSystemProviderInterface.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    const char* plugin = DEFAULT_PLUGIN_PATH;
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], "--plugin"))
            plugin = argv[i + 1];
    void* handle = ::dlopen(plugin, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "scc-host: %s\n", ::dlerror());
        return 1;
    }
    auto allocate = reinterpret_cast<AllocateSourceCodeControlSystemInterfaceFn>(
        ::dlsym(handle, "AllocateSourceCodeControlSystemInterface"));
    auto release = reinterpret_cast<ReleaseSourceCodeControlSystemInterfaceFn>(
        ::dlsym(handle, "ReleaseSourceCodeControlSystemInterface"));
    if (!allocate || !release) {
        std::fprintf(stderr, "scc-host: entry points missing in %s\n", plugin);
        return 1;
    }
    SourceCodeControlSystemProviderInterface* provider = allocate();
    bool ok = provider && !provider->checkOutSupported();
    release(provider);
    ::dlclose(handle);
    std::printf("scc-host: plug-in %s %s\n", plugin, ok ? "loads" : "misbehaves");
    return ok ? 0 : 1;
}
