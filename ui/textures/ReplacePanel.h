#pragma once

#include "features/putback/EditPlan.h"
#include "features/putback/PackPutBack.h"
#include "features/putback/PutBack.h"

#include <QString>
#include <QWidget>

#include <filesystem>
#include <vector>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace glintmark::ui {

class ReplaceJob;
class ReplacePlanner;
class TextureModel;
struct ReplaceEnd;

// A replacement waiting to be written: the edit, the texture it replaces and where, and what
// the plan made of it.
struct PendingReplacement
{
    features::TextureEdit edit;
    QString texture;    // "texture 3 of a.ldb", as the window names it
    QStringList places; // "a.ldb 3", every place it goes to
    features::EditPlan plan;
    bool fit = false; // planned with "encode again what does not fit"
};

// The texture window's replacements: an edited image (JPEG or PNG) chosen for the current
// texture, or dropped on one, is planned at once on a worker (fits as it is, encoded at a
// quality, or refused with the reason); those that can go in wait in a list, can be taken back,
// and are written as new level(s) or saved as a pack; a pack on disk can be applied to the
// source. Every job runs on a thread of its own and can be cancelled.
class ReplacePanel : public QWidget
{
    Q_OBJECT

public:
    ReplacePanel(TextureModel* model, QWidget* parent = nullptr);
    ~ReplacePanel() override;

    // A source is being listed: forgets the levels and the plan under way, and, unless it is the
    // source listed before (listed again to check it), every pending replacement.
    void setSource(const std::filesystem::path& source);
    // Level `index` of the listing is the file `file`.
    void addLevel(int index, const std::filesystem::path& file);
    // Whether the listing is over (a texture can be replaced only once its digest is known).
    void setListed(bool listed);
    // The model row under the cursor; -1 for none.
    void setCurrent(int row);
    // Plans replacing the texture of model row `row` with the file `edit`, at every place it is
    // used when "Everywhere" is ticked, at its first place otherwise; for no row (-1), says where
    // to drop it.
    void replaceWith(int row, const std::filesystem::path& edit);
    // Takes back pending replacement `index`.
    void takeBack(int index);
    // Writes the source with the pending replacements at `into`: a level file for a level, a
    // folder for a game.
    void writeTo(const std::filesystem::path& into);
    // Saves the pending replacements as the pack `pack`.
    void savePackTo(const std::filesystem::path& pack);
    // Applies the pack in `pack` to the source, writing at `into` as writeTo() does.
    void applyPackFrom(const std::filesystem::path& pack, const std::filesystem::path& into);
    // Asks the job under way to stop.
    void stop();
    // Whether a job is under way.
    bool isBusy() const;
    // Whether the source listed is one level (not a game folder).
    bool sourceIsLevel() const;

    const std::vector<PendingReplacement>& pending() const { return m_pending; }
    // What the last plan or job said.
    QString planText() const;
    // The place the last job wrote, when it wrote anything; empty otherwise.
    QString writtenPlace() const { return m_written; }

signals:
    // A plan is shown (it may have become a pending replacement).
    void planShown();
    // How far the job has got, 0 to 100.
    void progressed(int percent);
    // A job began or ended.
    void busyChanged();
    // The job is over.
    void jobFinished();

private:
    void CmdReplace_Click();
    void CmdTakeBack_Click();
    void CmdWrite_Click();
    void CmdSavePack_Click();
    void CmdApplyPack_Click();
    void onPlanned(quint64 ticket, const features::EditPlan& plan);
    void onJobFinished(const ReplaceEnd& end);
    void showPending();
    void updateActions();
    // Where the texture of `row` goes: its level's place, or each of its uses.
    std::vector<std::pair<int, std::uint64_t>> placesOf(int row, bool everywhere) const;
    std::filesystem::path relativeOf(int level) const;
    void startJob(const QString& doing);
    // Asks where the new level or levels go; empty when the user cancels.
    QString chooseInto();

    TextureModel* m_model;
    ReplacePlanner* m_planner;
    ReplaceJob* m_job;
    std::filesystem::path m_source;
    std::vector<std::filesystem::path> m_levels; // each level's file, by its place in the model
    bool m_listed = false;
    int m_current = -1;
    quint64 m_ticket = 0;
    PendingReplacement m_planning; // the replacement whose plan is awaited
    std::vector<PendingReplacement> m_pending;
    QString m_written;
    QPushButton* m_cmdReplace = nullptr;
    QCheckBox* m_chkEverywhere = nullptr;
    QCheckBox* m_chkFit = nullptr;
    QLabel* m_lblPlan = nullptr;
    QListWidget* m_lstPending = nullptr;
    QPushButton* m_cmdTakeBack = nullptr;
    QPushButton* m_cmdWrite = nullptr;
    QPushButton* m_cmdSavePack = nullptr;
    QPushButton* m_cmdApplyPack = nullptr;
};

} // namespace glintmark::ui
