// The states users reach every week, against the real client: conflicts,
// files not yet committed, folders deleted or moved, a full disk, a server
// that hangs, names that look like URL escapes, another branch, failing
// hooks, a read-only working copy and a file external.

#include "E2EFixture.h"

#include <QElapsedTimer>

#include <signal.h>

namespace {

class Safety : public E2EFixture
{
protected:
    // project/ holds a.txt, CMakeLists.txt and lib/CMakeLists.txt; ann
    // checks it out recursively with the client and binds it with the
    // one-list setRoots.
    void SetUp() override
    {
        E2EFixture::SetUp();
        if (HasFatalFailure())
            return;
        m_root = annChecksOut({"project/a.txt", "project/CMakeLists.txt", "project/lib/CMakeLists.txt"});
        loginAs("ann");
        bindWorkingCopy(m_root);
    }

    /** Commits `bytes` as project/`path` from a checkout of bob's own. */
    void bobCommits(const QString& path, const QByteArray& bytes)
    {
        const QString bobs = m_base + "/bob";
        if (!QFileInfo::exists(bobs))
            svnOk({"checkout", urlOf("project"), bobs});
        svnOk({"update", bobs});
        const bool isNew = !QFileInfo::exists(bobs + '/' + path);
        writeBytes(bobs + '/' + path, bytes);
        if (isNew)
            svnOk({"add", bobs + '/' + path});
        svnOk({"commit", "-m", "bob", bobs});
    }

    /** The client's own seven status columns of `path` in ann's checkout; empty when it lists nothing. */
    QString clientColumns(const QString& path)
    {
        const QList<QByteArray> lines = svnOk({"status", "-v", m_root + '/' + path}, "ann").split('\n');
        for (const QByteArray& line : lines)
            if (line.endsWith(QFile::encodeName(m_root + '/' + path)))
                return QString::fromUtf8(line.left(7));
        return QString();
    }

    QString m_root;
};

} // namespace

TEST_F(Safety, DiscardingKeepsWhatNoUpdateBringsBack)
{
    // Unversioned, added but never committed: left alone, and why is said.
    writeBytes(m_root + "/loose.txt", "only here\n");
    writeBytes(m_root + "/added.txt", "not committed\n");
    svnOk({"add", m_root + "/added.txt"}, "ann");
    for (const QString name : {"loose.txt", "added.txt"}) {
        EXPECT_FALSE(m_provider->getFile({name}, false));
        EXPECT_TRUE(lastError().startsWith("update: " + name + " was left as it is: it is ")) << lastError().toStdString();
    }
    EXPECT_EQ(readBytes(m_root + "/loose.txt"), "only here\n");
    EXPECT_EQ(readBytes(m_root + "/added.txt"), "not committed\n");

    // Conflicts (text; a local edit of a file deleted upstream, "A  +  C";
    // a local deletion of a file edited upstream, "D     C") are reverted,
    // then updated: the repository's state, and no conflict left.
    importFile("project/t.txt", "t\n");
    importFile("project/g.txt", "g\n");
    importFile("project/d.txt", "d\n");
    svnOk({"update", m_root}, "ann");
    bobCommits("t.txt", "bob's t\n");
    bobCommits("d.txt", "bob's d\n");
    svnOk({"rm", "-m", "gone", urlOf("project/g.txt")});
    writeBytes(m_root + "/t.txt", "ann's t\n");
    writeBytes(m_root + "/g.txt", "ann's g\n");
    svnOk({"rm", "--keep-local", m_root + "/d.txt"}, "ann");
    svnOk({"update", "--accept", "postpone", m_root}, "ann");
    ASSERT_EQ(clientColumns("t.txt"), "C      ");
    ASSERT_EQ(clientColumns("g.txt"), "A  +  C");
    ASSERT_EQ(clientColumns("d.txt"), "D     C");
    for (const QString name : {"t.txt", "g.txt", "d.txt"})
        EXPECT_TRUE(m_provider->getFile({name}, false)) << name.toStdString() << ": " << lastError().toStdString();
    EXPECT_EQ(readBytes(m_root + "/t.txt"), "bob's t\n");
    EXPECT_EQ(readBytes(m_root + "/d.txt"), "bob's d\n");
    EXPECT_FALSE(QFileInfo::exists(m_root + "/g.txt"));
    // Nothing else changed, and no conflict is left.
    QList<QByteArray> left = svnOk({"status", m_root}, "ann").split('\n');
    left.removeAll(QByteArray());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, QList<QByteArray>({"?       " + QFile::encodeName(m_root) + "/loose.txt",
                                       "A       " + QFile::encodeName(m_root) + "/added.txt"}));
}

TEST_F(Safety, GetToLeavesTheDestinationAsItWasWhenWritingFails)
{
    QByteArray big(1500000, 'x');
    importFile("project/big.bin", big);
    svnOk({"update", m_root}, "ann");
    writeBytes(m_base + "/password", "ann-secret\n");
    const QString host = QStringList{SCC_HOST_PATH, "--plugin", pluginPath(), "--url", m_url, "--user", "ann",
                                     "--password-file", m_base + "/password", "--root", m_root, "cat", "big.bin",
                                     "HEAD"}.join(' ');
    // A file-size limit, and (where the test may mount one) a full disk;
    // the old text sits in the destination either way.
    struct Case { QString label, prepare, destination, message; QStringList shell; };
    const QString small = m_base + "/small";
    const Case cases[] = {
        {"size limit", "ulimit -f 1000", m_base + "/dest.bin", "the file size limit was reached writing ", {"sh", "-c"}},
        {"full disk", "mount -t tmpfs -o size=1m tmpfs " + small, small + "/dest.bin",
         "no room left on the device writing ", {"unshare", "-m", "sh", "-c"}},
    };
    QDir().mkpath(small);
    for (const Case& c : cases) {
        const QString script = c.prepare + " || exit 77\n"
            "head -c 300000 /dev/urandom > " + c.destination + " && cp " + c.destination + " " + m_base + "/old\n"
            + host + " " + c.destination + "\nstatus=$?\ncmp -s " + c.destination + " " + m_base + "/old || exit 78\n"
            "exit $status\n";
        const ToolRun run = runTool(c.shell.first(), c.shell.mid(1) + QStringList{script});
        if (run.exitCode == 77 || (run.exitCode != 1 && run.err.startsWith("unshare"))) {
            std::printf("[  SKIPPED ] %s: this machine lets the test make none\n", qPrintable(c.label));
            continue;
        }
        EXPECT_EQ(run.exitCode, 1) << c.label.toStdString() << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("  cat:\n    " + QFile::encodeName(c.message + c.destination)))
            << run.err.toStdString();
    }
    EXPECT_FALSE(m_provider->getTo({"big.bin"}, "HEAD", m_base + "/no/such/folder/x.bin"));
    EXPECT_EQ(lastError(), "cat: cannot write " + m_base + "/no/such/folder/x.bin: the folder " + m_base
                               + "/no/such/folder does not exist");
}

TEST_F(Safety, AWriteStoppedByTheTimeLimitLeavesTheWorkingCopyUsable)
{
    ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::Timeout), "2"));
    writeBytes(m_root + "/a.txt", "edited\n");
    ASSERT_EQ(::kill(pid_t(m_server->processId()), SIGSTOP), 0);
    QElapsedTimer timer;
    timer.start();
    FileStatus status;
    EXPECT_TRUE(statusOf({"a.txt"}, status)); // a reader is ended at once, the working copy answers
    EXPECT_LT(timer.elapsed(), 3500);
    EXPECT_TRUE(status.controlled && status.modified && !status.outOfDate);
    EXPECT_FALSE(m_provider->checkin({"a.txt"}, "while the server hangs"));
    const QString error = lastError();
    ::kill(pid_t(m_server->processId()), SIGCONT);
    EXPECT_TRUE(error.startsWith("commit: the client was silent for 2 seconds, the time limit (SVNTimeout), "
                                 "and was stopped after ")) << error.toStdString();
    // No lock is left ("L" in column 3), and the next write goes through at once.
    EXPECT_EQ(svnOk({"status", "--depth", "empty", m_root}, "ann"), QByteArray());
    timer.restart();
    EXPECT_TRUE(m_provider->checkin({"a.txt"}, "again")) << lastError().toStdString();
    EXPECT_LT(timer.elapsed(), 3000);
}

TEST_F(Safety, AFolderMissingOnDiskIsNoWorkingCopy)
{
    // Another working copy where the host runs, holding a new.txt of its own.
    const QString other = m_base + "/other";
    svnOk({"checkout", urlOf("project"), other}, "ann");
    writeBytes(other + "/new.txt", "the other one\n");
    const QString here = QDir::currentPath();
    QDir::setCurrent(other);
    const QString rm = "rm -rf", svnRm = "svn rm", svnMv = "svn mv";
    for (const QString& how : {rm, svnRm, svnMv}) {
        SCOPED_TRACE(how.toStdString());
        svnOk({"revert", "-R", m_root}, "ann");
        svnOk({"update", m_root}, "ann");
        QDir(m_root + "/lib2").removeRecursively();
        writeBytes(m_root + "/CMakeLists.txt", "edited\n");
        if (how == rm)
            QDir(m_root + "/lib").removeRecursively();
        else if (how == svnRm)
            svnOk({"rm", m_root + "/lib"}, "ann");
        else
            svnOk({"mv", m_root + "/lib", m_root + "/lib2"}, "ann");
        m_provider->refresh();
        FileStatus status;
        EXPECT_TRUE(statusOf({"lib", "CMakeLists.txt"}, status));
        EXPECT_EQ(status.statusText, "missing"); // not the root's "M"
        const bool added = m_provider->addFile({"lib", "new.txt"}, "c");
        EXPECT_EQ(svnOk({"status", other + "/new.txt"}, "ann"), "?       " + QFile::encodeName(other) + "/new.txt\n");
        if (how == rm) { // refused by name, before any run
            EXPECT_FALSE(added);
            EXPECT_TRUE(lastError().startsWith("add: the folder lib is versioned but missing on disk"))
                << lastError().toStdString();
        }
    }
    QDir::setCurrent(here);
}

TEST_F(Safety, NamesThatLookLikeEscapesStayNames)
{
    importFile("project/100%2525/in.txt", "in\n"); // a folder named "100%25"
    importFile("project/100%25/not.txt", "not\n"); // and one named "100%"
    EXPECT_TRUE(m_provider->createDirectory({"project"}, "new%41")) << lastError().toStdString();
    EXPECT_TRUE(m_provider->createDirectory({"project"}, "My Project"));
    QStringList files, folders;
    EXPECT_TRUE(m_provider->getFilesList({"project", "100%25"}, files));
    EXPECT_EQ(files, QStringList{"in.txt"});
    EXPECT_TRUE(m_provider->getDirectoriesList({"project"}, folders));
    EXPECT_TRUE(folders.contains("new%41") && !folders.contains("newA")) << folders.join(' ').toStdString();
    // The two-list form checks out the folder named so; getRoots gives names.
    const QString root = m_base + "/percent";
    EXPECT_TRUE(m_provider->setRoots(root.split('/', Qt::SkipEmptyParts), {"project", "100%25"}));
    EXPECT_TRUE(QFileInfo::exists(root + "/in.txt"));
    svnOk({"checkout", urlOf("project/My%20Project"), m_base + "/mine"}, "ann");
    bindWorkingCopy(m_base + "/mine");
    QStringList local, repository;
    m_provider->getRoots(local, repository);
    EXPECT_EQ(repository, QStringList({"project", "My Project"}));
}

TEST_F(Safety, TheTwoListFormRefusesACheckoutOfAnotherPlace)
{
    svnOk({"copy", "-m", "branch", urlOf("project"), urlOf("b1")});
    const QString root = m_base + "/branch";
    svnOk({"checkout", urlOf("b1"), root}, "ann");
    const QStringList parts = root.split('/', Qt::SkipEmptyParts);
    EXPECT_FALSE(m_provider->setRoots(parts, {"project"}));
    EXPECT_EQ(lastError(), "checkout: " + root + " is a working copy of " + urlOf("b1") + ", not of "
                               + urlOf("project"));
    EXPECT_TRUE(m_provider->setRoots(parts, {"b1"})) << lastError().toStdString();
}

TEST_F(Safety, StatusAfterMovesDeletionsHooksAndLongAuthors)
{
    // A move's detail lines are no records.
    svnOk({"mv", m_root + "/a.txt", m_root + "/moved.txt"}, "ann");
    EXPECT_EQ(differenceWithClient(m_root, "a.txt"), QString());
    EXPECT_EQ(differenceWithClient(m_root, "moved.txt"), QString());
    // A deletion committed (the file kept on disk): the client lists the
    // file as unversioned, and so does the cache.
    svnOk({"revert", "-R", m_root}, "ann");
    QFile::remove(m_root + "/moved.txt");
    svnOk({"rm", "--keep-local", m_root + "/a.txt"}, "ann");
    EXPECT_EQ(differenceWithClient(m_root, "a.txt"), QString());
    EXPECT_TRUE(m_provider->checkin({"a.txt"}, "gone")) << lastError().toStdString();
    FileStatus status;
    EXPECT_TRUE(statusOf({"a.txt"}, status));
    EXPECT_FALSE(status.controlled);
    EXPECT_EQ(status.statusText, "?      ");
    // Hooks that fail after the lock was taken or released: the state reached counts.
    const QString hooks = m_base + "/repository/hooks/";
    for (const char* hook : {"post-lock", "post-unlock"}) {
        writeBytes(hooks + hook, "#!/bin/sh\necho 'the hook says no' >&2\nexit 1\n");
        QFile::setPermissions(hooks + hook, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    EXPECT_TRUE(m_provider->checkout({"CMakeLists.txt"}, "mine", false)) << lastError().toStdString();
    EXPECT_TRUE(lastError().contains("the hook says no"));
    EXPECT_EQ(differenceWithClient(m_root, "CMakeLists.txt"), QString());
    EXPECT_TRUE(m_provider->undoCheckout({"CMakeLists.txt"}, false)) << lastError().toStdString();
    EXPECT_EQ(differenceWithClient(m_root, "CMakeLists.txt"), QString());
    // A last author with a blank and more than twelve characters.
    bobCommits("lib/CMakeLists.txt", "release\n");
    bobCommits("lib/two words.txt", "two\n");
    writeBytes(hooks + "pre-revprop-change", "#!/bin/sh\nexit 0\n");
    QFile::setPermissions(hooks + "pre-revprop-change", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const QString& revision : {youngest(), QString::number(youngest().toInt() - 1)})
        svnOk({"propset", "--revprop", "-r", revision, "svn:author", "Release Engineering", m_url});
    svnOk({"update", m_root}, "ann");
    m_provider->refresh();
    EXPECT_EQ(differenceWithClient(m_root, "lib/CMakeLists.txt"), QString());
    EXPECT_EQ(differenceWithClient(m_root, "lib/two words.txt"), QString());
}

TEST_F(Safety, AReadOnlyWorkingCopyIsNotWaitedFor)
{
    writeBytes(m_base + "/password", "ann-secret\n");
    const QString script = "mount --bind " + m_root + " " + m_root + " && mount -o remount,bind,ro " + m_root
        + " || exit 77\n" + QStringList{SCC_HOST_PATH, "--plugin", pluginPath(), "--url", m_url, "--user", "ann",
                                        "--password-file", m_base + "/password", "--locking", "yes", "--root", m_root,
                                        "lock", "a.txt"}.join(' ');
    QElapsedTimer timer;
    timer.start();
    const ToolRun run = runTool("unshare", {"-m", "sh", "-c", script});
    if (run.exitCode == 77 || run.err.startsWith("unshare")) {
        std::printf("[  SKIPPED ] this machine lets the test make no read-only mount\n");
        return;
    }
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("attempt to write a readonly database")) << run.err.toStdString();
    EXPECT_LT(timer.elapsed(), 5000); // no ten-second wait for a lock nobody holds
}

TEST_F(Safety, AFileExternalIsUpdatedWithItsFolder)
{
    svnOk({"propset", "svn:externals", "^/project/a.txt ext.txt", m_root}, "ann");
    svnOk({"commit", "-m", "external", m_root}, "ann");
    svnOk({"update", m_root}, "ann");
    bobCommits("a.txt", "newer\n");
    EXPECT_TRUE(m_provider->getFile({"ext.txt"}, false)) << lastError().toStdString();
    EXPECT_EQ(readBytes(m_root + "/ext.txt"), "newer\n");
    const ToolRun update = svn({"update", m_root}, "ann");
    EXPECT_EQ(update.exitCode, 0) << update.err.toStdString();
}
