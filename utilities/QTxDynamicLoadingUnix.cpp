#include "QTxDynamicLoading.h"

#include <dlfcn.h>

namespace QTx {

void* loadDLL(const QString& path)
{
    return ::dlopen(path.toLatin1().constData(), RTLD_LAZY);
}

const char* getloadDLLerror()
{
    return ::dlerror();
}

void* getDLLAddress(void* handle, const QString& symbol)
{
    return ::dlsym(handle, symbol.toLatin1().constData());
}

int unloadDLL(void* handle)
{
    return ::dlclose(handle);
}

} // namespace QTx
