// What the status pass answers, and what it costs, in the states a team's
// working copy reaches, each compared with the client's own
// "svn status -u -v" of the file: writes read back locally, folders the
// client prints no summary for, changelists, names with blanks, an external
// on a stopped server, a working copy that needs an upgrade, and names only
// the disk knows.

#include "E2EFixture.h"

#include <sqlite3.h>

#include <functional>

namespace {

class StatusDecisions : public E2EFixture
{
protected:
    void SetUp() override
    {
        E2EFixture::SetUp();
        if (HasFatalFailure())
            return;
        m_root = annChecksOut({"project/f.txt", "project/g.txt", "project/o.txt", "project/p.txt", "project/r.txt",
                               "project/util/y.c", "project/util/z.c"});
        loginAs("ann");
        bindWorkingCopy(m_root);
        countClientRuns();
    }

    /** Bob's own checkout of project/, made on first use. */
    QString bob()
    {
        const QString bobs = m_base + "/bob";
        if (!QFileInfo::exists(bobs))
            svnOk({"checkout", urlOf("project"), bobs});
        return bobs;
    }

    /** A provider of its own on the working copy, as a second IDE window would be, with `scope`. */
    SourceCodeControlSystemProviderInterface* another(SvnScc::PluginLoader& library, const char* scope)
    {
        EXPECT_TRUE(library.load(pluginPath()));
        SourceCodeControlSystemProviderInterface* provider = library.allocate();
        provider->setOption(QLatin1String(SourceCodeControlOption::RepositoryURL), m_url);
        provider->setOption(QLatin1String(SourceCodeControlOption::StatusScope), scope);
        countClientRuns(provider);
        EXPECT_TRUE(provider->login("ann", passwordOf("ann"), m_url));
        bindWorkingCopy(m_root, provider);
        return provider;
    }

    /**
     * How `provider`'s status of `path` (below `root`, the test's working
     * copy by default) differs from the client's "svn status -u -v"; empty
     * when they agree.
     */
    QString difference(SourceCodeControlSystemProviderInterface* provider, const QString& path,
                       const QString& root = QString())
    {
        std::swap(provider, m_provider);
        const QString text = differenceWithClient(root.isNull() ? m_root : root, path);
        std::swap(provider, m_provider);
        return text;
    }

    /** The subcommands of the client runs since run `from`, with the target (the last argument) of each. */
    QStringList runsSince(int from)
    {
        QStringList shown;
        const QStringList runs = clientRuns();
        for (qsizetype i = from; i < runs.size(); ++i) {
            const QStringList words = runs[i].split(' ');
            shown << words.first() + (words.contains("--verbose") ? " -v" : "")
                    + (words.contains("--show-updates") ? " -u" : "");
        }
        return shown;
    }

    QString m_root;
};

} // namespace

TEST_F(StatusDecisions, EveryWriteIsReadBackLocallyAndKeepsWhatOnlyTheServerKnows)
{
    // Bob commits newer g.txt and p.txt and locks o.txt.
    const QString bobs = bob();
    writeBytes(bobs + "/g.txt", "bob's g\n");
    writeBytes(bobs + "/p.txt", "bob's p\n");
    svnOk({"commit", "-m", "bob", bobs});
    svnOk({"lock", bobs + "/o.txt"});
    for (const char* path : {"g.txt", "o.txt", "p.txt", "r.txt"})
        EXPECT_EQ(differenceWithClient(m_root, path), QString()) << path; // one online run of the folder

    struct Step
    {
        const char* what;
        std::function<bool()> operation;
        const char* path;
        QStringList runs; // what the client ran for it
    };
    const Step steps[] = {
        {"saved() after an edit keeps the out-of-date mark",
         [&] { writeBytes(m_root + "/g.txt", "ann's g\n"); return m_provider->saved({"g.txt"}); },
         "g.txt", {"status -v"}},
        {"saved() keeps a lock held elsewhere",
         [&] { writeBytes(m_root + "/o.txt", "ann's o\n"); return m_provider->saved({"o.txt"}); },
         "o.txt", {"status -v"}},
        {"getFile discarding an edit", [&] { return m_provider->getFile({"g.txt"}, false); },
         "g.txt", {"status -v", "update", "status -v"}},
        {"checkin clears an out-of-date mark the terminal's update made stale",
         [&] {
             svnOk({"update", m_root + "/p.txt"}, "ann");
             writeBytes(m_root + "/p.txt", "ann's p\n");
             return m_provider->checkin({"p.txt"}, "ann's p");
         },
         "p.txt", {"commit", "status -v"}},
        {"a lock", [&] { return m_provider->checkout({"f.txt"}, "editing", false); },
         "f.txt", {"lock", "status -v"}},
        {"an unlock", [&] { return m_provider->undoCheckout({"f.txt"}, false); },
         "f.txt", {"unlock", "status -v"}},
        {"a lock replacing a file edited outside the IDE",
         [&] { writeBytes(m_root + "/r.txt", "edited in a terminal\n"); return m_provider->checkout({"r.txt"}, "c", true); },
         "r.txt", {"status -v", "update", "lock", "status -v"}},
        {"getFile of a property change",
         [&] { svnOk({"propset", "colour", "red", m_root + "/util/y.c"}, "ann"); return m_provider->getFile({"util", "y.c"}, false); },
         "util/y.c", {"status -v", "revert", "update"}},
        {"getFile of a replaced file",
         [&] {
             svnOk({"rm", m_root + "/util/z.c"}, "ann");
             writeBytes(m_root + "/util/z.c", "replaced\n");
             svnOk({"add", m_root + "/util/z.c"}, "ann");
             return m_provider->getFile({"util", "z.c"}, false);
         },
         "util/z.c", {"status -v", "revert", "update", "status -v"}}, // util/ is cached by now
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const int before = int(clientRuns().size());
        EXPECT_TRUE(step.operation()) << lastError().toStdString();
        EXPECT_EQ(runsSince(before), step.runs);
        EXPECT_EQ(differenceWithClient(m_root, step.path), QString());
    }
    EXPECT_EQ(readBytes(m_root + "/r.txt"), "project/r.txt\n");
    EXPECT_EQ(readBytes(m_root + "/util/z.c"), "project/util/z.c\n");
}

TEST_F(StatusDecisions, FoldersWithoutASummaryChangelistsAndNamesWithBlanksReadAsTheClientShowsThem)
{
    // An added folder, a folder a colleague renamed, a changelist, a name with a leading blank.
    QDir().mkpath(m_root + "/newdir");
    writeBytes(m_root + "/newdir/q.txt", "q\n");
    svnOk({"add", m_root + "/newdir"}, "ann");
    const QString bobs = bob();
    svnOk({"mv", bobs + "/util", bobs + "/util2"});
    svnOk({"commit", "-m", "renamed", bobs});
    writeBytes(m_root + "/util/z.c", "ann's edit\n");
    writeBytes(m_root + "/f.txt", "in a changelist\n");
    svnOk({"changelist", "fixme", m_root + "/f.txt"}, "ann");
    writeBytes(m_root + "/ notes.txt", "leading blank\n");

    SvnScc::PluginLoader treeLibrary;
    SourceCodeControlSystemProviderInterface* tree = another(treeLibrary, "WorkingCopy");
    for (SourceCodeControlSystemProviderInterface* provider : {m_provider, tree}) {
        SCOPED_TRACE(provider == tree ? "whole tree" : "per folder");
        for (const char* path : {"newdir/q.txt", "f.txt", " notes.txt"})
            EXPECT_EQ(difference(provider, path), QString()) << path;
        // The renamed folder's own run prints no summary; the client marks
        // its files out of date only there, not from the top.
        if (provider == m_provider) {
            EXPECT_EQ(difference(provider, "util/y.c"), QString());
            EXPECT_EQ(difference(provider, "util/z.c"), QString());
        } else {
            FileStatus z;
            EXPECT_TRUE(provider->status({"util", "z.c"}, z.controlled, z.checkedOut, z.modified, z.outOfDate,
                                         z.statusText, z.revisionText, z.lastChangedText));
            EXPECT_TRUE(z.controlled && z.modified);
        }
        // A name that is not there at all is not versioned, not "?".
        FileStatus none;
        none.statusText = "caller's";
        EXPECT_TRUE(provider->status({"notes.txt"}, none.controlled, none.checkedOut, none.modified, none.outOfDate,
                                     none.statusText, none.revisionText, none.lastChangedText));
        EXPECT_FALSE(none.controlled);
        EXPECT_EQ(none.statusText, QString());
    }

    // A working copy whose branch was deleted: the client prints no summary there either.
    svnOk({"copy", "-m", "branch", urlOf("project"), urlOf("b1")});
    const QString branch = m_base + "/branch";
    svnOk({"checkout", urlOf("b1"), branch}, "ann");
    writeBytes(branch + "/g.txt", "on the branch\n");
    svnOk({"rm", "-m", "gone", urlOf("b1")});
    SvnScc::PluginLoader branchLibrary;
    ASSERT_TRUE(branchLibrary.load(pluginPath()));
    SourceCodeControlSystemProviderInterface* onBranch = branchLibrary.allocate();
    onBranch->setOption(QLatin1String(SourceCodeControlOption::Executable), "svn");
    ASSERT_TRUE(onBranch->login("ann", passwordOf("ann"), m_url));
    bindWorkingCopy(branch, onBranch);
    EXPECT_EQ(difference(onBranch, "g.txt", branch), QString());
}

TEST_F(StatusDecisions, AnExternalOnAStoppedServerTakesOnlyItsOwnRepositoryOffline)
{
    SvnServer other;
    ASSERT_TRUE(other.start(m_base + "/other", m_environment)) << other.errorString().toStdString();
    const QString source = m_base + "/e.txt";
    writeBytes(source, "external\n");
    svnOk({"import", "-m", "ext", source, other.url() + "/extsrc/e.txt"});
    svnOk({"propset", "svn:externals", "ext " + other.url() + "/extsrc", m_root}, "ann");
    svnOk({"commit", "-m", "external", m_root}, "ann");
    svnOk({"update", m_root}, "ann");
    const QString bobs = bob();
    writeBytes(bobs + "/f.txt", "bob's f\n");
    svnOk({"commit", "-m", "bob", bobs});
    other.stop();

    SvnScc::PluginLoader treeLibrary;
    SourceCodeControlSystemProviderInterface* tree = another(treeLibrary, "WorkingCopy");
    for (SourceCodeControlSystemProviderInterface* provider : {tree, m_provider}) {
        SCOPED_TRACE(provider == tree ? "whole tree" : "per folder");
        FileStatus external;
        EXPECT_TRUE(provider->status({"ext", "e.txt"}, external.controlled, external.checkedOut, external.modified,
                                     external.outOfDate, external.statusText, external.revisionText,
                                     external.lastChangedText));
        EXPECT_TRUE(external.controlled && !external.outOfDate);
        EXPECT_EQ(difference(provider, "f.txt"), QString()); // out of date, as the reachable server says
    }
}

TEST_F(StatusDecisions, AWorkingCopyThatNeedsAnUpgradeFailsOnceAndRunsNothingMore)
{
    // The database of a client of 1.7: the client of today asks for "svn upgrade".
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(m_root + "/.svn/wc.db").constData(), &database), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(database, "PRAGMA user_version = 29", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(database);
    const int before = int(clientRuns().size());
    for (const char* path : {"f.txt", "g.txt", "f.txt"}) {
        FileStatus status;
        EXPECT_FALSE(statusOf({path}, status));
        EXPECT_TRUE(lastError().startsWith("status: svn: E155036: ")) << lastError().toStdString();
    }
    EXPECT_EQ(runsSince(before), QStringList({"status -v -u"}));
    m_provider->refresh();
    FileStatus status;
    EXPECT_FALSE(statusOf({"f.txt"}, status));
    EXPECT_EQ(int(clientRuns().size()), before + 2);
}

TEST_F(StatusDecisions, NamesOnlyTheDiskKnowsRunNothingInEitherScope)
{
    svnOk({"propset", "svn:ignore", "*.o\nbuild", m_root}, "ann");
    svnOk({"propset", "svn:ignore", "*.o", m_root + "/util"}, "ann");
    svnOk({"commit", "-m", "ignores", m_root}, "ann");
    svnOk({"update", m_root}, "ann");
    const QStringList unknown{"x.o", "util/w.o", "build/gen/z.txt", "build/y.txt", "loose/a.txt", "loose/deep/b.txt"};
    for (const QString& path : unknown) {
        QDir().mkpath(QFileInfo(m_root + '/' + path).path());
        writeBytes(m_root + '/' + path, "only on disk\n");
    }

    SvnScc::PluginLoader treeLibrary;
    SourceCodeControlSystemProviderInterface* tree = another(treeLibrary, "WorkingCopy");
    for (SourceCodeControlSystemProviderInterface* provider : {m_provider, tree}) {
        SCOPED_TRACE(provider == tree ? "whole tree" : "per folder");
        const int before = int(clientRuns().size());
        EXPECT_EQ(difference(provider, "f.txt"), QString());
        EXPECT_EQ(difference(provider, "util/y.c"), QString());
        const int versioned = int(clientRuns().size());
        for (const QString& path : unknown) {
            FileStatus status;
            EXPECT_TRUE(provider->status(path.split('/'), status.controlled, status.checkedOut, status.modified,
                                         status.outOfDate, status.statusText, status.revisionText,
                                         status.lastChangedText)) << path.toStdString();
            EXPECT_FALSE(status.controlled) << path.toStdString();
        }
        EXPECT_EQ(int(clientRuns().size()), versioned); // none for their sake
        EXPECT_EQ(versioned - before, provider == tree ? 1 : 2);
    }
}
