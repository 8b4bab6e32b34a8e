#include "ui/Platform.h"

#include <QFile>
#include <QSettings>

#include <csignal>

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

namespace {

// Qt's file dialog keeps its settings in this group of the "QtProject" organisation's store.
const QString kDialogGroup = QStringLiteral("FileDialog");
const QString kDialogOrganisation = QStringLiteral("QtProject");

} // namespace

DialogSettingsKeeper::DialogSettingsKeeper()
{
    keepNoSettings();
    QSettings store(QSettings::UserScope, kDialogOrganisation);
    store.beginGroup(kDialogGroup);
    const QStringList keys = store.allKeys();
    for (const QString& key : keys)
        m_saved.insert(key, store.value(key));
    store.remove(QString());
}

DialogSettingsKeeper::~DialogSettingsKeeper()
{
    QSettings store(QSettings::UserScope, kDialogOrganisation);
    store.beginGroup(kDialogGroup);
    store.remove(QString());
    for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it)
        store.setValue(it.key(), it.value());
}

} // namespace platform
