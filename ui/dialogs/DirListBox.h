#pragma once

#include <QIcon>
#include <QString>
#include <QTreeWidget>

class QKeyEvent;

namespace glintmark::ui {

// A directory list: the open folder's ancestors from the root down, each indented one step
// further, then the open folder's subfolders. The chain down to the open folder carries an
// open-folder icon, the subfolders a closed one, so the open folder shows whatever is
// highlighted. A double-click or Enter opens the folder under the cursor; a single click only
// highlights it. Starts at the process's current folder and reads the disk again each time it
// is shown.
class DirListBox : public QTreeWidget
{
    Q_OBJECT
public:
    // Item data role that holds the folder an entry stands for ('/' separators).
    static constexpr int FolderRole = Qt::UserRole + 1;

    explicit DirListBox(QWidget* parent = nullptr);

    // The open folder as a full path with native separators; only a root ends in one.
    QString path() const;
    // Opens a folder (absolute, or relative to the current folder). Returns false and changes
    // nothing when the folder does not exist or cannot be read.
    bool setPath(const QString& folder);
    // Reads the disk again: vanished folders go from the list, and an open folder that has
    // vanished gives way to its nearest existing parent. The highlight stays where it can.
    void refresh();

    // The folder above a folder ('/' separators), or an empty text for a root.
    static QString parentFolder(const QString& folder);
    // A folder made absolute and clean, with '/' separators; only a root ends in '/'.
    static QString normalFolder(const QString& folder);

signals:
    // The open folder changed; carries the new path as path() gives it.
    void pathChanged(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Draws nothing: the list shows its levels by indentation only, without expand arrows.
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;

private:
    void openItem(QTreeWidgetItem* item);
    void fill();

    QString m_folder;
    QIcon m_openIcon;
    QIcon m_closedIcon;
};

} // namespace glintmark::ui
