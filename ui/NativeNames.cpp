// File names as the system spells them, and the text the windows show for them. On Windows both
// are UTF-16 and nothing is lost. Elsewhere a name is bytes, usually UTF-8 but not always: a byte
// that is not part of well-formed UTF-8 is shown as the lone surrogate U+DC80 + (byte - 0x80)
// and turned back into that byte, so every name survives the trip through a window unchanged.
#include "ui/Platform.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace glintmark::ui {

namespace platform {

namespace {

#ifndef _WIN32

constexpr char16_t kEscapeBase = 0xDC00; // + the byte, for bytes 0x80 to 0xFF
constexpr char32_t kReplacement = 0xFFFD;

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at the start of `bytes` (1 to 4), with its code
// point; 0 when it does not start with one (a stray, overlong, surrogate or too large sequence).
std::size_t wellFormed(std::string_view bytes, char32_t& codePoint)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(0);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80; // the second byte's range, narrower after some leads
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (bytes.size() < length || at(1) < low || at(1) > high)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if (!isContinuation(at(i)))
            return 0;
        codePoint = (codePoint << 6) | (at(i) & 0x3F);
    }
    return length;
}

void appendUtf8(std::string& out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

QString textFromBytes(std::string_view bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    while (!bytes.empty()) {
        char32_t codePoint = 0;
        std::size_t length = wellFormed(bytes, codePoint);
        if (length == 0) {
            text +=
                QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[0])));
            length = 1;
        } else {
            text += QString::fromUcs4(&codePoint, 1);
        }
        bytes.remove_prefix(length);
    }
    return text;
}

std::string bytesFromText(const QString& text)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            appendUtf8(bytes, QChar::surrogateToUcs4(unit, text.at(i + 1).unicode()));
            ++i;
        } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            bytes += static_cast<char>(unit - kEscapeBase);
        } else if (QChar::isSurrogate(unit)) {
            // No name is spelled this way; it has no bytes of its own.
            appendUtf8(bytes, kReplacement);
        } else {
            appendUtf8(bytes, unit);
        }
    }
    return bytes;
}

// The entry of `folder` that Qt shows as `shown` (decoding its bytes with U+FFFD for those that
// are not UTF-8), when exactly one does.
std::optional<std::filesystem::path> entryShownAs(const std::filesystem::path& folder,
                                                  const QString& shown)
{
    std::optional<std::filesystem::path> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        std::filesystem::path name = it->path().filename();
        const std::string& bytes = name.native();
        if (QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()))) !=
            shown)
            continue;
        if (found)
            return std::nullopt; // two names read the same: which one was meant cannot be told
        found = std::move(name);
    }
    if (ec)
        return std::nullopt;
    return found;
}

#endif

} // namespace

std::filesystem::path toPath(const QString& text)
{
#ifdef _WIN32
    return std::filesystem::path(text.toStdWString());
#else
    return std::filesystem::path(bytesFromText(text));
#endif
}

QString fromPath(const std::filesystem::path& path)
{
#ifdef _WIN32
    return QString::fromStdWString(path.native());
#else
    return textFromBytes(path.native());
#endif
}

QString fromArgument(const char* argument)
{
#ifdef _WIN32
    return QString::fromLocal8Bit(argument);
#else
    return textFromBytes(argument);
#endif
}

QString exactName(const QString& shown)
{
#ifdef _WIN32
    return shown;
#else
    if (!shown.contains(QChar(kReplacement)))
        return shown;
    const std::filesystem::path path = toPath(shown);
    std::error_code ec;
    if (std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found)
        return shown;
    std::filesystem::path exact = path.root_path();
    for (const std::filesystem::path& part : path.relative_path()) {
        const QString partText = fromPath(part);
        const bool there = std::filesystem::symlink_status(exact / part, ec).type() !=
                           std::filesystem::file_type::not_found;
        if (there || !partText.contains(QChar(kReplacement))) {
            exact /= part;
            continue;
        }
        const std::optional<std::filesystem::path> entry = entryShownAs(exact, partText);
        if (!entry)
            return shown;
        exact /= *entry;
    }
    return fromPath(exact);
#endif
}

bool isReadableFolder(const QString& folder)
{
#ifdef _WIN32
    const QFileInfo info(folder);
    return info.isDir() && info.isReadable();
#else
    const std::filesystem::path path = toPath(folder);
    std::error_code ec;
    return std::filesystem::is_directory(path, ec) && ::access(path.c_str(), R_OK) == 0;
#endif
}

QStringList subfolderNames(const QString& folder)
{
    QStringList names;
#ifdef _WIN32
    names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                   QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
#else
    std::error_code ec;
    for (std::filesystem::directory_iterator it(toPath(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::path name = it->path().filename();
        std::error_code typeError;
        if (name.native().starts_with('.') || !std::filesystem::is_directory(it->path(), typeError))
            continue;
        names.append(fromPath(name));
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), [&collator](const QString& a, const QString& b) {
        const int order = collator.compare(a, b);
        return order != 0 ? order < 0 : a < b;
    });
#endif
    return names;
}

} // namespace platform

} // namespace glintmark::ui
