// scc-host: loads the Subversion provider plug-in with dlopen, exactly as an
// IDE does, and runs one provider operation (or the demo life cycle). It knows
// only the abstract interface and the exported entry points.

#include "ClientLog.h"
#include "Demo.h"
#include "HostCommands.h"
#include "HostOptions.h"
#include "HostSignals.h"
#include "PluginLoader.h"
#include "TerminalQuestions.h"
#include "Version3Commands.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <memory>

#include <unistd.h>

namespace {

QtMessageHandler s_previousHandler = nullptr;

// --verbose: the plug-in's command log on standard error, one plain line a
// message; every other message goes where it went before.
void printClientLog(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (isClientLog(context)) {
        const QByteArray line = message.toLocal8Bit() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
        return;
    }
    if (s_previousHandler)
        s_previousHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv)
{
    // Before any thread exists, so that all of them leave the two signals to it.
    stopChildrenWithHost();
    // The provider's strings are Qt strings; the host owns the application object.
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    HostOptions options;
    options.plugin = defaultPluginPath();
    options.svnExecutable = QStringLiteral("svn");
    QString problem = parseHostOptions(app.arguments().mid(1), options);
    if (problem.isEmpty() && !options.help)
        problem = version3UsageProblem(options);
    if (!problem.isEmpty()) {
        err << "scc-host: " << problem << "\nTry scc-host --help.\n";
        return 2;
    }
    if (options.help) {
        out << hostUsage();
        return 0;
    }
    if (options.command.isEmpty()) {
        err << hostUsage();
        return 2;
    }
    if (options.verbose) {
        s_previousHandler = qInstallMessageHandler(printClientLog);
        enableClientLog();
    }

    // Made before the library, so that it outlives the provider that asks it.
    std::unique_ptr<TerminalQuestions> questions;
    SvnScc::PluginLoader library;
    if (!library.load(options.plugin)) {
        err << "scc-host: cannot load the plug-in: " << library.errorString() << "\n";
        return 1;
    }
    SourceCodeControlSystemProviderInterface* provider = library.allocate();
    if (!provider) {
        err << "scc-host: the plug-in made no provider\n";
        return 1;
    }

    // --ask: only a person at a terminal is asked; with standard input a
    // pipe or a file nothing is, as without --ask (the client's error at once).
    if (options.ask && library.provider3() && ::isatty(STDIN_FILENO)) {
        questions = std::make_unique<TerminalQuestions>(STDIN_FILENO, stderr);
        library.provider3()->setPromptHandler(questions.get());
    }

    // SIGINT or SIGTERM cancels the running operation, so that it ends at
    // once (and a write cleans up after itself), and scc-host ends when it
    // has returned.
    setStopHandler([&library] { library.cancel(); });
    int status = 1;
    if (options.command == QLatin1String("demo")) {
        status = runDemo(*provider, library.provider2(), options.svnExecutable, options.keepDirectory, out, err);
    } else if (configureProvider(*provider, options, err)) {
        status = runHostCommand(*provider, library.provider2(), library.provider3(), options, out, err);
    }
    setStopHandler(nullptr);
    out.flush();
    err.flush();
    library.unload();
    waitIfStopping();
    return status;
}
