#include "QTxDynamicLoading.h"

#include "EightBit.h"

#include <dlfcn.h>

namespace QTx {

void* loadDLL(const QString& path)
{
    return ::dlopen(toEightBit(path).constData(), RTLD_LAZY);
}

const char* getloadDLLerror()
{
    return ::dlerror();
}

void* getDLLAddress(void* handle, const QString& symbol)
{
    return ::dlsym(handle, toEightBit(symbol).constData());
}

int unloadDLL(void* handle)
{
    return ::dlclose(handle);
}

} // namespace QTx
