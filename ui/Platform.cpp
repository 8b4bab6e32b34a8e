#include "ui/Platform.h"

#include <QFile>
#include <QSettings>

#include <csignal>

namespace glintmark::ui {

namespace platform {

std::filesystem::path toPath(const QString& text)
{
#ifdef _WIN32
    return std::filesystem::path(text.toStdWString());
#else
    const QByteArray encoded = QFile::encodeName(text);
    return std::filesystem::path(std::string(encoded.constData(), encoded.size()));
#endif
}

QString fromPath(const std::filesystem::path& path)
{
#ifdef _WIN32
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

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
