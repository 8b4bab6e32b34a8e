#include "ui/Platform.h"

#include <QSettings>

#include <csignal>

namespace glintmark::ui {

namespace platform {

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void keepNoSettings()
{
    // Settings files are looked for and created below these folders. One inside the resources
    // can be neither read from disk nor created. (The Windows registry and macOS preferences
    // have no such place; there Qt's stores stay where they are.)
    static const bool done = [] {
        const QString nowhere = QStringLiteral(":/no-settings");
        for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            QSettings::setPath(format, QSettings::UserScope, nowhere);
            QSettings::setPath(format, QSettings::SystemScope, nowhere);
        }
        return true;
    }();
    (void)done;
}

void ignoreFileSizeSignal()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

} // namespace platform

} // namespace glintmark::ui
