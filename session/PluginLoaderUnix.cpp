#include "PluginLoader.h"

#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

#include <mutex>

namespace SvnScc {

struct PluginLoader::Private
{
    void* handle = nullptr;
    QString path;
    QString error;
    AllocateSourceCodeControlSystemInterfaceFn allocate = nullptr;
    AllocateSourceCodeControlSystemInterface2Fn allocate2 = nullptr;
    AllocateSourceCodeControlSystemInterface3Fn allocate3 = nullptr;
    AllocateSourceCodeControlSystemInterface4Fn allocate4 = nullptr;
    ReleaseSourceCodeControlSystemInterfaceFn release = nullptr;
    SourceCodeControlSystemProviderInterface2* provider2 = nullptr;
    SourceCodeControlSystemProviderInterface3* provider3 = nullptr;
    SourceCodeControlSystemProviderInterface4* provider4 = nullptr;
    int version = 0;
    // What cancel() reads from other threads: the owning thread changes
    // them only with the mutex held.
    std::mutex mutex;
    CancelSourceCodeControlSystemOperationFn cancel = nullptr;
    SourceCodeControlSystemProviderInterface* provider = nullptr;
};

PluginLoader::PluginLoader() : d(std::make_unique<Private>()) {}

PluginLoader::~PluginLoader()
{
    unload();
}

QString PluginLoader::installedPath()
{
    // The library this function is in: its folder is the installed library
    // folder, and the plug-in lies below it as the install layout puts it.
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&PluginLoader::installedPath), &info) == 0 || !info.dli_fname)
        return QString();
    return QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath() + QLatin1Char('/')
        + QLatin1String(SVNSCC_SESSION_PLUGIN_RELATIVE);
}

bool PluginLoader::load(const QString& path)
{
    if (d->handle) {
        d->error = QStringLiteral("the plug-in is loaded already");
        return false;
    }
    if (!QFileInfo::exists(path)) {
        d->error = QStringLiteral("no plug-in at %1").arg(path);
        return false;
    }
    // RTLD_NODELETE: the library stays mapped after its dlclose(), so that a
    // value it handed out (a text pointing into its read-only data, a
    // function of it) stays valid when the caller reads it after unload().
    void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        const char* reason = ::dlerror();
        d->error = QStringLiteral("cannot load the plug-in %1: %2")
                       .arg(path, reason ? QString::fromLocal8Bit(reason) : QStringLiteral("unknown reason"));
        return false;
    }
    const auto allocate = reinterpret_cast<AllocateSourceCodeControlSystemInterfaceFn>(
        ::dlsym(handle, "AllocateSourceCodeControlSystemInterface"));
    const auto release = reinterpret_cast<ReleaseSourceCodeControlSystemInterfaceFn>(
        ::dlsym(handle, "ReleaseSourceCodeControlSystemInterface"));
    if (!allocate || !release) {
        d->error = QStringLiteral("%1 lacks the provider entry points").arg(path);
        ::dlclose(handle);
        return false;
    }
    d->handle = handle;
    d->path = path;
    d->allocate = allocate;
    d->release = release;
    // Optional: a plug-in that offers version 1 only, or cannot cancel, is
    // loaded all the same.
    d->allocate2 = reinterpret_cast<AllocateSourceCodeControlSystemInterface2Fn>(
        ::dlsym(handle, "AllocateSourceCodeControlSystemInterface2"));
    d->allocate3 = reinterpret_cast<AllocateSourceCodeControlSystemInterface3Fn>(
        ::dlsym(handle, "AllocateSourceCodeControlSystemInterface3"));
    d->allocate4 = reinterpret_cast<AllocateSourceCodeControlSystemInterface4Fn>(
        ::dlsym(handle, "AllocateSourceCodeControlSystemInterface4"));
    const auto cancel = reinterpret_cast<CancelSourceCodeControlSystemOperationFn>(
        ::dlsym(handle, "CancelSourceCodeControlSystemOperation"));
    const std::lock_guard<std::mutex> lock(d->mutex);
    d->cancel = cancel;
    d->error.clear();
    return true;
}

bool PluginLoader::isLoaded() const
{
    return d->handle != nullptr;
}

SourceCodeControlSystemProviderInterface* PluginLoader::allocate(int minimumVersion)
{
    if (!d->handle || d->provider) {
        d->error = d->handle ? QStringLiteral("a provider exists already") : QStringLiteral("no plug-in is loaded");
        return nullptr;
    }
    if (minimumVersion >= 2 && !d->allocate2 && !d->allocate3) {
        d->error = QStringLiteral("the plug-in %1 has no version-2 interface "
                                  "(AllocateSourceCodeControlSystemInterface2): it is older than this program")
                       .arg(d->path);
        return nullptr;
    }
    if (minimumVersion >= 3 && !d->allocate3) {
        d->error = QStringLiteral("the plug-in %1 has no version-3 interface "
                                  "(AllocateSourceCodeControlSystemInterface3): it is older than this program")
                       .arg(d->path);
        return nullptr;
    }
    // The newest entry point the plug-in offers; its object is every older
    // version's provider too.
    SourceCodeControlSystemProviderInterface4* provider4 = d->allocate4 ? d->allocate4() : nullptr;
    SourceCodeControlSystemProviderInterface3* provider3 = d->allocate4 ? provider4
        : d->allocate3                                                 ? d->allocate3()
                                                                       : nullptr;
    SourceCodeControlSystemProviderInterface2* provider2 = d->allocate4 || d->allocate3 ? provider3
        : d->allocate2                                                 ? d->allocate2()
                                                                       : nullptr;
    SourceCodeControlSystemProviderInterface* provider =
        d->allocate4 || d->allocate3 || d->allocate2 ? provider2 : d->allocate();
    if (!provider) {
        d->error = QStringLiteral("the plug-in gave no provider (out of memory)");
        return nullptr;
    }
    const int version = provider2 ? provider2->interfaceVersion() : 1;
    if (version < minimumVersion) {
        d->error = QStringLiteral("the plug-in %1 answers interface version %2, not %3")
                       .arg(d->path)
                       .arg(version)
                       .arg(minimumVersion);
        d->release(provider);
        return nullptr;
    }
    d->provider2 = provider2;
    d->provider3 = version >= 3 ? provider3 : nullptr;
    d->provider4 = version >= 4 ? provider4 : nullptr;
    d->version = version;
    const std::lock_guard<std::mutex> lock(d->mutex);
    d->provider = provider;
    d->error.clear();
    return provider;
}

SourceCodeControlSystemProviderInterface* PluginLoader::provider() const
{
    return d->provider;
}

SourceCodeControlSystemProviderInterface2* PluginLoader::provider2() const
{
    return d->provider2;
}

SourceCodeControlSystemProviderInterface3* PluginLoader::provider3() const
{
    return d->provider3;
}

SourceCodeControlSystemProviderInterface4* PluginLoader::provider4() const
{
    return d->provider4;
}

int PluginLoader::interfaceVersion() const
{
    return d->provider ? d->version : 0;
}

void PluginLoader::cancel()
{
    // The plug-in's cancel only sends a signal, so holding the lock for it
    // keeps release() waiting no longer than that.
    const std::lock_guard<std::mutex> lock(d->mutex);
    if (d->provider && d->cancel)
        d->cancel(d->provider);
}

void PluginLoader::release()
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    if (d->provider)
        d->release(d->provider);
    d->provider = nullptr;
    d->provider2 = nullptr;
    d->provider3 = nullptr;
    d->provider4 = nullptr;
    d->version = 0;
}

void PluginLoader::unload()
{
    release();
    if (d->handle)
        ::dlclose(d->handle);
    d->handle = nullptr;
    d->allocate = nullptr;
    d->allocate2 = nullptr;
    d->allocate3 = nullptr;
    d->release = nullptr;
    const std::lock_guard<std::mutex> lock(d->mutex);
    d->cancel = nullptr;
}

QString PluginLoader::errorString() const
{
    return d->error;
}

} // namespace SvnScc
