#pragma once

#include <QWidget>

#include <filesystem>

class QCheckBox;
class QDragEnterEvent;
class QDropEvent;
class QMimeData;
class QComboBox;
class QHBoxLayout;
class QSplitter;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace glintmark::ui {

class TextureFilter;
class TextureModel;
class TextureRun;
struct ListingEnd;

// The texture window: a level or a game folder listed on a thread of its own, its textures in a
// grid (a game's shared ones once, with their count), the details of the current one, filters
// and a search. The listing can be cancelled, and the window stays usable while it goes.
class FrmTextures : public QWidget
{
    Q_OBJECT

public:
    explicit FrmTextures(QWidget* parent = nullptr);
    ~FrmTextures() override;

    // Lists the textures of `source`, a level or a game folder, in place of what is shown.
    void openSource(const std::filesystem::path& source);
    // Whether a listing is going.
    bool isListing() const;
    TextureModel* model() const { return m_model; }
    TextureFilter* filter() const { return m_filter; }

protected:
    // A level or a game folder dropped on the window is opened as if chosen.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

signals:
    // The listing started by openSource() is over (done, cancelled or failed).
    void listingFinished();

private:
    void buildLayout();
    QHBoxLayout* buildSourceRow();
    QHBoxLayout* buildProgressRow();
    QHBoxLayout* buildFilterRow();
    QSplitter* buildPanes();
    void CmdOpen_Click();
    void CmdOpenFolder_Click();
    void CmdCancel_Click();
    void onLevelStarted(int index, int count, const QString& name, const QString& source);
    void onFinished(const ListingEnd& end);
    void showCurrent();
    void applyFilters();
    // The one local file or folder `data` carries; empty when it carries anything else.
    static QString droppedSource(const QMimeData* data);

    TextureModel* m_model;
    TextureFilter* m_filter;
    TextureRun* m_run;
    QLineEdit* m_txtSource = nullptr;
    QPushButton* m_cmdOpen = nullptr;
    QPushButton* m_cmdOpenFolder = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    QProgressBar* m_progBar = nullptr;
    QLabel* m_lblStatus = nullptr;
    QLineEdit* m_txtSearch = nullptr;
    QComboBox* m_cboState = nullptr;
    QComboBox* m_cboSize = nullptr;
    QCheckBox* m_chkShared = nullptr;
    QListWidget* m_lstLevels = nullptr;
    QListView* m_lstTextures = nullptr;
    QPlainTextEdit* m_txtDetails = nullptr;
};

} // namespace glintmark::ui
