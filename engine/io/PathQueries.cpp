#include "engine/io/PathQueries.h"

namespace glintmark {

void createFolders(const std::filesystem::path& folder, std::error_code& ec)
{
    std::filesystem::create_directories(folder, ec);
    if (!ec && !std::filesystem::is_directory(folder, ec) && !ec)
        ec = std::make_error_code(std::errc::not_a_directory);
}

std::filesystem::file_status pathStatus(const std::filesystem::path& path, std::error_code& ec)
{
    return std::filesystem::status(path, ec);
}

std::filesystem::path resolvedPath(const std::filesystem::path& path, std::error_code& ec)
{
    return std::filesystem::canonical(path, ec);
}

bool samePlace(const std::filesystem::path& a, const std::filesystem::path& b, std::error_code& ec)
{
    return std::filesystem::equivalent(a, b, ec);
}

} // namespace glintmark
