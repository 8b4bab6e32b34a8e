// Times extractions through the main window, the way a user runs them: paths in the two boxes,
// a press of Extract, the caption and bar updated and the event loop served after every block,
// and the count message at the end (accepted automatically). Runs headless by default.
//
//   glintmark-window-bench [--runs N] [--block-size BYTES] SOURCE OUTDIR
//
// With one run the images go into OUTDIR, with several into OUTDIR/run-1, OUTDIR/run-2, ...
// Each run's time is from the press of Extract to the moment the count message appears.
#include "engine/Extraction.h"
#include "ui/FrmMain.h"
#include "ui/WindowRefs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace glintmark::ui;

namespace {

// Notes the moment and the content of every message box, and presses its OK.
class BoxWatcher : public QObject
{
public:
    explicit BoxWatcher(const QElapsedTimer& clock) : m_clock(clock)
    {
        qApp->installEventFilter(this);
    }

    qint64 shownAtNs = -1;
    QString title;
    QString text;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                shownAtNs = m_clock.nsecsElapsed();
                title = box->windowTitle();
                text = box->text();
                QTimer::singleShot(0, box, [guard = QPointer<QMessageBox>(box)] {
                    if (guard)
                        guard->button(QMessageBox::Ok)->click();
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const QElapsedTimer& m_clock;
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times extractions through the main window (headless unless "
                       "QT_QPA_PLATFORM says otherwise)."));
    parser.addHelpOption();
    const QCommandLineOption runsOption(QStringLiteral("runs"),
                                        QStringLiteral("Number of runs (default 1)."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption blockOption(
        QStringLiteral("block-size"),
        QStringLiteral("Bytes per block (default: the engine's own block size)."),
        QStringLiteral("BYTES"));
    parser.addOption(runsOption);
    parser.addOption(blockOption);
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("Level database."));
    parser.addPositionalArgument(QStringLiteral("OUTDIR"), QStringLiteral("Output folder."));
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    bool runsOk = false;
    const int runs = parser.value(runsOption).toInt(&runsOk);
    bool blockOk = true;
    const qulonglong blockSize =
        parser.isSet(blockOption) ? parser.value(blockOption).toULongLong(&blockOk) : 0;
    if (args.size() != 2 || !runsOk || runs < 1 || !blockOk ||
        (parser.isSet(blockOption) && blockSize == 0)) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }
    const QString source = QFileInfo(args.at(0)).absoluteFilePath();
    const QString outDir = QFileInfo(args.at(1)).absoluteFilePath();

    QPointer<FrmMain> window = WindowRefs::frmMain();
    window->Form_Load();
    window->showCentred();
    if (blockSize > 0)
        window->setBlockSize(static_cast<std::size_t>(blockSize));
    QCoreApplication::processEvents();

    const qint64 sourceSize = QFileInfo(source).size();
    const std::size_t block =
        blockSize > 0 ? static_cast<std::size_t>(blockSize) : glintmark::kDefaultBlockSize;
    std::printf("source %s: %lld bytes, %zu-byte blocks (%lld caption and bar updates a run)\n",
                qPrintable(source), static_cast<long long>(sourceSize), block,
                static_cast<long long>((sourceSize + static_cast<qint64>(block) - 1) /
                                       static_cast<qint64>(block)));

    std::vector<double> seconds;
    for (int run = 1; run <= runs; ++run) {
        const QString folder =
            runs == 1 ? outDir : QDir(outDir).filePath(QStringLiteral("run-%1").arg(run));
        if (!QDir().mkpath(folder)) {
            std::fprintf(stderr, "glintmark-window-bench: %s: cannot create the folder\n",
                         qPrintable(folder));
            return 1;
        }
        window->txtSource->setText(source);
        window->txtExtract->setText(folder);

        QElapsedTimer clock;
        BoxWatcher watcher(clock);
        clock.start();
        window->CmdExtract->click();
        if (watcher.shownAtNs < 0 || watcher.title != QLatin1String("Done!")) {
            std::fprintf(
                stderr, "glintmark-window-bench: run %d failed: %s\n", run,
                qPrintable(watcher.text.isEmpty() ? QStringLiteral("no message") : watcher.text));
            return 1;
        }
        seconds.push_back(static_cast<double>(watcher.shownAtNs) / 1e9);
        std::printf("run %d: %.3f s,%s\n", run, seconds.back(), qPrintable(watcher.text));
    }

    std::sort(seconds.begin(), seconds.end());
    const std::size_t n = seconds.size();
    const double median = n % 2 == 1 ? seconds[n / 2] : (seconds[n / 2 - 1] + seconds[n / 2]) / 2.0;
    std::printf("window median: %.3f s over %zu run(s)\n", median, n);

    WindowRefs::unloadSecondaries();
    delete window.data();
    return 0;
}
