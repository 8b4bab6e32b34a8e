#include "cli/OutputPlan.h"

#include "engine/ErrorText.h"

#include <map>

namespace glintmark::cli {
namespace {

std::string foldCase(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// A folder name must stay one level below the output folder.
bool usableFolderName(const std::filesystem::path& name)
{
    return !name.empty() && name != "." && name != "..";
}

} // namespace

OutputPlan planOutputFolders(const std::vector<std::filesystem::path>& sources,
                             const std::filesystem::path& outputDir)
{
    OutputPlan plan;
    if (sources.size() == 1) {
        plan.folders.push_back(outputDir);
        return plan;
    }

    std::map<std::string, std::size_t> taken; // folded folder name -> index of its source
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const std::filesystem::path stem = sources[i].filename().stem();
        plan.folders.push_back(outputDir / stem);
        if (!plan.problem.empty())
            continue;
        if (!usableFolderName(stem)) {
            plan.problem = displayPath(sources[i]) + ": cannot name an output folder after it";
            continue;
        }
        const auto [it, inserted] = taken.emplace(foldCase(displayPath(stem)), i);
        if (!inserted) {
            plan.problem = displayPath(sources[it->second]) + " and " + displayPath(sources[i]) +
                           " would both extract into " + displayPath(outputDir / stem) +
                           "; extract them in separate runs";
        }
    }
    return plan;
}

} // namespace glintmark::cli
