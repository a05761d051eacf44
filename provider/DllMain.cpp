#include "SVNInterface.h"

#include <new>

#define SVNSCC_EXPORT __attribute__((visibility("default")))

extern "C" SVNSCC_EXPORT SourceCodeControlSystemProviderInterface*
AllocateSourceCodeControlSystemInterface()
{
    // Null, not an exception, when there is no memory: nothing may reach the host.
    return new (std::nothrow) SVNInterface;
}

extern "C" SVNSCC_EXPORT SourceCodeControlSystemProviderInterface2*
AllocateSourceCodeControlSystemInterface2()
{
    // The same object: its first 24 slots are the base interface's.
    return new (std::nothrow) SVNInterface;
}

extern "C" SVNSCC_EXPORT SourceCodeControlSystemProviderInterface3*
AllocateSourceCodeControlSystemInterface3()
{
    // The same object again: the slots of versions 1 and 2 come first.
    return new (std::nothrow) SVNInterface;
}

extern "C" SVNSCC_EXPORT SourceCodeControlSystemProviderInterface4*
AllocateSourceCodeControlSystemInterface4()
{
    // The same object, answering version 4: the older entry points' objects
    // answer 3 as they always did.
    return new (std::nothrow) SVNInterface(4);
}

extern "C" SVNSCC_EXPORT void
CancelSourceCodeControlSystemOperation(SourceCodeControlSystemProviderInterface* provider)
{
    if (provider)
        static_cast<SVNInterface*>(provider)->cancelOperation();
}

extern "C" SVNSCC_EXPORT void
ReleaseSourceCodeControlSystemInterface(SourceCodeControlSystemProviderInterface* provider)
{
    // The interface has no virtual destructor: destroy through the concrete class.
    delete static_cast<SVNInterface*>(provider);
}
