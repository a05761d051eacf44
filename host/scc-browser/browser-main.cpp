// scc-browser: a graphical host of the Subversion provider plug-in. It loads
// the plug-in with dlopen, exactly as an IDE does, binds an existing working
// copy and shows its files with their status, the repository's folders, and
// the file operations. It knows only the abstract interface and the exported
// entry points.

#include "BrowserWindow.h"
#include "CommandLogFeed.h"
#include "HostOptions.h"
#include "HostSignals.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPixmap>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

QString browserUsage()
{
    return QStringLiteral(
        "usage: scc-browser [options] --root DIR\n"
        "\n"
        "Shows the Subversion working copy DIR with the status of each file,\n"
        "the repository's folders, and the provider's file operations (add, get\n"
        "latest, check out, undo check-out, check in, get a revision). The\n"
        "provider plug-in is loaded with dlopen and used from a thread of its own.\n"
        "\n"
        "Options:\n"
        "  --plugin FILE         the plug-in library to load (default: %1)\n"
        "  --svn PROGRAM         the svn client the provider runs (default: svn)\n"
        "  --url URL             the repository URL (browsed in the repository pane)\n"
        "  --user NAME           user name for login; without it login is skipped\n"
        "  --password-file FILE  read the password from the first line of FILE\n"
        "  --password-stdin      read the password from the first line of standard input\n"
        "  --root DIR            the local root: an existing working copy\n"
        "  --repository-root P   DIR's path below the URL; with it DIR is checked out\n"
        "                        there when it is not a working copy yet\n"
        "  --locking yes|no      offer check-out (locking) (default: no)\n"
        "  --timeout SECONDS     end an svn run silent for longer (default 120, 0: no limit)\n"
        "  --verbose             also print the Commands pane's lines (every svn run of the\n"
        "                        provider) on standard error\n"
        "  --screenshot FILE     wait until everything is read, save the window as an\n"
        "                        image (PNG) in FILE, and quit\n"
        "  -h, --help            this text\n"
        "\n"
        "The password reaches each svn run on its standard input, never as an\n"
        "argument.\n")
        .arg(defaultPluginPath());
}

// Takes "--screenshot FILE" out of the arguments; false when FILE is missing.
bool takeScreenshotOption(QStringList& arguments, QString& file)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--screenshot"));
    if (at < 0)
        return true;
    if (at + 1 >= arguments.size())
        return false;
    file = arguments.at(at + 1);
    arguments.remove(at, 2);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // Before any thread exists, so that all of them leave SIGINT and SIGTERM
    // to the thread that also stops the running svn client.
    stopChildrenWithHost();
    // The help needs no display.
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--help") == 0 || qstrcmp(argv[i], "-h") == 0) {
            QCoreApplication app(argc, argv);
            QTextStream(stdout) << browserUsage();
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("scc-browser"));
    QTextStream err(stderr);

    QStringList arguments = app.arguments().mid(1);
    QString screenshot;
    HostOptions options;
    options.plugin = defaultPluginPath();
    options.svnExecutable = QStringLiteral("svn");
    QString problem = takeScreenshotOption(arguments, screenshot)
        ? parseHostOptions(arguments, options)
        : QStringLiteral("--screenshot needs a value");
    if (problem.isEmpty() && !options.command.isEmpty())
        problem = QStringLiteral("unexpected argument %1").arg(options.command);
    if (problem.isEmpty() && options.localRoot.isNull())
        problem = QStringLiteral("--root DIR is needed");
    if (!problem.isEmpty()) {
        err << "scc-browser: " << problem << "\nTry scc-browser --help.\n";
        return 2;
    }

    CommandLogFeed::instance()->setEcho(options.verbose);
    BrowserWindow window(options);
    window.resize(1100, 650);
    int status = 0;
    if (!screenshot.isEmpty()) {
        window.setErrorDialogsEnabled(false);
        QObject::connect(&window, &BrowserWindow::opened, &window, [&status](bool ok) {
            if (!ok)
                status = 1;
        });
        // Everything queued at the start has finished: the opening, the
        // status pass and the repository listings down to the local root.
        QObject::connect(&window, &BrowserWindow::idle, &window, [&] {
            QTimer::singleShot(0, &window, [&] {
                if (!window.grab().save(screenshot)) {
                    err << "scc-browser: cannot write " << screenshot << "\n";
                    status = 1;
                }
                err.flush();
                QApplication::exit(status);
            });
        }, Qt::SingleShotConnection);
    }
    window.show();
    window.start();
    return app.exec();
}
