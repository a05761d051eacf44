// The dlopen-loaded plug-in against the real svn client and a real svnserve
// on 127.0.0.1, with each operation's effect checked in the repository (with
// svn and svnlook) or on disk.

#include "E2EFixture.h"

#include <QFileInfo>

namespace {

const QStringList kMyFile = {QStringLiteral("my file.txt")};

bool hasLockOwner(const QByteArray& info, const QByteArray& user)
{
    return info.contains("\nLock Owner: " + user + "\n");
}

} // namespace

TEST_F(E2EFixture, LoginAcceptsTheRightPasswordAndReportsAWrongOne)
{
    EXPECT_TRUE(m_provider->login(QStringLiteral("ann"), QStringLiteral("ann-secret"), m_url))
        << lastError().toStdString();

    EXPECT_FALSE(m_provider->login(QStringLiteral("ann"), QStringLiteral("not-her-password"), m_url));
    QString command;
    const QString message = m_provider->getLastError(command);
    EXPECT_EQ(command, QStringLiteral("info"));
    EXPECT_TRUE(message.startsWith(QStringLiteral("svn: E"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("uthoriz"))
                || message.contains(QStringLiteral("uthentic")))
        << message.toStdString();

    EXPECT_FALSE(m_provider->login(QStringLiteral("nobody"), QStringLiteral("x"), m_url));
    m_provider->getLastError(command);
    EXPECT_EQ(command, QStringLiteral("info"));
}

TEST_F(E2EFixture, RepositoryBrowsingAndDirectoryCreation)
{
    loginAs(QStringLiteral("ann"));
    QStringList repositories;
    EXPECT_TRUE(m_provider->getRepositoryList(repositories));
    EXPECT_EQ(repositories, QStringList{m_url});

    ASSERT_TRUE(m_provider->createDirectory({}, QStringLiteral("project"))) << lastError().toStdString();
    EXPECT_EQ(svnOk({QStringLiteral("list"), m_url}), QByteArray("project/\n"));
    EXPECT_EQ(logMessage(QStringLiteral("HEAD")), QByteArray("Quillhaven Generated"));
    EXPECT_TRUE(svnOk({QStringLiteral("log"), QStringLiteral("-q"), QStringLiteral("-r"),
                       QStringLiteral("HEAD"), m_url})
                    .contains("| ann |"));
    ASSERT_TRUE(m_provider->createDirectory({QStringLiteral("project")}, QStringLiteral("sub dir")))
        << lastError().toStdString();
    importFile(QStringLiteral("project/top.txt"), "top\n");
    importFile(QStringLiteral("project/with space.txt"), "space\n");

    QStringList names = {QStringLiteral("kept")};
    EXPECT_TRUE(m_provider->getFilesList({QStringLiteral("project")}, names)) << lastError().toStdString();
    EXPECT_EQ(names, (QStringList{QStringLiteral("kept"), QStringLiteral("top.txt"),
                                  QStringLiteral("with space.txt")}));
    names.clear();
    EXPECT_TRUE(m_provider->getDirectoriesList({QStringLiteral("project")}, names));
    EXPECT_EQ(names, QStringList{QStringLiteral("sub dir")});
    names.clear();
    EXPECT_TRUE(m_provider->getDirectoriesList({}, names));
    EXPECT_EQ(names, QStringList{QStringLiteral("project")});
    EXPECT_TRUE(m_provider->refreshDirectoriesList({QStringLiteral("project")}));

    const QString before = youngest();
    names = QStringList{QStringLiteral("kept")};
    EXPECT_FALSE(m_provider->getFilesList({QStringLiteral("absent")}, names));
    EXPECT_EQ(names, QStringList{QStringLiteral("kept")});
    QString command;
    EXPECT_FALSE(m_provider->getLastError(command).isEmpty());
    EXPECT_EQ(command, QStringLiteral("list"));
    EXPECT_FALSE(m_provider->createDirectory({}, QStringLiteral("project")));
    EXPECT_FALSE(m_provider->getLastError(command).isEmpty());
    EXPECT_EQ(command, QStringLiteral("mkdir"));
    EXPECT_EQ(youngest(), before);
}

TEST_F(E2EFixture, CheckOutAddStatusAndCommit)
{
    svnOk({QStringLiteral("mkdir"), QStringLiteral("--parents"), QStringLiteral("-m"),
           QStringLiteral("setup"), urlOf(QStringLiteral("project/sub"))});
    loginAs(QStringLiteral("ann"));
    const QString root = checkOut(QStringLiteral("project"));
    ASSERT_TRUE(QFileInfo::exists(root + QStringLiteral("/.svn/entries")));
    QStringList localRoots, repositoryRoots;
    EXPECT_TRUE(m_provider->getRoots(localRoots, repositoryRoots));
    EXPECT_EQ(QLatin1Char('/') + localRoots.join(QLatin1Char('/')), root);
    EXPECT_EQ(repositoryRoots, QStringList{QStringLiteral("project")});

    // A root file whose name has a space.
    const QByteArray first = "first line\nsecond line\n";
    writeFile(root + QStringLiteral("/my file.txt"), first);
    ASSERT_TRUE(m_provider->addFile(kMyFile, QStringLiteral("Add my file"))) << lastError().toStdString();
    const QString added = youngest();
    EXPECT_EQ(svnOk({QStringLiteral("cat"), urlOf(QStringLiteral("project/my file.txt"))}), first);
    EXPECT_EQ(logMessage(added), QByteArray("Add my file"));

    bool controlled = false, checkedOut = true, modified = true, outOfDate = true;
    QString statusText, revisionText, lastChangedText;
    ASSERT_TRUE(m_provider->status(kMyFile, controlled, checkedOut, modified, outOfDate, statusText,
                                   revisionText, lastChangedText))
        << lastError().toStdString();
    EXPECT_TRUE(controlled);
    EXPECT_FALSE(checkedOut);
    EXPECT_FALSE(modified);
    EXPECT_FALSE(outOfDate);
    EXPECT_EQ(statusText, QStringLiteral("       "));
    EXPECT_EQ(revisionText, added);
    EXPECT_EQ(lastChangedText, added);

    // A file in a directory the repository holds: the directory joins the
    // working copy (no working copy of its own).
    QDir(root).mkpath(QStringLiteral("sub"));
    writeFile(root + QStringLiteral("/sub/notes.txt"), "notes\n");
    const QStringList notes = {QStringLiteral("sub"), QStringLiteral("notes.txt")};
    ASSERT_TRUE(m_provider->addFile(notes, QString())) << lastError().toStdString();
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/sub/.svn")));
    EXPECT_EQ(svnOk({QStringLiteral("cat"), urlOf(QStringLiteral("project/sub/notes.txt"))}),
              QByteArray("notes\n"));
    EXPECT_EQ(logMessage(QStringLiteral("HEAD")), QByteArray());
    ASSERT_TRUE(m_provider->status(notes, controlled, checkedOut, modified, outOfDate, statusText,
                                   revisionText, lastChangedText));
    EXPECT_TRUE(controlled);
    EXPECT_FALSE(modified);
    EXPECT_EQ(revisionText, youngest());

    // Adding it again: the client refuses the add, nothing is committed.
    const QString before = youngest();
    EXPECT_FALSE(m_provider->addFile(notes, QStringLiteral("again")));
    QString command;
    m_provider->getLastError(command);
    EXPECT_EQ(command, QStringLiteral("add"));
    EXPECT_EQ(youngest(), before);

    // An edit, saved: modified; the commit with a comment full of quotes and
    // line feeds reaches the log unchanged.
    const QByteArray second = "first line\nsecond line\nthird line\n";
    writeFile(root + QStringLiteral("/my file.txt"), second);
    EXPECT_TRUE(m_provider->saved(kMyFile));
    ASSERT_TRUE(m_provider->status(kMyFile, controlled, checkedOut, modified, outOfDate, statusText,
                                   revisionText, lastChangedText));
    EXPECT_TRUE(modified);
    EXPECT_EQ(statusText, QStringLiteral("M      "));
    const QString comment = QStringLiteral("Say \"hello\" and 'bye'\n\n  indented $HOME `x` \\ end\nlast");
    ASSERT_TRUE(m_provider->checkin(kMyFile, comment)) << lastError().toStdString();
    const QString committed = youngest();
    EXPECT_EQ(committed.toInt(), before.toInt() + 1);
    EXPECT_EQ(logMessage(committed), comment.toUtf8());
    EXPECT_TRUE(svnOk({QStringLiteral("log"), QStringLiteral("-q"), QStringLiteral("-r"), committed,
                       urlOf(QStringLiteral("project/my file.txt"))})
                    .contains("r" + committed.toLatin1() + " | ann |"));
    EXPECT_EQ(svnOk({QStringLiteral("cat"), urlOf(QStringLiteral("project/my file.txt"))}), second);
    ASSERT_TRUE(m_provider->status(kMyFile, controlled, checkedOut, modified, outOfDate, statusText,
                                   revisionText, lastChangedText));
    EXPECT_FALSE(modified);
    EXPECT_EQ(revisionText, committed);
    EXPECT_TRUE(m_provider->logout());
}

TEST_F(E2EFixture, StatusOfFilesWithoutALocalRecord)
{
    svnOk({QStringLiteral("mkdir"), QStringLiteral("-m"), QStringLiteral("setup"),
           urlOf(QStringLiteral("project"))});
    importFile(QStringLiteral("project/other/x.txt"), "x\r\ny\n");
    loginAs(QStringLiteral("ann"));
    const QString root = checkOut(QStringLiteral("project"));

    // In the repository, in a directory not yet fetched: controlled but missing.
    bool controlled = false, checkedOut = true, modified = false, outOfDate = false;
    QString statusText, revisionText, lastChangedText = QStringLiteral("untouched");
    const QStringList x = {QStringLiteral("other"), QStringLiteral("x.txt")};
    ASSERT_TRUE(m_provider->status(x, controlled, checkedOut, modified, outOfDate, statusText,
                                   revisionText, lastChangedText))
        << lastError().toStdString();
    EXPECT_TRUE(controlled);
    EXPECT_FALSE(checkedOut);
    EXPECT_TRUE(modified);
    EXPECT_TRUE(outOfDate);
    EXPECT_EQ(statusText, QStringLiteral("missing"));
    EXPECT_EQ(revisionText, QStringLiteral("fixme"));
    EXPECT_EQ(lastChangedText, QStringLiteral("untouched"));

    // Neither local nor in the repository: false, outputs left alone.
    writeFile(root + QStringLiteral("/local.txt"), "local\n");
    controlled = true;
    statusText = QStringLiteral("before");
    EXPECT_FALSE(m_provider->status({QStringLiteral("local.txt")}, controlled, checkedOut, modified,
                                    outOfDate, statusText, revisionText, lastChangedText));
    EXPECT_FALSE(controlled);
    EXPECT_EQ(statusText, QStringLiteral("before"));
    QString command;
    EXPECT_FALSE(m_provider->getLastError(command).isEmpty());
    EXPECT_EQ(command, QStringLiteral("info"));

    // getFile fetches the directory level and the file.
    ASSERT_TRUE(m_provider->getFile(x, true)) << lastError().toStdString();
    EXPECT_EQ(readFile(root + QStringLiteral("/other/x.txt")), QByteArray("x\r\ny\n"));
}

TEST_F(E2EFixture, GetFileAndGetToAnEarlierRevision)
{
    svnOk({QStringLiteral("mkdir"), QStringLiteral("-m"), QStringLiteral("setup"),
           urlOf(QStringLiteral("project"))});
    importFile(QStringLiteral("project/my file.txt"), "one\r\ntwo\n");
    const QString firstRevision = youngest();
    loginAs(QStringLiteral("ann"));
    const QString root = checkOut(QStringLiteral("project"));
    EXPECT_EQ(readFile(root + QStringLiteral("/my file.txt")), QByteArray("one\r\ntwo\n"));

    // Bob commits a newer text from a working copy of his own.
    const QString bobs = m_base + QStringLiteral("/bob");
    svnOk({QStringLiteral("checkout"), urlOf(QStringLiteral("project")), bobs});
    writeFile(bobs + QStringLiteral("/my file.txt"), "one\r\ntwo\nthree by bob\n");
    svnOk({QStringLiteral("commit"), QStringLiteral("-m"), QStringLiteral("bob"), bobs});

    writeFile(root + QStringLiteral("/my file.txt"), "local junk\n");
    ASSERT_TRUE(m_provider->getFile(kMyFile, false)) << lastError().toStdString();
    EXPECT_EQ(readFile(root + QStringLiteral("/my file.txt")), QByteArray("one\r\ntwo\nthree by bob\n"));

    // getTo writes the client's bytes as they are.
    const QString destination = m_base + QStringLiteral("/earlier.txt");
    ASSERT_TRUE(m_provider->getTo(kMyFile, firstRevision, destination)) << lastError().toStdString();
    EXPECT_EQ(readFile(destination), QByteArray("one\r\ntwo\n"));
    ASSERT_TRUE(m_provider->getTo(kMyFile, QStringLiteral("HEAD"), destination));
    EXPECT_EQ(readFile(destination), QByteArray("one\r\ntwo\nthree by bob\n"));

    EXPECT_FALSE(m_provider->getTo(kMyFile, QStringLiteral("999"), destination));
    QString command;
    EXPECT_FALSE(m_provider->getLastError(command).isEmpty());
    EXPECT_EQ(command, QStringLiteral("cat"));
    EXPECT_EQ(readFile(destination), QByteArray("one\r\ntwo\nthree by bob\n"));
}

TEST_F(E2EFixture, CheckoutLocksAndUndoCheckoutReleases)
{
    svnOk({QStringLiteral("mkdir"), QStringLiteral("-m"), QStringLiteral("setup"),
           urlOf(QStringLiteral("project"))});
    importFile(QStringLiteral("project/my file.txt"), "repository text\n");
    loginAs(QStringLiteral("ann"));
    EXPECT_TRUE(m_provider->checkOutSupported());
    const QString root = checkOut(QStringLiteral("project"));
    const QString file = root + QStringLiteral("/my file.txt");
    const QString url = urlOf(QStringLiteral("project/my file.txt"));

    ASSERT_TRUE(m_provider->checkout(kMyFile, QStringLiteral("ann edits"), false)) << lastError().toStdString();
    QByteArray info = svnOk({QStringLiteral("info"), url});
    EXPECT_TRUE(hasLockOwner(info, "ann")) << info.toStdString();
    EXPECT_TRUE(info.contains("Lock Comment (1 line):\nann edits\n")) << info.toStdString();
    EXPECT_TRUE(QFileInfo(file).isWritable());
    bool controlled = false, checkedOut = false, modified = true, outOfDate = true;
    QString statusText, revisionText, lastChangedText;
    ASSERT_TRUE(m_provider->status(kMyFile, controlled, checkedOut, modified, outOfDate, statusText,
                                   revisionText, lastChangedText));
    EXPECT_TRUE(checkedOut);
    EXPECT_EQ(statusText, QStringLiteral("     K "));

    // Release, keeping the local edit.
    writeFile(file, "ann's edit\n");
    ASSERT_TRUE(m_provider->undoCheckout(kMyFile, false)) << lastError().toStdString();
    info = svnOk({QStringLiteral("info"), url});
    EXPECT_FALSE(info.contains("Lock Owner:")) << info.toStdString();
    EXPECT_EQ(readFile(file), QByteArray("ann's edit\n"));
    ASSERT_TRUE(m_provider->status(kMyFile, controlled, checkedOut, modified, outOfDate, statusText,
                                   revisionText, lastChangedText));
    EXPECT_FALSE(checkedOut);
    EXPECT_TRUE(modified);

    // Lock with replaceLocal: the modified file gets the repository text first.
    ASSERT_TRUE(m_provider->checkout(kMyFile, QString(), true)) << lastError().toStdString();
    EXPECT_EQ(readFile(file), QByteArray("repository text\n"));
    EXPECT_TRUE(hasLockOwner(svnOk({QStringLiteral("info"), url}), "ann"));
    ASSERT_TRUE(m_provider->undoCheckout(kMyFile, false)) << lastError().toStdString();

    // A lock held by the other user makes checkout fail and stays his.
    svnOk({QStringLiteral("lock"), QStringLiteral("-m"), QStringLiteral("mine"), url});
    EXPECT_FALSE(m_provider->checkout(kMyFile, QStringLiteral("ann again"), false));
    QString command;
    const QString message = m_provider->getLastError(command);
    EXPECT_EQ(command, QStringLiteral("lock"));
    EXPECT_TRUE(message.contains(QStringLiteral("bob"))) << message.toStdString();
    EXPECT_TRUE(hasLockOwner(svnOk({QStringLiteral("info"), url}), "bob"));
    EXPECT_FALSE(m_provider->undoCheckout(kMyFile, false));
    m_provider->getLastError(command);
    EXPECT_EQ(command, QStringLiteral("unlock"));
    EXPECT_TRUE(hasLockOwner(svnOk({QStringLiteral("info"), url}), "bob"));
}

TEST_F(E2EFixture, UndoCheckoutDiscardingChangesRestoresTheFile)
{
    svnOk({QStringLiteral("mkdir"), QStringLiteral("-m"), QStringLiteral("setup"),
           urlOf(QStringLiteral("project"))});
    importFile(QStringLiteral("project/my file.txt"), "repository text\n");
    loginAs(QStringLiteral("ann"));
    const QString root = checkOut(QStringLiteral("project"));
    const QString file = root + QStringLiteral("/my file.txt");
    const QString url = urlOf(QStringLiteral("project/my file.txt"));
    ASSERT_TRUE(m_provider->checkout(kMyFile, QStringLiteral("ann edits"), false)) << lastError().toStdString();
    writeFile(file, "an edit to throw away\n");

    ASSERT_TRUE(m_provider->undoCheckout(kMyFile, true)) << lastError().toStdString();
    EXPECT_EQ(readFile(file), QByteArray("repository text\n"));
    EXPECT_FALSE(svnOk({QStringLiteral("info"), url}).contains("Lock Owner:"));
    // Nothing is left for a clean-up: the client's own update and status succeed.
    const ToolRun update = svn({QStringLiteral("update")}, QStringLiteral("ann"), root);
    EXPECT_EQ(update.exitCode, 0);
    EXPECT_EQ(update.err, QByteArray());
    EXPECT_EQ(svnOk({QStringLiteral("status")}, QStringLiteral("ann"), root), QByteArray());
}

TEST_F(E2EFixture, WritesWhereTheUserMayOnlyReadFailCleanly)
{
    svnOk({QStringLiteral("mkdir"), QStringLiteral("-m"), QStringLiteral("setup"),
           urlOf(QStringLiteral("readonly"))});
    importFile(QStringLiteral("readonly/r.txt"), "read me\n");
    loginAs(QStringLiteral("ann"));
    const QString root = checkOut(QStringLiteral("readonly"), QStringLiteral("readonly"));
    ASSERT_EQ(readFile(root + QStringLiteral("/r.txt")), QByteArray("read me\n"));
    const QString before = youngest();

    writeFile(root + QStringLiteral("/r.txt"), "changed\n");
    EXPECT_FALSE(m_provider->checkin({QStringLiteral("r.txt")}, QStringLiteral("not allowed")));
    QString command;
    QString message = m_provider->getLastError(command);
    EXPECT_EQ(command, QStringLiteral("commit"));
    EXPECT_TRUE(message.startsWith(QStringLiteral("svn: E"))) << message.toStdString();

    writeFile(root + QStringLiteral("/new.txt"), "new\n");
    EXPECT_FALSE(m_provider->addFile({QStringLiteral("new.txt")}, QStringLiteral("not allowed")));
    message = m_provider->getLastError(command);
    EXPECT_EQ(command, QStringLiteral("commit"));
    EXPECT_FALSE(message.isEmpty());

    EXPECT_FALSE(m_provider->createDirectory({QStringLiteral("readonly")}, QStringLiteral("d")));
    m_provider->getLastError(command);
    EXPECT_EQ(command, QStringLiteral("mkdir"));

    EXPECT_EQ(youngest(), before);
    EXPECT_EQ(svnOk({QStringLiteral("cat"), urlOf(QStringLiteral("readonly/r.txt"))}),
              QByteArray("read me\n"));
}

TEST_F(E2EFixture, AddFileIntoANewDirectoryCommitsBoth)
{
    svnOk({QStringLiteral("mkdir"), QStringLiteral("-m"), QStringLiteral("setup"),
           urlOf(QStringLiteral("project"))});
    loginAs(QStringLiteral("ann"));
    const QString root = checkOut(QStringLiteral("project"));
    const QString before = youngest();
    QDir(root).mkpath(QStringLiteral("new dir"));
    writeFile(root + QStringLiteral("/new dir/b.txt"), "b\n");

    ASSERT_TRUE(m_provider->addFile({QStringLiteral("new dir"), QStringLiteral("b.txt")},
                                    QStringLiteral("Add b")))
        << lastError().toStdString();
    // One commit for the directory, one for the file, both with the comment.
    EXPECT_EQ(youngest().toInt(), before.toInt() + 2);
    EXPECT_EQ(logMessage(QString::number(before.toInt() + 1)), QByteArray("Add b"));
    EXPECT_EQ(logMessage(QStringLiteral("HEAD")), QByteArray("Add b"));
    EXPECT_EQ(svnOk({QStringLiteral("list"), urlOf(QStringLiteral("project"))}), QByteArray("new dir/\n"));
    EXPECT_EQ(svnOk({QStringLiteral("cat"), urlOf(QStringLiteral("project/new dir/b.txt"))}),
              QByteArray("b\n"));
}
