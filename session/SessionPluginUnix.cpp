#include "SessionPlugin.h"

#include <QFileInfo>

#include <dlfcn.h>

namespace SvnScc {

SessionPlugin::~SessionPlugin()
{
    release();
    if (m_handle)
        ::dlclose(m_handle);
}

QString SessionPlugin::installedPath()
{
    // The library this function is in: its folder is the installed library
    // folder, and the plug-in lies below it as the install layout puts it.
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&SessionPlugin::installedPath), &info) == 0 || !info.dli_fname)
        return QString();
    return QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath() + QLatin1Char('/')
        + QLatin1String(SVNSCC_SESSION_PLUGIN_RELATIVE);
}

bool SessionPlugin::load(const QString& path)
{
    if (m_handle) {
        m_error = QStringLiteral("the plug-in is loaded already");
        return false;
    }
    if (!QFileInfo::exists(path)) {
        m_error = QStringLiteral("no plug-in at %1").arg(path);
        return false;
    }
    void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = ::dlerror();
        m_error = QStringLiteral("cannot load the plug-in %1: %2")
                      .arg(path, reason ? QString::fromLocal8Bit(reason) : QStringLiteral("unknown reason"));
        return false;
    }
    const auto allocate = reinterpret_cast<AllocateSourceCodeControlSystemInterface2Fn>(
        ::dlsym(handle, "AllocateSourceCodeControlSystemInterface2"));
    const auto release = reinterpret_cast<ReleaseSourceCodeControlSystemInterfaceFn>(
        ::dlsym(handle, "ReleaseSourceCodeControlSystemInterface"));
    const auto cancel = reinterpret_cast<CancelSourceCodeControlSystemOperationFn>(
        ::dlsym(handle, "CancelSourceCodeControlSystemOperation"));
    if (!allocate || !release) {
        m_error = QStringLiteral("the plug-in %1 has no version-2 interface (AllocateSourceCodeControlSystemInterface2): "
                                 "it is older than this session library")
                      .arg(path);
        ::dlclose(handle);
        return false;
    }
    m_handle = handle;
    m_allocate = allocate;
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_release = release;
    m_cancel = cancel;
    return true;
}

SourceCodeControlSystemProviderInterface2* SessionPlugin::allocate()
{
    if (!m_allocate || m_provider)
        return nullptr;
    SourceCodeControlSystemProviderInterface2* provider = m_allocate();
    if (!provider) {
        m_error = QStringLiteral("the plug-in gave no provider (out of memory)");
        return nullptr;
    }
    if (provider->interfaceVersion() < 2) {
        m_error = QStringLiteral("the plug-in's provider answers interface version %1, not 2")
                      .arg(provider->interfaceVersion());
        m_release(provider);
        return nullptr;
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_provider = provider;
    return provider;
}

void SessionPlugin::cancel()
{
    // The plug-in's cancel only sends a signal, so holding the lock for it
    // keeps release() waiting no longer than that.
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_provider && m_cancel)
        m_cancel(m_provider);
}

void SessionPlugin::release()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_provider)
        m_release(m_provider);
    m_provider = nullptr;
}

} // namespace SvnScc
