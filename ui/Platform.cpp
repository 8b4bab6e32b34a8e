#include "ui/Platform.h"

#include <QFile>

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

} // namespace platform
