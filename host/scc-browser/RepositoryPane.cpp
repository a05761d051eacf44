#include "RepositoryPane.h"

#include "HostOptions.h"

#include <QStyle>

namespace {

const int PartsRole = Qt::UserRole;
const int FolderRole = Qt::UserRole + 1;
const int LoadedRole = Qt::UserRole + 2;
const int LoadingRole = Qt::UserRole + 3;

const QColor QuietColor(0x8a, 0x8a, 0x8a);

} // namespace

RepositoryPane::RepositoryPane(const QString& repositoryURL, QWidget* parent)
    : QTreeWidget(parent), m_url(repositoryURL)
{
    setColumnCount(1);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    // The top row is the URL: a narrow pane keeps its scheme and its end.
    setTextElideMode(Qt::ElideMiddle);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        m_expanded.insert(joinPathParts(item->data(0, PartsRole).toStringList()));
        requestListing(item);
    });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
        m_expanded.remove(joinPathParts(item->data(0, PartsRole).toStringList()));
    });
    // Selecting a folder lists it: its subfolders and files appear below it.
    connect(this, &QTreeWidget::currentItemChanged, this, [](QTreeWidgetItem* current) {
        if (current && current->data(0, FolderRole).toBool())
            current->setExpanded(true);
    });
}

void RepositoryPane::setWorkingCopyPlace(const QStringList& parts)
{
    m_workingCopyPlace = parts;
    QStringList path;
    for (const QString& part : parts) {
        path << part;
        m_expanded.insert(joinPathParts(path));
    }
}

void RepositoryPane::reset()
{
    if (m_url.isEmpty()) {
        clear();
        auto* note = new QTreeWidgetItem(this, {QStringLiteral("No repository URL (--url) given")});
        note->setForeground(0, QuietColor);
        return;
    }
    QTreeWidgetItem* root = m_folders.value(QString());
    if (!root) {
        root = new QTreeWidgetItem(this, {m_url});
        root->setIcon(0, style()->standardIcon(QStyle::SP_DriveNetIcon));
        root->setToolTip(0, m_url);
        root->setData(0, PartsRole, QStringList());
        root->setData(0, FolderRole, true);
        m_folders.insert(QString(), root);
    }
    clearChildren(root);
    root->setData(0, LoadedRole, false);
    root->setData(0, LoadingRole, false);
    root->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    m_expanded.insert(QString());
    requestListing(root);
}

void RepositoryPane::showListing(const QStringList& parts, bool ok, const QStringList& directories,
                                 const QStringList& files)
{
    QTreeWidgetItem* item = m_folders.value(joinPathParts(parts));
    if (!item)
        return;
    clearChildren(item);
    item->setData(0, LoadingRole, false);
    item->setData(0, LoadedRole, ok);
    if (!ok) {
        // Collapsed with its indicator, so that opening it again tries again.
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        item->setExpanded(false);
        return;
    }
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon fileIcon = style()->standardIcon(QStyle::SP_FileIcon);
    QList<QTreeWidgetItem*> reopen;
    for (const QString& name : directories) {
        auto* child = new QTreeWidgetItem(item, {name});
        const QStringList childParts = parts + QStringList{name};
        child->setIcon(0, folderIcon);
        child->setData(0, PartsRole, childParts);
        child->setData(0, FolderRole, true);
        child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        m_folders.insert(joinPathParts(childParts), child);
        if (m_expanded.contains(joinPathParts(childParts)))
            reopen << child;
        if (childParts == m_workingCopyPlace)
            child->setToolTip(0, QStringLiteral("The working copy's place in the repository"));
    }
    for (const QString& name : files) {
        auto* child = new QTreeWidgetItem(item, {name});
        child->setIcon(0, fileIcon);
        child->setData(0, PartsRole, parts + QStringList{name});
    }
    item->setExpanded(true);
    for (QTreeWidgetItem* child : reopen)
        child->setExpanded(true);
}

void RepositoryPane::fileAdded(const QStringList& localParts)
{
    const QStringList folder = m_workingCopyPlace + localParts.mid(0, localParts.size() - 1);
    QTreeWidgetItem* item = m_folders.value(joinPathParts(folder));
    if (item && item->data(0, LoadedRole).toBool()) {
        item->setData(0, LoadedRole, false);
        requestListing(item);
    }
}

void RepositoryPane::requestListing(QTreeWidgetItem* item)
{
    if (!item->data(0, FolderRole).toBool() || item->data(0, LoadedRole).toBool()
        || item->data(0, LoadingRole).toBool())
        return;
    item->setData(0, LoadingRole, true);
    emit listingRequested(item->data(0, PartsRole).toStringList());
}

void RepositoryPane::clearChildren(QTreeWidgetItem* item)
{
    const QList<QTreeWidgetItem*> children = item->takeChildren();
    for (QTreeWidgetItem* child : children) {
        if (child->data(0, FolderRole).toBool()) {
            clearChildren(child);
            m_folders.remove(joinPathParts(child->data(0, PartsRole).toStringList()));
        }
        delete child;
    }
}
