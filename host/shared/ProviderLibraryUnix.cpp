#include "ProviderLibrary.h"

#include <dlfcn.h>

ProviderLibrary::~ProviderLibrary()
{
    unload();
}

bool ProviderLibrary::load(const QString& path)
{
    if (m_handle) {
        m_error = QStringLiteral("a library is already loaded");
        return false;
    }
    void* handle = ::dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = ::dlerror();
        m_error = reason ? QString::fromLocal8Bit(reason)
                         : QStringLiteral("cannot open %1").arg(path);
        return false;
    }
    auto allocateFn = reinterpret_cast<AllocateSourceCodeControlSystemInterfaceFn>(
        ::dlsym(handle, "AllocateSourceCodeControlSystemInterface"));
    auto releaseFn = reinterpret_cast<ReleaseSourceCodeControlSystemInterfaceFn>(
        ::dlsym(handle, "ReleaseSourceCodeControlSystemInterface"));
    if (!allocateFn || !releaseFn) {
        m_error = QStringLiteral("%1 lacks the provider entry points").arg(path);
        ::dlclose(handle);
        return false;
    }
    // Optional: a plug-in that cannot cancel, or offers version 1 only, is
    // used all the same.
    auto cancelFn = reinterpret_cast<CancelSourceCodeControlSystemOperationFn>(
        ::dlsym(handle, "CancelSourceCodeControlSystemOperation"));
    m_allocate2 = reinterpret_cast<AllocateSourceCodeControlSystemInterface2Fn>(
        ::dlsym(handle, "AllocateSourceCodeControlSystemInterface2"));
    m_handle = handle;
    m_allocate = allocateFn;
    m_release = releaseFn;
    {
        const std::lock_guard<std::mutex> lock(m_cancelMutex);
        m_cancel = cancelFn;
    }
    m_error.clear();
    return true;
}

SourceCodeControlSystemProviderInterface* ProviderLibrary::allocate()
{
    if (!m_handle || m_provider)
        return nullptr;
    SourceCodeControlSystemProviderInterface2* provider2 = m_allocate2 ? m_allocate2() : nullptr;
    SourceCodeControlSystemProviderInterface* provider = m_allocate2 ? provider2 : m_allocate();
    const std::lock_guard<std::mutex> lock(m_cancelMutex);
    m_provider = provider;
    m_provider2 = provider2;
    return m_provider;
}

void ProviderLibrary::cancelOperation()
{
    // The plug-in's cancel never blocks, so holding the lock for it keeps
    // release() waiting no longer than a signal takes to send.
    const std::lock_guard<std::mutex> lock(m_cancelMutex);
    if (m_provider && m_cancel)
        m_cancel(m_provider);
}

void ProviderLibrary::release()
{
    const std::lock_guard<std::mutex> lock(m_cancelMutex);
    if (m_provider && m_release)
        m_release(m_provider);
    m_provider = nullptr;
    m_provider2 = nullptr;
}

void ProviderLibrary::unload()
{
    release();
    if (m_handle)
        ::dlclose(m_handle);
    m_handle = nullptr;
    m_allocate = nullptr;
    m_allocate2 = nullptr;
    m_release = nullptr;
    const std::lock_guard<std::mutex> lock(m_cancelMutex);
    m_cancel = nullptr;
}
