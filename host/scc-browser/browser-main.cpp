// scc-browser: a graphical host of the Subversion provider plug-in, built on
// the session library: it loads the plug-in, binds an existing working copy
// and shows its files with their live status, the repository's folders, the
// history, annotate, diff and changes views, and the operations.

#include "BrowserWindow.h"
#include "HostOptions.h"
#include "HostSignals.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLoggingCategory>
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
        "Shows the Subversion working copy DIR with the status of each file, kept\n"
        "right as files change, the repository's folders, the history, annotate,\n"
        "diff and changes views, and the operations (add, get latest, check out,\n"
        "undo check-out, check in, get a revision, update, revert, delete, rename,\n"
        "resolve). The provider plug-in is loaded and used from a thread of its own.\n"
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
        "  --log PATH            once open, show the history of PATH (. for the whole\n"
        "                        working copy) in the Log tab\n"
        "  --screenshot FILE     wait until everything is read, save the window as an\n"
        "                        image (PNG) in FILE, and quit\n"
        "  -h, --help            this text\n"
        "\n"
        "The password reaches each svn run on its standard input, never as an\n"
        "argument.\n")
        .arg(defaultPluginPath());
}

// Takes "OPTION VALUE" out of the arguments; false when VALUE is missing.
bool takeOption(QStringList& arguments, const QString& option, QString& value)
{
    const qsizetype at = arguments.indexOf(option);
    if (at < 0)
        return true;
    if (at + 1 >= arguments.size())
        return false;
    value = arguments.at(at + 1);
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
    QString screenshot, logPath;
    HostOptions options;
    options.plugin = defaultPluginPath();
    options.svnExecutable = QStringLiteral("svn");
    QString problem = !takeOption(arguments, QStringLiteral("--screenshot"), screenshot)
        ? QStringLiteral("--screenshot needs a value")
        : !takeOption(arguments, QStringLiteral("--log"), logPath) ? QStringLiteral("--log needs a value")
                                                                    : parseHostOptions(arguments, options);
    if (problem.isEmpty() && !options.command.isEmpty())
        problem = QStringLiteral("unexpected argument %1").arg(options.command);
    if (problem.isEmpty() && options.localRoot.isNull())
        problem = QStringLiteral("--root DIR is needed");
    if (!problem.isEmpty()) {
        err << "scc-browser: " << problem << "\nTry scc-browser --help.\n";
        return 2;
    }

    // The host's own rule: the session passes the command log on to the
    // message handler (standard error) as well as to the Commands pane.
    if (options.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("svnscc.client.debug=true"));
    BrowserWindow window(options);
    if (!logPath.isNull())
        QObject::connect(&window, &BrowserWindow::opened, &window, [&window, logPath](bool ok) {
            if (ok)
                window.showLog(logPath == QLatin1String(".") ? QString() : logPath);
        });
    window.resize(1280, 720);
    int status = 0;
    if (!screenshot.isEmpty()) {
        window.setErrorDialogsEnabled(false);
        QObject::connect(&window, &BrowserWindow::opened, &window, [&status](bool ok) {
            if (!ok)
                status = 1;
        });
        // Everything asked at the start has finished: the opening, the
        // status pass, the history and the repository listings down to the
        // local root.
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
