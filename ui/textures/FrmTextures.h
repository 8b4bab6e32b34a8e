#pragma once

#include <QWidget>

#include <filesystem>
#include <map>
#include <set>
#include <string>

class QCheckBox;
class QDragEnterEvent;
class QDropEvent;
class QPoint;
class QMimeData;
class QComboBox;
class QHBoxLayout;
class QImage;
class QSplitter;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace glintmark::ui {

class DlgTextureView;
class ReplacePanel;
class TextureFilter;
class TextureModel;
class TextureExport;
class TextureRun;
struct ExportEnd;
struct ListingEnd;

// The texture window: a level or a game folder listed on a thread of its own, its textures in a
// grid (a game's shared ones once, with their count), the details of the current one, filters
// and a search; the textures, all or the selected ones, exported into a chosen folder as the
// command line extracts them; textures replaced by edited images, planned at once and written
// as new levels or a pack, and packs applied. The listing, the export and the writing can be
// cancelled, and the window stays usable while they go.
class FrmTextures : public QWidget
{
    Q_OBJECT

public:
    explicit FrmTextures(QWidget* parent = nullptr);
    ~FrmTextures() override;

    // Lists the textures of `source`, a level or a game folder, in place of what is shown,
    // decoding each as the command line's --check does when `check` is set.
    void openSource(const std::filesystem::path& source, bool check = false);
    // Lists the source shown again, decoding every texture, so that each has its verdict.
    void checkAll();
    // Whether a listing is going.
    bool isListing() const;
    // Extracts the source listed into `folder`, every image or only the selected textures' (each
    // wherever it is used), with the trim and dedupe chosen, on a thread of its own.
    void exportTo(const std::filesystem::path& folder, bool selectedOnly);
    // Whether an export is going.
    bool isExporting() const;
    // Shows the current texture at full size, with zoom, in a window of its own (made on first
    // use), decoded on a worker.
    void viewCurrent();
    // That window; null before the first view.
    DlgTextureView* textureView() const { return m_view; }
    // The folder the last export that wrote anything went to; empty before one.
    QString exportedFolder() const { return m_exportedFolder; }
    TextureModel* model() const { return m_model; }
    TextureFilter* filter() const { return m_filter; }
    // The replacements: their plans, the pending ones, and the writing of new levels and packs.
    ReplacePanel* replacePanel() const { return m_replace; }
    // Makes model row `row` the current texture and plans replacing it with the file `edit`, as
    // a drop of the file on it does.
    void replaceWith(int row, const std::filesystem::path& edit);

protected:
    // A level or a game folder dropped on the window is opened as if chosen; an edited image
    // (JPEG or PNG) dropped on a texture of the grid is planned as its replacement, and dropped
    // elsewhere is not opened: the window says where to drop it.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

signals:
    // The listing started by openSource() is over (done, cancelled or failed).
    void listingFinished();
    // The export started by exportTo() is over (done, cancelled or failed).
    void exportFinished();

private:
    void buildLayout();
    QHBoxLayout* buildSourceRow();
    QHBoxLayout* buildProgressRow();
    QHBoxLayout* buildFilterRow();
    QHBoxLayout* buildExportRow();
    QSplitter* buildPanes();
    void CmdOpen_Click();
    void CmdOpenFolder_Click();
    void CmdCancel_Click();
    void CmdExportAll_Click();
    void CmdExportSelected_Click();
    void CmdOpenExport_Click();
    void onFullImage(int level, quint64 offset, const QImage& image, const QString& error);
    void onExportFinished(const ExportEnd& end);
    // Enables what can be done now: exports once a listing is over, cancel while one runs.
    void updateActions();
    // The images of the selected textures, every use of each, by level name.
    std::map<std::string, std::set<std::uint64_t>> selectedImages() const;
    void onLevelStarted(int index, int count, const QString& name, const QString& source);
    void onFinished(const ListingEnd& end);
    void showCurrent();
    // What the check found, over the rows: how many decode and how many do not.
    QString verdictCounts() const;
    void applyFilters();
    // The one local file or folder `data` carries; empty when it carries anything else.
    static QString droppedSource(const QMimeData* data);
    // Whether `file` is named as an edited image the window can put in (JPEG or PNG).
    static bool isEditedImage(const QString& file);
    // The model row of the texture shown at `at` (in the window) in the grid; -1 for none.
    int textureRowAt(const QPoint& at) const;

    TextureModel* m_model;
    TextureFilter* m_filter;
    TextureRun* m_run;
    TextureExport* m_export;
    ReplacePanel* m_replace;
    DlgTextureView* m_view = nullptr;
    std::filesystem::path m_source; // what is listed
    bool m_checked = false;         // whether its listing decodes every texture
    QString m_exportedFolder;
    QLineEdit* m_txtSource = nullptr;
    QPushButton* m_cmdOpen = nullptr;
    QPushButton* m_cmdOpenFolder = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    QProgressBar* m_progBar = nullptr;
    QLabel* m_lblStatus = nullptr;
    QLineEdit* m_txtSearch = nullptr;
    QComboBox* m_cboState = nullptr;
    QComboBox* m_cboSize = nullptr;
    QComboBox* m_cboDecoding = nullptr;
    QPushButton* m_cmdCheckAll = nullptr;
    QCheckBox* m_chkShared = nullptr;
    QPushButton* m_cmdView = nullptr;
    QPushButton* m_cmdExportAll = nullptr;
    QPushButton* m_cmdExportSelected = nullptr;
    QCheckBox* m_chkTrim = nullptr;
    QCheckBox* m_chkDedupe = nullptr;
    QPushButton* m_cmdOpenExport = nullptr;
    QListWidget* m_lstLevels = nullptr;
    QListView* m_lstTextures = nullptr;
    QPlainTextEdit* m_txtDetails = nullptr;
};

} // namespace glintmark::ui
