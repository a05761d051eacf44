// Loads the installed plug-in as the README shows (built with
// QT_NO_CAST_FROM_ASCII, as IDE code bases are) and logs in to the
// repository named on the command line; WITH_UTILITIES, then asks the
// client's version through the utility library. Exit status 0 when all
// succeeds.

#include <svnscc/SourceCodeControlSystemProviderInterface.h>
#include <svnscc/svnscc_version.h>
#ifdef WITH_UTILITIES
#include <svnscc/QTxProcess.h>
#endif

#include <dlfcn.h>

#include <cstdio>

static_assert(SVNSCC_VERSION >= SVNSCC_VERSION_CHECK(1, 0, 0), "the headers of svnscc 1.0 or later");

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const QString url = QString::fromLocal8Bit(argv[1]);
    void* plugin = dlopen(SVNSCC_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    if (!plugin) {
        std::fprintf(stderr, "consumer: %s\n", dlerror());
        return 1;
    }
    auto allocate = reinterpret_cast<AllocateSourceCodeControlSystemInterfaceFn>(
        dlsym(plugin, "AllocateSourceCodeControlSystemInterface"));
    auto release = reinterpret_cast<ReleaseSourceCodeControlSystemInterfaceFn>(
        dlsym(plugin, "ReleaseSourceCodeControlSystemInterface"));
    SourceCodeControlSystemProviderInterface* provider = allocate ? allocate() : nullptr;
    if (!provider || !release)
        return 1;
    using namespace SourceCodeControlOption;
    provider->setOption(QLatin1String(Executable), QStringLiteral("svn"));
    provider->setOption(QLatin1String(RepositoryURL), url);
    provider->setOption(QLatin1String(LockSupported), QStringLiteral("Yes"));
    provider->setOption(QLatin1String(PasswordFromStdin), QStringLiteral("Yes"));
    provider->setOption(QLatin1String(Timeout), QStringLiteral("120"));
    const bool loggedIn = provider->login(QStringLiteral("consumer"), QStringLiteral("secret"), url);
    QString command;
    const QString error = provider->getLastError(command);
    if (!loggedIn)
        std::fprintf(stderr, "consumer: login failed: %s: %s\n", qPrintable(command), qPrintable(error));
    else
        std::printf("consumer: logged in through %s (headers %s)\n", SVNSCC_PLUGIN, SVNSCC_VERSION_STRING);
    release(provider); // never delete it
    dlclose(plugin);

#ifdef WITH_UTILITIES
    QStringList version, errors;
    if (QTx::spawnProcess({QStringLiteral("svn"), QStringLiteral("--version"), QStringLiteral("--quiet")}, true,
                          QString(), true, &version, &errors) != 0 || version.isEmpty())
        return 1;
    std::printf("consumer: svn %s, asked through the utility library\n", qPrintable(version.first()));
#endif
    return loggedIn ? 0 : 1;
}
