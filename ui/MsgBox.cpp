#include "ui/MsgBox.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>

#include <algorithm>

namespace glintmark::ui {

namespace MsgBox {
namespace {

// Qt's message box wraps the text itself, wherever it likes, once the box would grow wider than
// half the screen or 500 pixels. Lines that fit within that are shown as they are.
int lineWidthFor(QMessageBox& box)
{
    const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
    QLayout* layout = box.layout();
    int around = 0;
    if (layout) {
        layout->activate();
        around = layout->totalMinimumSize().width();
    }
    // A little slack for the label's own rounding; never narrower than a short sentence.
    return std::max(std::min(screenWidth / 2, 500) - around - 8, 160);
}

bool isSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(' ');
}

// The words of a line. A double-quoted path is one word with whatever sticks to it ("...":),
// spaces and all, so it is only broken when it does not fit on a line of its own.
QStringList wordsOf(const QString& line)
{
    QStringList words;
    QString word;
    bool quoted = false;
    for (const QChar c : line) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        if (c == QLatin1Char(' ') && !quoted) {
            if (!word.isEmpty())
                words.append(word);
            word.clear();
        } else {
            word.append(c);
        }
    }
    if (!word.isEmpty())
        words.append(word);
    return words;
}

// Adds a word too wide for any line, broken after its path separators and spaces.
void breakLongWord(const QString& word, const QFontMetrics& metrics, int width, QStringList& lines,
                   QString& current)
{
    QString piece;
    for (qsizetype i = 0; i < word.size(); ++i) {
        piece.append(word.at(i));
        if (!isSeparator(word.at(i)) && i + 1 < word.size())
            continue;
        if (!current.isEmpty() && metrics.horizontalAdvance(current + piece) > width) {
            lines.append(current.trimmed());
            current.clear();
        }
        current += piece;
        piece.clear();
    }
}

// Breaks a line at spaces into lines no wider than the box takes, keeping paths whole.
QString wrapLine(const QString& line, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(line) <= width)
        return line;
    QStringList lines;
    QString current;
    for (const QString& word : wordsOf(line)) {
        const QString joined = current.isEmpty() ? word : current + QLatin1Char(' ') + word;
        if (metrics.horizontalAdvance(joined) <= width) {
            current = joined;
            continue;
        }
        if (!current.isEmpty())
            lines.append(current);
        current.clear();
        if (metrics.horizontalAdvance(word) <= width)
            current = word;
        else
            breakLongWord(word, metrics, width, lines, current);
    }
    if (!current.isEmpty())
        lines.append(current);
    return lines.join(QLatin1Char('\n'));
}

void show(QWidget* parent, QMessageBox::Icon icon, const QString& text, const QString& title)
{
    QMessageBox box(icon, title, QString(), QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("MsgBox"));
    // The text is shown as it stands: leading spaces and file names must not be read as markup.
    box.setTextFormat(Qt::PlainText);
    const auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    const QFontMetrics metrics = label ? label->fontMetrics() : box.fontMetrics();
    const int width = lineWidthFor(box);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = wrapLine(line, metrics, width);
    box.setText(lines.join(QLatin1Char('\n')));
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

} // namespace

void information(QWidget* parent, const QString& text, const QString& title)
{
    show(parent, QMessageBox::Information, text, title);
}

void warning(QWidget* parent, const QString& text, const QString& title)
{
    show(parent, QMessageBox::Warning, text, title);
}

} // namespace MsgBox

} // namespace glintmark::ui
