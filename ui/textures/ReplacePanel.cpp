#include "ui/textures/ReplacePanel.h"

#include "engine/io/PathText.h"
#include "features/ImageStatus.h"
#include "ui/Platform.h"
#include "ui/textures/ReplaceJob.h"
#include "ui/textures/ReplacePlanner.h"
#include "ui/textures/TextureModel.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace glintmark::ui {

namespace {

QString fileName(const std::filesystem::path& file)
{
    return platform::fromPath(file.filename());
}

QString grouped(std::uint64_t value)
{
    return QString::fromStdString(features::groupedNumber(value));
}

// The places a replacement goes to, the first few by name: "a.ldb 2, b.ldb 1, ... and 21 more".
QString placesText(const QStringList& places)
{
    constexpr int kNamed = 6;
    if (places.size() <= kNamed)
        return places.join(QStringLiteral(", "));
    return places.mid(0, kNamed).join(QStringLiteral(", ")) +
           QStringLiteral(", ... and %1 more").arg(places.size() - kNamed);
}

} // namespace

ReplacePanel::ReplacePanel(TextureModel* model, QWidget* parent)
    : QWidget(parent), m_model(model), m_planner(new ReplacePlanner(this)),
      m_job(new ReplaceJob(this))
{
    setObjectName(QStringLiteral("ReplacePanel"));
    m_cmdReplace = new QPushButton(tr("&Replace With..."), this);
    m_cmdReplace->setObjectName(QStringLiteral("CmdReplace"));
    m_cmdReplace->setToolTip(tr("Replace the current texture with an edited JPEG or PNG; "
                                "dropping the image on the texture does the same"));
    m_chkEverywhere = new QCheckBox(tr("Everyw&here it is used"), this);
    m_chkEverywhere->setObjectName(QStringLiteral("chkEverywhere"));
    m_chkEverywhere->setChecked(true);
    m_chkFit = new QCheckBox(tr("Encode again to f&it"), this);
    m_chkFit->setObjectName(QStringLiteral("chkFit"));
    m_chkFit->setToolTip(tr("Encode an edit again when it does not fit its place or is coded "
                            "otherwise, as glintmark-cli --fit does"));
    m_lblPlan = new QLabel(tr("Choose a texture, then an edited image to replace it with."), this);
    m_lblPlan->setObjectName(QStringLiteral("lblPlan"));
    m_lblPlan->setWordWrap(true);
    m_lblPlan->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lstPending = new QListWidget(this);
    m_lstPending->setObjectName(QStringLiteral("lstPending"));
    m_lstPending->setMaximumHeight(fontMetrics().height() * 6);
    m_cmdTakeBack = new QPushButton(tr("Take &Back"), this);
    m_cmdTakeBack->setObjectName(QStringLiteral("CmdTakeBack"));
    m_cmdWrite = new QPushButton(tr("Write &New Level(s)..."), this);
    m_cmdWrite->setObjectName(QStringLiteral("CmdWrite"));
    m_cmdSavePack = new QPushButton(tr("Save as &Pack..."), this);
    m_cmdSavePack->setObjectName(QStringLiteral("CmdSavePack"));
    m_cmdApplyPack = new QPushButton(tr("Appl&y Pack..."), this);
    m_cmdApplyPack->setObjectName(QStringLiteral("CmdApplyPack"));

    auto* planRow = new QHBoxLayout;
    planRow->addWidget(m_cmdReplace);
    planRow->addWidget(m_chkEverywhere);
    planRow->addWidget(m_chkFit);
    planRow->addWidget(m_lblPlan, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_cmdTakeBack);
    buttons->addWidget(m_cmdWrite);
    buttons->addWidget(m_cmdSavePack);
    buttons->addWidget(m_cmdApplyPack);
    buttons->addStretch(1);
    auto* pendingRow = new QHBoxLayout;
    pendingRow->addWidget(m_lstPending, 1);
    pendingRow->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(planRow);
    layout->addLayout(pendingRow);

    connect(m_cmdReplace, &QPushButton::clicked, this, &ReplacePanel::CmdReplace_Click);
    connect(m_cmdTakeBack, &QPushButton::clicked, this, &ReplacePanel::CmdTakeBack_Click);
    connect(m_cmdWrite, &QPushButton::clicked, this, &ReplacePanel::CmdWrite_Click);
    connect(m_cmdSavePack, &QPushButton::clicked, this, &ReplacePanel::CmdSavePack_Click);
    connect(m_cmdApplyPack, &QPushButton::clicked, this, &ReplacePanel::CmdApplyPack_Click);
    connect(m_lstPending, &QListWidget::currentRowChanged, this, &ReplacePanel::updateActions);
    connect(m_planner, &ReplacePlanner::planned, this, &ReplacePanel::onPlanned);
    connect(m_job, &ReplaceJob::progressed, this, [this](int percent, const QString& doing) {
        m_lblPlan->setText(tr("Working: %1...").arg(doing));
        emit progressed(percent);
    });
    connect(m_job, &ReplaceJob::finished, this, &ReplacePanel::onJobFinished);
    updateActions();
}

ReplacePanel::~ReplacePanel() = default;

void ReplacePanel::setSource(const std::filesystem::path& source)
{
    m_job->stop();
    const bool again = source == m_source; // listed again (Check All): what waits still holds
    m_source = source;
    m_levels.clear();
    m_listed = false;
    m_current = -1;
    ++m_ticket; // a plan still coming is of the listing before
    if (!again) {
        m_pending.clear();
        m_written.clear();
        m_lblPlan->setText(tr("Choose a texture, then an edited image to replace it with."));
    }
    showPending();
}

void ReplacePanel::addLevel(int index, const std::filesystem::path& file)
{
    if (index < 0)
        return;
    if (m_levels.size() <= static_cast<std::size_t>(index))
        m_levels.resize(static_cast<std::size_t>(index) + 1);
    m_levels[static_cast<std::size_t>(index)] = file;
}

void ReplacePanel::setListed(bool listed)
{
    m_listed = listed;
    updateActions();
}

void ReplacePanel::setCurrent(int row)
{
    m_current = row;
    updateActions();
}

bool ReplacePanel::sourceIsLevel() const
{
    return m_levels.size() == 1 && m_levels.front() == m_source;
}

bool ReplacePanel::isBusy() const
{
    return m_job->isRunning();
}

QString ReplacePanel::planText() const
{
    return m_lblPlan->text();
}

std::filesystem::path ReplacePanel::relativeOf(int level) const
{
    const auto& file = m_levels.at(static_cast<std::size_t>(level));
    return sourceIsLevel() ? file.filename() : file.lexically_relative(m_source);
}

std::vector<std::pair<int, std::uint64_t>> ReplacePanel::placesOf(int row, bool everywhere) const
{
    const TextureEntry& entry = m_model->entry(row);
    std::vector<std::pair<int, std::uint64_t>> places;
    if (everywhere)
        for (const TextureUseRef& use : entry.uses)
            places.emplace_back(use.level, use.number);
    if (places.empty())
        places.emplace_back(entry.level, entry.image.number);
    return places;
}

void ReplacePanel::replaceWith(int row, const std::filesystem::path& edit)
{
    if (row < 0 || row >= m_model->rowCount()) {
        m_lblPlan->setText(tr("Drop %1 on the texture it replaces, or choose that texture and "
                              "then \"Replace With...\".")
                               .arg(fileName(edit)));
        emit planShown();
        return;
    }
    const TextureEntry& entry = m_model->entry(row);
    const auto texture = features::digestFromHex(entry.digest.toStdString());
    if (!m_listed || !texture || entry.level < 0 ||
        static_cast<std::size_t>(entry.level) >= m_levels.size()) {
        m_lblPlan->setText(tr("A texture can be replaced once the listing is over."));
        emit planShown();
        return;
    }
    const bool everywhere = m_chkEverywhere->isChecked();
    PendingReplacement planning;
    planning.edit.texture = *texture;
    planning.edit.width = entry.image.jpeg.width;
    planning.edit.height = entry.image.jpeg.height;
    planning.edit.components = entry.image.jpeg.components;
    planning.edit.file = edit;
    if (!everywhere)
        planning.edit.only = features::TexturePlace{relativeOf(entry.level), entry.image.number};
    const QStringList& levels = m_model->levels();
    const auto levelName = [&levels](int level) {
        return level >= 0 && level < levels.size() ? levels.at(level) : QString();
    };
    planning.texture = tr("texture %1 of %2").arg(entry.image.number).arg(levelName(entry.level));
    for (const auto& [level, number] : placesOf(row, everywhere))
        planning.places.append(tr("%1 %2").arg(levelName(level)).arg(number));
    planning.fit = m_chkFit->isChecked();
    m_planning = planning;
    m_lblPlan->setText(tr("Judging %1 for %2...").arg(fileName(edit), planning.texture));
    m_planner->plan(++m_ticket, edit, m_levels[static_cast<std::size_t>(entry.level)], entry.image,
                    planning.fit, texture);
}

void ReplacePanel::onPlanned(quint64 ticket, const features::EditPlan& plan)
{
    if (ticket != m_ticket)
        return;
    using Verdict = features::EditPlan::Verdict;
    PendingReplacement planned = m_planning;
    planned.plan = plan;
    const QString file = fileName(planned.edit.file);
    const QString places =
        planned.places.size() > 1
            ? tr(" (at %1 places: %2)").arg(planned.places.size()).arg(placesText(planned.places))
            : QString();
    switch (plan.verdict) {
    case Verdict::Unchanged:
        m_lblPlan->setText(
            tr("%1 holds %2 as it is: there is nothing to replace.").arg(file, planned.texture));
        break;
    case Verdict::Fits:
        m_lblPlan->setText(tr("%1 fits %2 as it is (%3 bytes)%4; it waits below to be written.")
                               .arg(file, planned.texture, grouped(plan.length), places));
        break;
    case Verdict::Encoded:
        m_lblPlan->setText(tr("%1 goes into %2 encoded at quality %3 (%4 bytes)%5; it waits "
                              "below to be written.")
                               .arg(file, planned.texture)
                               .arg(plan.quality.value_or(0))
                               .arg(grouped(plan.length), places));
        break;
    case Verdict::Refused:
        m_lblPlan->setText(tr("Refused: %1 %2.").arg(file, QString::fromStdString(plan.reason)));
        break;
    case Verdict::Failed:
        m_lblPlan->setText(QString::fromStdString(plan.reason));
        break;
    }
    if (plan.verdict == Verdict::Fits || plan.verdict == Verdict::Encoded) {
        // A later replacement of the same texture takes the earlier's place: the grid shows a
        // texture once, so both go everywhere it is used or both to its first place.
        m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(),
                                       [&planned](const PendingReplacement& earlier) {
                                           return earlier.edit.texture == planned.edit.texture;
                                       }),
                        m_pending.end());
        m_pending.push_back(std::move(planned));
        showPending();
    }
    emit planShown();
}

void ReplacePanel::showPending()
{
    m_lstPending->clear();
    for (const PendingReplacement& pending : m_pending) {
        QString line = tr("%1 \u2190 %2").arg(pending.texture, fileName(pending.edit.file));
        if (pending.plan.quality)
            line += tr(", encoded at quality %1").arg(*pending.plan.quality);
        line += pending.edit.only
                    ? tr(", here only")
                    : tr(", everywhere it is used: %1").arg(placesText(pending.places));
        m_lstPending->addItem(line);
    }
    updateActions();
}

void ReplacePanel::takeBack(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_pending.size() || isBusy())
        return;
    m_lblPlan->setText(tr("Taken back: %1.").arg(m_lstPending->item(index)->text()));
    m_pending.erase(m_pending.begin() + index);
    showPending();
}

void ReplacePanel::startJob(const QString& doing)
{
    m_written.clear();
    m_lblPlan->setText(doing);
    emit progressed(0);
    updateActions();
    emit busyChanged();
}

void ReplacePanel::writeTo(const std::filesystem::path& into)
{
    if (m_pending.empty() || isBusy() || !m_listed)
        return;
    std::vector<features::TextureEdit> edits;
    bool fit = false;
    for (const PendingReplacement& pending : m_pending) {
        edits.push_back(pending.edit);
        fit = fit || pending.fit;
    }
    m_job->writeLevels(m_source, into, std::move(edits), sourceIsLevel(), fit);
    startJob(tr("Writing into %1...").arg(platform::fromPath(into)));
}

void ReplacePanel::savePackTo(const std::filesystem::path& pack)
{
    if (m_pending.empty() || isBusy())
        return;
    std::vector<features::EditedTexture> edits;
    for (const PendingReplacement& pending : m_pending)
        edits.push_back({pending.edit.file, pending.edit.texture, pending.edit.width,
                         pending.edit.height, pending.edit.components});
    m_job->savePack(pack, std::move(edits));
    startJob(tr("Saving the pack %1...").arg(platform::fromPath(pack)));
}

void ReplacePanel::applyPackFrom(const std::filesystem::path& pack,
                                 const std::filesystem::path& into)
{
    if (isBusy() || !m_listed)
        return;
    m_job->applyPack(pack, m_source, into, sourceIsLevel(), m_chkFit->isChecked());
    startJob(tr("Applying the pack %1...").arg(platform::fromPath(pack)));
}

void ReplacePanel::stop()
{
    m_job->stop();
}

void ReplacePanel::onJobFinished(const ReplaceEnd& end)
{
    // The first lines of what was done; all of them in the tooltip.
    constexpr int kShownLines = 6;
    QString text = end.summary;
    const QStringList lines = end.details.trimmed().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (int i = 0; i < lines.size() && i < kShownLines; ++i)
        text += QLatin1Char('\n') + lines.at(i);
    if (lines.size() > kShownLines)
        text += tr("\n... and %1 more").arg(lines.size() - kShownLines);
    m_lblPlan->setToolTip(end.details.trimmed());
    if (end.written)
        m_written = end.place;
    m_lblPlan->setText(text);
    emit progressed(end.written ? 100 : 0);
    updateActions();
    emit busyChanged();
    emit jobFinished();
}

void ReplacePanel::updateActions()
{
    const bool busy = isBusy();
    m_cmdReplace->setEnabled(!busy && m_listed && m_current >= 0);
    m_cmdTakeBack->setEnabled(!busy && m_lstPending->currentRow() >= 0);
    m_cmdWrite->setEnabled(!busy && m_listed && !m_pending.empty());
    m_cmdSavePack->setEnabled(!busy && !m_pending.empty());
    m_cmdApplyPack->setEnabled(!busy && m_listed);
}

void ReplacePanel::CmdReplace_Click()
{
    const QString file = QFileDialog::getOpenFileName(
        this, tr("Replace With"), QString(), tr("Images (*.jpg *.jpeg *.png);;All files (*)"));
    if (!file.isEmpty())
        replaceWith(m_current, platform::toPath(file));
}

void ReplacePanel::CmdTakeBack_Click()
{
    takeBack(m_lstPending->currentRow());
}

QString ReplacePanel::chooseInto()
{
    // Beside the source, under a name of its own: a new level file, or a new folder of levels
    // (named, not picked among existing ones: only a folder a put-back made is replaced).
    const QDir beside(platform::fromPath(m_source.parent_path()));
    if (sourceIsLevel())
        return QFileDialog::getSaveFileName(
            this, tr("Write New Level"),
            beside.filePath(platform::fromPath(m_source.stem()) + tr(" new.ldb")),
            tr("Level databases (*.ldb);;All files (*)"));
    return QFileDialog::getSaveFileName(
        this, tr("Write New Levels As Folder"),
        beside.filePath(platform::fromPath(m_source.filename()) + tr(" new levels")), QString(),
        nullptr, QFileDialog::ShowDirsOnly);
}

void ReplacePanel::CmdWrite_Click()
{
    const QString into = chooseInto();
    if (!into.isEmpty())
        writeTo(platform::toPath(into));
}

void ReplacePanel::CmdSavePack_Click()
{
    const QString pack = QFileDialog::getSaveFileName(this, tr("Save Pack As"));
    if (!pack.isEmpty())
        savePackTo(platform::toPath(pack));
}

void ReplacePanel::CmdApplyPack_Click()
{
    const QString pack = QFileDialog::getExistingDirectory(this, tr("Open Pack"));
    if (pack.isEmpty())
        return;
    const QString into = chooseInto();
    if (!into.isEmpty())
        applyPackFrom(platform::toPath(pack), platform::toPath(into));
}

} // namespace glintmark::ui
