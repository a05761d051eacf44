#include "ShelvesPane.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const int NameRole = Qt::UserRole;

} // namespace

ShelvesPane::ShelvesPane(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_list = new QTreeWidget;
    m_list->setObjectName(QStringLiteral("shelves"));
    m_list->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Date"), QStringLiteral("Paths")});
    m_list->setRootIsDecorated(false);
    m_list->setAlternatingRowColors(true);
    m_list->header()->setStretchLastSection(true);
    layout->addWidget(m_list, 1);
    auto* row = new QHBoxLayout;
    m_unshelve = new QPushButton(QStringLiteral("Unshelve"));
    m_unshelve->setObjectName(QStringLiteral("unshelve"));
    m_unshelve->setToolTip(QStringLiteral("Apply the selected shelf back to the working copy and remove it"));
    m_drop = new QPushButton(QStringLiteral("Drop"));
    m_drop->setObjectName(QStringLiteral("drop"));
    m_drop->setToolTip(QStringLiteral("Remove the selected shelf without applying it"));
    row->addStretch(1);
    row->addWidget(m_unshelve);
    row->addWidget(m_drop);
    layout->addLayout(row);
    const auto selectedName = [this] {
        const QTreeWidgetItem* item = m_list->currentItem();
        return item ? item->data(0, NameRole).toString() : QString();
    };
    connect(m_list, &QTreeWidget::currentItemChanged, this, &ShelvesPane::updateButtons);
    connect(m_unshelve, &QPushButton::clicked, this, [this, selectedName] { emit unshelveRequested(selectedName()); });
    connect(m_drop, &QPushButton::clicked, this, [this, selectedName] { emit dropRequested(selectedName()); });
    updateButtons();
}

void ShelvesPane::showShelves(const QList<SvnScc::Shelf>& shelves)
{
    m_list->clear();
    for (const SvnScc::Shelf& shelf : shelves) {
        auto* item = new QTreeWidgetItem(
            m_list, {shelf.name, shelf.date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                     shelf.paths.join(QStringLiteral(", "))});
        item->setData(0, NameRole, shelf.name);
        item->setToolTip(2, shelf.paths.join(QLatin1Char('\n')));
    }
    m_list->resizeColumnToContents(0);
    updateButtons();
}

QString ShelvesPane::text() const
{
    QStringList lines;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        lines << QStringList{item->text(0), item->text(1), item->text(2)}.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n'));
}

void ShelvesPane::setReady(bool ready)
{
    m_ready = ready;
    updateButtons();
}

void ShelvesPane::updateButtons()
{
    const bool chosen = m_ready && m_list->currentItem();
    m_unshelve->setEnabled(chosen);
    m_drop->setEnabled(chosen);
}
