#include "ui/dialogs/DirListBox.h"

#include "ui/Platform.h"
#include "ui/dialogs/FolderIcons.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>

namespace glintmark::ui {

namespace {

// Folders are read through the platform layer, which keeps names that are not UTF-8 exactly.
bool isOpenable(const QString& folder)
{
    return platform::isReadableFolder(folder);
}

} // namespace

DirListBox::DirListBox(QWidget* parent)
    : QTreeWidget(parent), m_openIcon(FolderIcons::open()), m_closedIcon(FolderIcons::closed())
{
    setColumnCount(1);
    header()->hide();
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setIndentation(12);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus);
    // The list's background is painted under its frame, not by the viewport in front of it:
    // at fractional scales the viewport's edge rounds outward and would paint over the frame.
    viewport()->setAutoFillBackground(false);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { openItem(item); });

    if (!setPath(QDir::currentPath())) {
        // The current folder is gone: show where the process stands, with nothing under it.
        m_folder = normalFolder(QDir::currentPath());
        fill();
    }
}

QString DirListBox::path() const
{
    return QDir::toNativeSeparators(m_folder);
}

bool DirListBox::setPath(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    const QString target = normalFolder(folder);
    if (!isOpenable(target))
        return false;
    const bool changed = target != m_folder;
    m_folder = target;
    fill();
    if (changed)
        emit pathChanged(path());
    return true;
}

QString DirListBox::normalFolder(const QString& folder)
{
    QString clean =
        QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(folder)).absoluteFilePath());
    // cleanPath keeps a root's separator ("/", "C:/") and drops every other trailing one.
    if (clean.endsWith(QLatin1Char(':')))
        clean.append(QLatin1Char('/'));
    // It also leaves ".." steps that would climb above the root; a root has no parent.
    const qsizetype rootLength = clean.indexOf(QLatin1Char('/')) + 1;
    QString rest = clean.mid(rootLength);
    while (rest == QLatin1String("..") || rest.startsWith(QLatin1String("../")))
        rest = rest.mid(3);
    return clean.left(rootLength) + rest;
}

QString DirListBox::parentFolder(const QString& folder)
{
    if (folder.isEmpty() || QDir(folder).isRoot() || folder.endsWith(QLatin1Char('/')))
        return QString();
    const qsizetype cut = folder.lastIndexOf(QLatin1Char('/'));
    if (cut < 0)
        return QString();
    QString parent = folder.left(cut);
    // The parent of "/a" is "/", of "C:/a" is "C:/", of "//server/share/a" is "//server/share".
    if (parent.isEmpty() || parent.endsWith(QLatin1Char(':')))
        parent.append(QLatin1Char('/'));
    if (parent == QLatin1String("/") && folder.startsWith(QLatin1String("//")))
        return QString();
    return parent;
}

void DirListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (currentItem())
            openItem(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void DirListBox::showEvent(QShowEvent* event)
{
    refresh();
    QTreeWidget::showEvent(event);
}

void DirListBox::refresh()
{
    const QString highlighted =
        currentItem() ? currentItem()->data(0, FolderRole).toString() : QString();
    QString folder = m_folder;
    while (!isOpenable(folder) && !parentFolder(folder).isEmpty())
        folder = parentFolder(folder);
    const bool changed = folder != m_folder && isOpenable(folder);
    if (changed)
        m_folder = folder;
    fill();
    if (!highlighted.isEmpty()) {
        for (QTreeWidgetItemIterator it(this); *it; ++it) {
            if ((*it)->data(0, FolderRole).toString() == highlighted) {
                setCurrentItem(*it);
                break;
            }
        }
    }
    if (changed)
        emit pathChanged(path());
}

void DirListBox::drawBranches(QPainter*, const QRect&, const QModelIndex&) const {}

void DirListBox::openItem(QTreeWidgetItem* item)
{
    if (item)
        setPath(item->data(0, FolderRole).toString());
}

void DirListBox::fill()
{
    clear();
    QStringList chain;
    for (QString folder = m_folder; !folder.isEmpty(); folder = parentFolder(folder))
        chain.prepend(folder);

    QTreeWidgetItem* parentItem = nullptr;
    for (const QString& folder : chain) {
        const QString name =
            parentItem ? QFileInfo(folder).fileName() : QDir::toNativeSeparators(folder);
        auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
        item->setText(0, name);
        item->setIcon(0, m_openIcon);
        item->setData(0, FolderRole, folder);
        item->setToolTip(0, QDir::toNativeSeparators(folder));
        parentItem = item;
    }
    QTreeWidgetItem* openItemEntry = parentItem;

    const QDir dir(m_folder);
    const QStringList subfolders = platform::subfolderNames(m_folder);
    for (const QString& name : subfolders) {
        auto* item = new QTreeWidgetItem(openItemEntry);
        item->setText(0, name);
        item->setIcon(0, m_closedIcon);
        const QString folder = dir.filePath(name);
        item->setData(0, FolderRole, folder);
        item->setToolTip(0, QDir::toNativeSeparators(folder));
    }
    expandAll();
    if (openItemEntry) {
        setCurrentItem(openItemEntry);
        scrollToItem(openItemEntry);
    }
}

} // namespace glintmark::ui
