#include "ui/textures/FrmTextures.h"

#include "ui/Platform.h"
#include "ui/textures/DlgTextureView.h"
#include "ui/textures/ReplacePanel.h"
#include "ui/textures/TextureExport.h"
#include "ui/textures/TextureFilter.h"
#include "ui/textures/TextureModel.h"
#include "ui/textures/TextureRun.h"
#include "ui/textures/ThumbnailCache.h"

#include "features/ImageStatus.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QUrl>
#include <QVBoxLayout>

namespace glintmark::ui {

namespace {

// The size filter's choices: at least this many bytes.
constexpr std::uint64_t kSizeSteps[] = {0, std::uint64_t{1} << 10, std::uint64_t{16} << 10,
                                        std::uint64_t{256} << 10};

// The state filter's choices after "Any state", in the words the gallery page uses.
constexpr JpegStatus kStates[] = {JpegStatus::Whole, JpegStatus::Trailing, JpegStatus::CutShort,
                                  JpegStatus::Damaged};
constexpr const char* kStateWords[] = {"Whole", "Trailing", "Cut short", "Damaged"};

// The decoding filter's choices after "Any decoding", as the model's DecodesRole says them.
constexpr int kDecodes[] = {1, 0, -1};
constexpr const char* kDecodeWords[] = {"Decodes", "Does not decode", "Not checked"};

QString grouped(std::uint64_t value)
{
    return QString::fromStdString(features::groupedNumber(value));
}

} // namespace

FrmTextures::FrmTextures(QWidget* parent)
    : QWidget(parent), m_model(new TextureModel(this)), m_filter(new TextureFilter(this)),
      m_run(new TextureRun(this)), m_export(new TextureExport(this)),
      m_replace(new ReplacePanel(m_model, this))
{
    setObjectName(QStringLiteral("FrmTextures"));
    setWindowTitle(QStringLiteral("Glintmark Textures"));
    m_filter->setSourceModel(m_model);
    buildLayout();
    setAcceptDrops(true);

    connect(m_run, &TextureRun::levelStarted, this, &FrmTextures::onLevelStarted);
    connect(m_run, &TextureRun::imagesFound, m_model, &TextureModel::addImages);
    connect(m_run, &TextureRun::progressed, m_progBar, &QProgressBar::setValue);
    connect(m_run, &TextureRun::indexed, this,
            [this](const std::shared_ptr<const features::GameTextures>& textures) {
                m_model->applyIndex(*textures);
            });
    connect(m_run, &TextureRun::finished, this, &FrmTextures::onFinished);
    connect(m_export, &TextureExport::progressed, m_progBar, &QProgressBar::setValue);
    connect(m_export, &TextureExport::finished, this, &FrmTextures::onExportFinished);
    connect(m_replace, &ReplacePanel::progressed, m_progBar, &QProgressBar::setValue);
    connect(m_replace, &ReplacePanel::busyChanged, this, &FrmTextures::updateActions);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] {
        m_lblStatus->setText(tr("Reading... %1 textures").arg(grouped(m_model->images())));
    });
}

FrmTextures::~FrmTextures() = default;

void FrmTextures::buildLayout()
{
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buildSourceRow());
    layout->addLayout(buildProgressRow());
    layout->addLayout(buildFilterRow());
    layout->addWidget(buildPanes(), 1);
    layout->addWidget(m_replace);
    layout->addLayout(buildExportRow());
    resize(900, 680);

    connect(m_cmdOpen, &QPushButton::clicked, this, &FrmTextures::CmdOpen_Click);
    connect(m_cmdOpenFolder, &QPushButton::clicked, this, &FrmTextures::CmdOpenFolder_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &FrmTextures::CmdCancel_Click);
    connect(m_lstTextures->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &FrmTextures::showCurrent);
    connect(m_txtSearch, &QLineEdit::textChanged, this, &FrmTextures::applyFilters);
    connect(m_cboState, &QComboBox::currentIndexChanged, this, &FrmTextures::applyFilters);
    connect(m_cboSize, &QComboBox::currentIndexChanged, this, &FrmTextures::applyFilters);
    connect(m_chkShared, &QCheckBox::toggled, this, &FrmTextures::applyFilters);
    connect(m_cboDecoding, &QComboBox::currentIndexChanged, this, &FrmTextures::applyFilters);
    connect(m_cmdCheckAll, &QPushButton::clicked, this, &FrmTextures::checkAll);
    connect(m_cmdExportAll, &QPushButton::clicked, this, &FrmTextures::CmdExportAll_Click);
    connect(m_cmdExportSelected, &QPushButton::clicked, this,
            &FrmTextures::CmdExportSelected_Click);
    connect(m_cmdOpenExport, &QPushButton::clicked, this, &FrmTextures::CmdOpenExport_Click);
    connect(m_cmdView, &QPushButton::clicked, this, &FrmTextures::viewCurrent);
    connect(m_lstTextures, &QListView::activated, this, &FrmTextures::viewCurrent);
    connect(m_model->thumbnails(), &ThumbnailCache::fullImage, this, &FrmTextures::onFullImage);
    updateActions();
}

QHBoxLayout* FrmTextures::buildSourceRow()
{
    m_txtSource = new QLineEdit(this);
    m_txtSource->setObjectName(QStringLiteral("txtSource"));
    m_txtSource->setReadOnly(true);
    m_cmdOpen = new QPushButton(tr("Open &Level..."), this);
    m_cmdOpen->setObjectName(QStringLiteral("CmdOpen"));
    m_cmdOpenFolder = new QPushButton(tr("Open &Game Folder..."), this);
    m_cmdOpenFolder->setObjectName(QStringLiteral("CmdOpenFolder"));
    m_cmdCancel = new QPushButton(tr("&Cancel"), this);
    m_cmdCancel->setObjectName(QStringLiteral("CmdCancel"));
    m_cmdCancel->setEnabled(false);
    auto* sourceRow = new QHBoxLayout;
    sourceRow->addWidget(m_txtSource, 1);
    sourceRow->addWidget(m_cmdOpen);
    sourceRow->addWidget(m_cmdOpenFolder);
    sourceRow->addWidget(m_cmdCancel);
    return sourceRow;
}

QHBoxLayout* FrmTextures::buildProgressRow()
{
    m_progBar = new QProgressBar(this);
    m_progBar->setObjectName(QStringLiteral("ProgBar"));
    m_progBar->setRange(0, 100);
    m_progBar->setValue(0);
    m_lblStatus = new QLabel(tr("Open a level or a game folder."), this);
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
    m_lblStatus->setWordWrap(true);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(m_progBar, 1);
    progressRow->addWidget(m_lblStatus, 2);
    return progressRow;
}

QHBoxLayout* FrmTextures::buildFilterRow()
{
    m_txtSearch = new QLineEdit(this);
    m_txtSearch->setObjectName(QStringLiteral("txtSearch"));
    m_txtSearch->setPlaceholderText(tr("Search by number or name"));
    m_txtSearch->setClearButtonEnabled(true);
    m_cboState = new QComboBox(this);
    m_cboState->setObjectName(QStringLiteral("cboState"));
    m_cboState->addItem(tr("Any state"));
    for (const char* words : kStateWords)
        m_cboState->addItem(tr(words));
    m_cboSize = new QComboBox(this);
    m_cboSize->setObjectName(QStringLiteral("cboSize"));
    m_cboSize->addItems(
        {tr("Any size"), tr("1 KiB or more"), tr("16 KiB or more"), tr("256 KiB or more")});
    m_cboDecoding = new QComboBox(this);
    m_cboDecoding->setObjectName(QStringLiteral("cboDecoding"));
    m_cboDecoding->addItem(tr("Any decoding"));
    for (const char* words : kDecodeWords)
        m_cboDecoding->addItem(tr(words));
    m_cmdCheckAll = new QPushButton(tr("Chec&k All"), this);
    m_cmdCheckAll->setObjectName(QStringLiteral("CmdCheckAll"));
    m_cmdCheckAll->setToolTip(tr("Decode every texture, as glintmark-cli --check does"));
    m_chkShared = new QCheckBox(tr("&Shared only"), this);
    m_chkShared->setObjectName(QStringLiteral("chkShared"));
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(m_txtSearch, 1);
    filterRow->addWidget(m_cboState);
    filterRow->addWidget(m_cboSize);
    filterRow->addWidget(m_cboDecoding);
    filterRow->addWidget(m_chkShared);
    filterRow->addWidget(m_cmdCheckAll);
    return filterRow;
}

QHBoxLayout* FrmTextures::buildExportRow()
{
    m_cmdView = new QPushButton(tr("&View Full Size..."), this);
    m_cmdView->setObjectName(QStringLiteral("CmdView"));
    m_cmdView->setEnabled(false);
    m_cmdExportAll = new QPushButton(tr("Export &All..."), this);
    m_cmdExportAll->setObjectName(QStringLiteral("CmdExportAll"));
    m_cmdExportSelected = new QPushButton(tr("Export S&elected..."), this);
    m_cmdExportSelected->setObjectName(QStringLiteral("CmdExportSelected"));
    m_chkTrim = new QCheckBox(tr("&Trim after the end marker"), this);
    m_chkTrim->setObjectName(QStringLiteral("chkTrim"));
    m_chkDedupe = new QCheckBox(tr("&Duplicates as links"), this);
    m_chkDedupe->setObjectName(QStringLiteral("chkDedupe"));
    m_cmdOpenExport = new QPushButton(tr("Open E&xport Folder"), this);
    m_cmdOpenExport->setObjectName(QStringLiteral("CmdOpenExport"));
    m_cmdOpenExport->setEnabled(false);
    auto* exportRow = new QHBoxLayout;
    exportRow->addWidget(m_cmdView);
    exportRow->addWidget(m_cmdExportAll);
    exportRow->addWidget(m_cmdExportSelected);
    exportRow->addWidget(m_chkTrim);
    exportRow->addWidget(m_chkDedupe);
    exportRow->addStretch(1);
    exportRow->addWidget(m_cmdOpenExport);
    return exportRow;
}

QSplitter* FrmTextures::buildPanes()
{
    m_lstLevels = new QListWidget(this);
    m_lstLevels->setObjectName(QStringLiteral("lstLevels"));
    m_lstTextures = new QListView(this);
    m_lstTextures->setObjectName(QStringLiteral("lstTextures"));
    m_lstTextures->setViewMode(QListView::IconMode);
    m_lstTextures->setResizeMode(QListView::Adjust);
    m_lstTextures->setMovement(QListView::Static);
    m_lstTextures->setUniformItemSizes(true);
    m_lstTextures->setIconSize(QSize(ThumbnailCache::kSide, ThumbnailCache::kSide));
    m_lstTextures->setGridSize(TextureModel::cellSize());
    m_lstTextures->setLayoutMode(QListView::Batched);
    m_lstTextures->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lstTextures->setModel(m_filter);
    connect(m_lstTextures->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FrmTextures::updateActions);
    m_txtDetails = new QPlainTextEdit(this);
    m_txtDetails->setObjectName(QStringLiteral("txtDetails"));
    m_txtDetails->setReadOnly(true);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(m_lstLevels);
    splitter->addWidget(m_lstTextures);
    splitter->addWidget(m_txtDetails);
    splitter->setSizes({170, 460, 270});
    return splitter;
}

void FrmTextures::openSource(const std::filesystem::path& source, bool check)
{
    if (m_view != nullptr)
        m_view->hide(); // what it shows is of the source listed before
    m_model->clear();
    m_lstLevels->clear();
    m_txtDetails->clear();
    m_progBar->setValue(0);
    m_txtSource->setText(platform::fromPath(source));
    m_lblStatus->setText(check ? tr("Reading and checking...") : tr("Reading..."));
    m_source = source;
    m_checked = check;
    m_replace->setSource(source);
    m_run->start(source, check);
    updateActions();
}

bool FrmTextures::isListing() const
{
    return m_run->isRunning();
}

void FrmTextures::CmdOpen_Click()
{
    const QString file = QFileDialog::getOpenFileName(this, tr("Open Level"), QString(),
                                                      tr("Level databases (*.ldb);;All files (*)"));
    if (!file.isEmpty())
        openSource(platform::toPath(file));
}

void FrmTextures::CmdOpenFolder_Click()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Open Game Folder"));
    if (!folder.isEmpty())
        openSource(platform::toPath(folder));
}

QString FrmTextures::droppedSource(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QUrl url = data->urls().constFirst();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

void FrmTextures::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedSource(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void FrmTextures::dropEvent(QDropEvent* event)
{
    const QString source = droppedSource(event->mimeData());
    if (source.isEmpty() || isExporting() || m_replace->isBusy())
        return;
    event->acceptProposedAction();
    // An edited image dropped on a texture of the grid replaces it; dropped beside one, it is
    // no source to open.
    if (isEditedImage(source)) {
        replaceWith(textureRowAt(event->position().toPoint()), platform::toPath(source));
        return;
    }
    openSource(platform::toPath(source));
}

bool FrmTextures::isEditedImage(const QString& file)
{
    const QString suffix = QFileInfo(file).suffix().toLower();
    return suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg") ||
           suffix == QLatin1String("png");
}

int FrmTextures::textureRowAt(const QPoint& at) const
{
    const QWidget* grid = m_lstTextures->viewport();
    const QPoint there = grid->mapFrom(this, at);
    if (!grid->rect().contains(there))
        return -1;
    const QModelIndex index = m_filter->mapToSource(m_lstTextures->indexAt(there));
    return index.isValid() ? index.row() : -1;
}

void FrmTextures::replaceWith(int row, const std::filesystem::path& edit)
{
    if (row >= 0 && row < m_model->rowCount()) {
        const QModelIndex shown = m_filter->mapFromSource(m_model->index(row));
        if (shown.isValid())
            m_lstTextures->setCurrentIndex(shown);
    }
    m_replace->replaceWith(row, edit);
}

void FrmTextures::CmdCancel_Click()
{
    m_run->stop();
    m_export->stop();
    m_replace->stop();
    m_lblStatus->setText(tr("Cancelling..."));
}

void FrmTextures::onLevelStarted(int index, int count, const QString& name, const QString& source)
{
    m_model->setLevel(index, name, platform::toPath(source));
    m_replace->addLevel(index, platform::toPath(source));
    m_lstLevels->addItem(name);
    if (count > 1)
        m_lblStatus->setText(tr("Reading level %1 of %2: %3").arg(index + 1).arg(count).arg(name));
}

void FrmTextures::onFinished(const ListingEnd& end)
{
    m_replace->setListed(!end.stopped && !end.failed);
    updateActions();
    QString text;
    if (end.stopped) {
        text = tr("Cancelled: %1 textures listed.").arg(grouped(m_model->images()));
    } else {
        if (!end.failed)
            m_progBar->setValue(100);
        const int levels = static_cast<int>(m_model->levels().size());
        text = tr("%1 textures in %2 %3, %4 distinct.")
                   .arg(grouped(m_model->images()))
                   .arg(levels)
                   .arg(levels == 1 ? tr("level") : tr("levels"))
                   .arg(grouped(static_cast<std::uint64_t>(m_model->rowCount())));
        if (m_checked && !end.failed)
            text += QLatin1Char(' ') + verdictCounts();
    }
    if (!end.message.isEmpty())
        text += QLatin1Char('\n') + end.message;
    m_lblStatus->setText(text);
    if (m_filter->rowCount() > 0 && !m_lstTextures->currentIndex().isValid())
        m_lstTextures->setCurrentIndex(m_filter->index(0, 0));
    emit listingFinished();
}

QString FrmTextures::verdictCounts() const
{
    std::uint64_t decode = 0;
    std::uint64_t doNot = 0;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const int verdict = m_model->index(row).data(TextureModel::DecodesRole).toInt();
        decode += verdict == 1 ? 1 : 0;
        doNot += verdict == 0 ? 1 : 0;
    }
    const std::uint64_t rows = static_cast<std::uint64_t>(m_model->rowCount());
    QString text = tr("Checked: %1 decode, %2 do not").arg(grouped(decode)).arg(grouped(doNot));
    if (decode + doNot < rows)
        text += tr(", %1 not checked (over a decoding limit)").arg(grouped(rows - decode - doNot));
    return text + QLatin1Char('.');
}

void FrmTextures::showCurrent()
{
    const QModelIndex current = m_filter->mapToSource(m_lstTextures->currentIndex());
    m_txtDetails->setPlainText(current.isValid() ? m_model->details(current.row()) : QString());
    m_cmdView->setEnabled(current.isValid());
    m_replace->setCurrent(current.isValid() ? current.row() : -1);
}

void FrmTextures::viewCurrent()
{
    const QModelIndex current = m_filter->mapToSource(m_lstTextures->currentIndex());
    if (!current.isValid())
        return;
    const TextureEntry& entry = m_model->entry(current.row());
    if (m_view == nullptr)
        m_view = new DlgTextureView(this);
    const QStringList& levels = m_model->levels();
    const QString level =
        entry.level >= 0 && entry.level < levels.size() ? levels.at(entry.level) : QString();
    m_view->showDecoding(tr("Texture %1 of %2").arg(entry.image.number).arg(level));
    m_view->show();
    m_view->raise();
    m_view->activateWindow();
    m_model->thumbnails()->requestFull(entry.level, entry.image.offset, entry.image.size);
}

void FrmTextures::onFullImage(int /*level*/, quint64 /*offset*/, const QImage& image,
                              const QString& error)
{
    if (m_view == nullptr)
        return;
    if (image.isNull())
        m_view->showError(error);
    else
        m_view->showImage(image);
}

void FrmTextures::applyFilters()
{
    m_filter->setSearch(m_txtSearch->text());
    const int state = m_cboState->currentIndex() - 1;
    m_filter->setState(state >= 0 && state < static_cast<int>(std::size(kStates))
                           ? std::optional<JpegStatus>(kStates[state])
                           : std::nullopt);
    m_filter->setSharedOnly(m_chkShared->isChecked());
    const int decoding = m_cboDecoding->currentIndex() - 1;
    m_filter->setDecoding(decoding >= 0 && decoding < static_cast<int>(std::size(kDecodes))
                              ? std::optional<int>(kDecodes[decoding])
                              : std::nullopt);
    const int size = m_cboSize->currentIndex();
    m_filter->setMinimumSize(
        size >= 0 && size < static_cast<int>(std::size(kSizeSteps)) ? kSizeSteps[size] : 0);
    showCurrent();
}

bool FrmTextures::isExporting() const
{
    return m_export->isRunning();
}

void FrmTextures::updateActions()
{
    const bool listing = m_run->isRunning();
    const bool exporting = m_export->isRunning();
    const bool replacing = m_replace->isBusy();
    const bool canExport = !listing && !exporting && !replacing && !m_source.empty();
    m_cmdCancel->setEnabled(listing || exporting || replacing);
    m_cmdExportAll->setEnabled(canExport);
    m_cmdExportSelected->setEnabled(canExport && m_lstTextures->selectionModel()->hasSelection());
    m_cmdOpen->setEnabled(!exporting && !replacing);
    m_cmdOpenFolder->setEnabled(!exporting && !replacing);
    m_cmdCheckAll->setEnabled(!listing && !exporting && !replacing && !m_source.empty() &&
                              !m_checked);
}

void FrmTextures::checkAll()
{
    if (!m_source.empty() && !m_export->isRunning() && !m_replace->isBusy())
        openSource(m_source, true);
}

std::map<std::string, std::set<std::uint64_t>> FrmTextures::selectedImages() const
{
    std::map<std::string, std::set<std::uint64_t>> chosen;
    const QStringList& levels = m_model->levels();
    const auto choose = [&](int level, std::uint64_t number) {
        if (level >= 0 && level < levels.size())
            chosen[levels[level].toStdString()].insert(number);
    };
    for (const QModelIndex& index : m_lstTextures->selectionModel()->selectedIndexes()) {
        const QModelIndex row = m_filter->mapToSource(index);
        if (!row.isValid())
            continue;
        const TextureEntry& entry = m_model->entry(row.row());
        if (entry.uses.empty())
            choose(entry.level, entry.image.number);
        for (const TextureUseRef& use : entry.uses)
            choose(use.level, use.number);
    }
    return chosen;
}

void FrmTextures::exportTo(const std::filesystem::path& folder, bool selectedOnly)
{
    if (m_source.empty() || isListing() || isExporting())
        return;
    ExportChoices choices;
    choices.trim = m_chkTrim->isChecked();
    choices.dedupe = m_chkDedupe->isChecked();
    choices.selectedOnly = selectedOnly;
    if (selectedOnly) {
        choices.chosen = selectedImages();
        if (choices.chosen.empty()) {
            m_lblStatus->setText(tr("Select the textures to export first."));
            return;
        }
    }
    m_progBar->setValue(0);
    m_lblStatus->setText(tr("Exporting into %1...").arg(platform::fromPath(folder)));
    m_export->start(m_source, folder, choices);
    updateActions();
}

void FrmTextures::CmdExportAll_Click()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Export All Into"));
    if (!folder.isEmpty())
        exportTo(platform::toPath(folder), false);
}

void FrmTextures::CmdExportSelected_Click()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Export Selected Into"));
    if (!folder.isEmpty())
        exportTo(platform::toPath(folder), true);
}

void FrmTextures::CmdOpenExport_Click()
{
    if (!m_exportedFolder.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(m_exportedFolder));
}

void FrmTextures::onExportFinished(const ExportEnd& end)
{
    updateActions();
    QString text;
    if (end.stopped)
        text = tr("Export cancelled: %1 images written into %2.");
    else if (end.failed)
        text = tr("Export failed: %1 images written into %2.");
    else
        text = tr("Exported %1 images into %2.");
    text = text.arg(grouped(end.written), end.folder);
    if (!end.message.isEmpty())
        text += QLatin1Char('\n') + end.message;
    m_lblStatus->setText(text);
    if (end.written > 0) {
        m_exportedFolder = end.folder;
        m_cmdOpenExport->setEnabled(true);
    }
    emit exportFinished();
}

} // namespace glintmark::ui
