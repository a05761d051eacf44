// The one reader of the client's item lines: status lines of both forms and
// the action lines of the operations, each a line svn 1.14.2 printed.

#include "SVNItemLine.h"

#include "SVNCommand.h"

#include <gtest/gtest.h>

namespace {

using SVNItemLine::StatusForm;
using SVNItemLine::StatusKind;

std::string shown(QByteArrayView bytes)
{
    return std::string(bytes.data(), size_t(bytes.size()));
}

TEST(ItemLine, StatusLinesOfBothForms)
{
    struct Case
    {
        const char* line;
        StatusKind plain, verbose;
        const char* columns; // an entry's, both forms
        const char* name;    // an entry's in the plain form
    };
    const StatusKind Entry = StatusKind::Entry;
    const Case cases[] = {
        {"", StatusKind::Empty, StatusKind::Empty, "", ""},
        {"      >   local file delete, incoming file edit upon update", StatusKind::Detail, StatusKind::Detail, "", ""},
        {"        > moved to m2.txt", StatusKind::Detail, StatusKind::Detail, "", ""},
        {"        >", StatusKind::Detail, StatusKind::Detail, "", ""},
        {"Performing status on external item at 'ext':", StatusKind::BlockHeader, StatusKind::BlockHeader, "", ""},
        {"--- Changelist 'cl':", StatusKind::BlockHeader, StatusKind::BlockHeader, "", ""},
        {"Status against revision:      4", StatusKind::Summary, StatusKind::Summary, "", ""},
        {"Summary of conflicts:", StatusKind::Summary, StatusKind::Summary, "", ""},
        {"  Text conflicts: 1", StatusKind::Summary, StatusKind::Summary, "", ""},
        {"  Property conflicts: 1", StatusKind::Summary, StatusKind::Summary, "", ""},
        {"  Tree conflicts: 1", StatusKind::Summary, StatusKind::Summary, "", ""},
        {"C       a.txt", Entry, Entry, "C      ", "a.txt"},
        {"A  +    m2.txt", Entry, Entry, "A  +   ", "m2.txt"},
        {"D     C t.txt", Entry, Entry, "D     C", "t.txt"},
        {"  L     held.c", Entry, Entry, "  L    ", "held.c"},
        // In a changelist's block an unchanged file has blank columns; a
        // name may begin with ">" or blanks.
        {"        c.txt", Entry, Entry, "       ", "c.txt"},
        {"        >name", Entry, Entry, "       ", ">name"},
        {"?          lead", Entry, Entry, "?      ", "   lead"},
        {"M  x", StatusKind::Other, Entry, "M  x", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const SVNItemLine::StatusLine plain = SVNItemLine::readStatus(c.line, StatusForm::Plain);
        const SVNItemLine::StatusLine verbose = SVNItemLine::readStatus(c.line, StatusForm::Verbose);
        EXPECT_EQ(int(plain.kind), int(c.plain));
        EXPECT_EQ(int(verbose.kind), int(c.verbose));
        if (c.plain == Entry) {
            EXPECT_EQ(shown(plain.columns), c.columns);
            EXPECT_EQ(shown(plain.name), c.name);
        }
        if (c.verbose == Entry) {
            EXPECT_EQ(shown(verbose.columns), c.columns);
        }
    }
    // The verbose form's fields and name (the rest is in StatusParsing, through the reader).
    const SVNItemLine::StatusLine read = SVNItemLine::readStatus(
        "        *        4        2 Release Engineering two words.txt", StatusForm::Verbose);
    EXPECT_TRUE(read.outOfDate);
    EXPECT_EQ(shown(read.workingRevision), "4");
    EXPECT_EQ(shown(read.lastChangedRevision), "2");
    ASSERT_TRUE(read.nameAfterLongAuthor);
    EXPECT_EQ(shown(read.name), "Engineering two words.txt");
    const QByteArrayView second = SVNItemLine::nextName("        *        4        2 Release Engineering two words.txt",
                                                        read.name);
    EXPECT_EQ(shown(second), "two words.txt");
}

TEST(ItemLine, ActionLinesOfEachOperation)
{
    struct Case
    {
        const char* subcommand;
        const char* line;
        const char* action; // nullptr: names no item
        bool conflict;
        const char* path;
    };
    const char* update = SVNSubcommand::Update;
    const char* add = SVNSubcommand::Add;
    const Case cases[] = {
        {update, "C    a.txt", "C   ", true, "a.txt"},
        {update, "   C t.txt", "   C", true, "t.txt"},
        {update, " C   new/n.c", " C  ", true, "new/n.c"},
        {update, " U   .", " U  ", false, "."},
        {update, "UU   d.txt", "UU  ", false, "d.txt"},
        {update, "D       lead", "D   ", false, "   lead"},
        {update, "  B  a.txt", "  B ", false, "a.txt"},
        {update, "Restored 'd.txt'", "Restored", false, "d.txt"},
        {"merge", "G    b.txt", "G   ", false, "b.txt"},
        {SVNSubcommand::Checkout, "A    wc2/dir/x.txt", "A   ", false, "wc2/dir/x.txt"},
        {add, "A         n.txt", "A   ", false, "n.txt"},
        {add, "A  (bin)  bin.dat", "A  ", false, "bin.dat"},
        {add, "A            lead", "A   ", false, "   lead"},
        {SVNSubcommand::Delete, "D         nd/q.txt", "D   ", false, "nd/q.txt"},
        {SVNSubcommand::Patch, "UC        a.txt", "UC  ", true, "a.txt"},
        {SVNSubcommand::Patch, "C         nothere.txt", "C   ", true, "nothere.txt"},
        {SVNSubcommand::Commit, "Sending        d.txt", "Sending", false, "d.txt"},
        {SVNSubcommand::Commit, "Adding  (bin)  bin.dat", "Adding", false, "bin.dat"},
        {SVNSubcommand::Commit, "Adding            lead", "Adding", false, "   lead"},
        {SVNSubcommand::Commit, "Deleting       nd", "Deleting", false, "nd"},
        {SVNSubcommand::Commit, "Replacing      d.txt", "Replacing", false, "d.txt"},
        {SVNSubcommand::Revert, "Reverted 'n.txt'", "Reverted", false, "n.txt"},
        // Headers, summaries, details: no item.
        {update, "Updating '.':", nullptr, false, ""},
        {update, "Fetching external item into 'ext':", nullptr, false, ""},
        {update, "Updated external to revision 9.", nullptr, false, ""},
        {update, "At revision 9.", nullptr, false, ""},
        {update, "Searching tree conflict details for 't.txt' in repository:", nullptr, false, ""},
        {update, "Summary of conflicts:", nullptr, false, ""},
        {update, "  Text conflicts: 1", nullptr, false, ""},
        {update, "Summary of updates:", nullptr, false, ""},
        {update, "  Updated 'b.txt' to r11.", nullptr, false, ""},
        {"merge", "--- Merging r9 through r11 into '.':", nullptr, false, ""},
        {"merge", "--- Recording mergeinfo for merge of r9 through r11 into '.':", nullptr, false, ""},
        {SVNSubcommand::Checkout, "Checked out revision 4.", nullptr, false, ""},
        {SVNSubcommand::Commit, "Transmitting file data ..done", nullptr, false, ""},
        {SVNSubcommand::Commit, "Committing transaction...", nullptr, false, ""},
        {SVNSubcommand::Commit, "Committed revision 5.", nullptr, false, ""},
        {SVNSubcommand::Patch, ">         rejected hunk @@ -1,1 +1,1 @@", nullptr, false, ""},
        {SVNSubcommand::Patch, "Skipped missing target: 'trunk/a.txt'", nullptr, false, ""},
        {add, "A    src/a.c", nullptr, false, ""}, // an update's layout is not an add's
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.subcommand) + ": " + c.line);
        const SVNItemLine::ActionLine read = SVNItemLine::readAction(c.line, c.subcommand);
        EXPECT_EQ(read.namesItem, c.action != nullptr);
        EXPECT_EQ(read.conflict, c.conflict);
        if (c.action) {
            EXPECT_EQ(shown(read.action), c.action);
            EXPECT_EQ(shown(read.path), c.path);
        }
    }
}

} // namespace
