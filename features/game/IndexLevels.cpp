#include "features/game/IndexLevels.h"

#include "engine/io/RawFile.h"

#include <nlohmann/json.hpp>

#include <cstdint>

namespace glintmark::features {
namespace {

// The most of an index read to find its levels: the list comes first, and even ten thousand
// levels take far less.
constexpr std::size_t kMostRead = std::size_t{8} << 20;

// Takes the strings of the top object's "levels" array and stops the parse where it ends.
class LevelsOnly : public nlohmann::json_sax<nlohmann::json>
{
public:
    std::vector<std::string> levels;
    bool complete = false; // the whole list was met

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool string(string_t& value) override
    {
        if (m_inLevels && m_depth == 2)
            levels.push_back(value);
        return true;
    }
    bool key(string_t& name) override
    {
        m_levelsNext = m_depth == 1 && name == "levels";
        return true;
    }
    bool start_object(std::size_t) override
    {
        ++m_depth;
        m_levelsNext = false;
        return true;
    }
    bool end_object() override
    {
        --m_depth;
        return true;
    }
    bool start_array(std::size_t) override
    {
        ++m_depth;
        m_inLevels = m_depth == 2 && m_levelsNext;
        m_levelsNext = false;
        return true;
    }
    bool end_array() override
    {
        --m_depth;
        if (m_inLevels && m_depth == 1) {
            complete = true;
            return false; // nothing after the list is needed
        }
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override
    {
        return false;
    }

private:
    int m_depth = 0;
    bool m_levelsNext = false; // the key just read is the top object's "levels"
    bool m_inLevels = false;
};

} // namespace

std::optional<std::vector<std::string>> readIndexLevels(const std::filesystem::path& file)
{
    std::error_code ec;
    const RawFile index = RawFile::openForReading(file, ec);
    if (ec)
        return std::nullopt;
    const FileIdentity identity = index.identity(ec);
    if (ec || identity.type != FileType::Regular)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(identity.size, kMostRead)),
                     '\0');
    const std::size_t got = index.readAt(0, text.data(), text.size(), ec);
    if (ec)
        return std::nullopt;
    text.resize(got);
    LevelsOnly levels;
    nlohmann::json::sax_parse(text, &levels, nlohmann::json::input_format_t::json, false);
    if (!levels.complete)
        return std::nullopt;
    return std::move(levels.levels);
}

} // namespace glintmark::features
