#include "features/game/GameGallery.h"

#include "engine/LockedFolder.h"
#include "engine/names/ImageNames.h"
#include "features/gallery/GalleryPage.h"
#include "features/gallery/PageText.h"

#include <set>

namespace glintmark::features {
namespace {

// The figures' size, each one's list of uses, and the frame of a texture used in several
// levels, after the look both pages share.
constexpr const char* kStyle = R"(figure{width:200px;contain-intrinsic-size:202px 300px}
figure img{width:192px;height:160px}
figcaption code{color:#999;font-size:11px}
figure ul{margin:0;padding:0 6px 6px 20px;max-height:96px;overflow:auto;font-size:11px}
a{color:#9cf}.shared{border-color:#6a8}
)";

constexpr const char* kScript = R"(<script>
document.addEventListener('DOMContentLoaded', function () {
  var grid = document.getElementById('grid');
  var all = Array.prototype.slice.call(grid.children);
  function value(id) { return document.getElementById(id).value; }
  function apply() {
    var by = value('sort'), find = value('find').toLowerCase(), minu = +value('minu') || 0;
    var shown = all.filter(function (f) {
      var d = f.dataset;
      return +d.u >= minu && (!find || d.l.toLowerCase().indexOf(find) >= 0 || d.d.indexOf(find) === 0);
    });
    shown.sort(function (a, b) {
      var x = a.dataset, y = b.dataset;
      if (by === 'f') return x.i - y.i;
      var k = by === 'a' ? x.w * x.h - y.w * y.h : x[by] - y[by];
      return k !== 0 ? -k : x.i - y.i;
    });
    all.forEach(function (f) { f.hidden = true; });
    shown.forEach(function (f) { f.hidden = false; grid.appendChild(f); });
    document.getElementById('shown').textContent = shown.length + ' of ' + all.length + ' shown';
  }
  ['sort', 'find', 'minu'].forEach(function (id) {
    document.getElementById(id).addEventListener('input', apply);
  });
  apply();
});
</script>
)";

constexpr const char* kControls =
    "<form onsubmit=\"return false\">\n"
    "<label>Find <input type=\"search\" id=\"find\" placeholder=\"level or sha256\" "
    "size=\"18\"></label>\n"
    "<label>Sort by <select id=\"sort\"><option value=\"u\">uses</option>"
    "<option value=\"l2\">levels</option><option value=\"s\">size</option>"
    "<option value=\"a\">dimensions (area)</option><option value=\"f\">first found</option>"
    "</select></label>\n"
    "<label>Used at least <input type=\"number\" id=\"minu\" min=\"1\" value=\"1\"> times</label>\n"
    "<span id=\"shown\"></span></form>\n";

std::string figure(const Texture& texture, std::size_t order, const TextureIndex& index,
                   const std::vector<std::filesystem::path>& levelFolders)
{
    const std::filesystem::path stem{std::string(kImageStem)};
    const auto fileOf = [&](const TextureUse& use) {
        return hrefOf(levelFolders[use.level] / imageFileName(stem, use.number, kImageExt));
    };
    std::set<std::uint32_t> levels;
    std::string names;
    std::string uses;
    for (const TextureUse& use : texture.in) {
        const std::string level = levelText(index.levels()[use.level]);
        if (levels.insert(use.level).second)
            names += level + "\n";
        uses += "<li><a href=\"" + fileOf(use) + "\">" + htmlEscaped(level) + " #" +
                std::to_string(use.number) + "</a></li>";
    }
    const std::string digest = digestHex(texture.sha256);
    const std::string dimensions = texture.width > 0 ? std::to_string(texture.width) + "&times;" +
                                                           std::to_string(texture.height)
                                                     : "no frame";
    const std::size_t count = texture.in.size();
    std::string html = "<figure" + std::string(levels.size() > 1 ? " class=\"shared\"" : "") +
                       " data-i=\"" + std::to_string(order) + "\" data-u=\"" +
                       std::to_string(count) + "\" data-l2=\"" + std::to_string(levels.size()) +
                       "\" data-s=\"" + std::to_string(texture.bytes) + "\" data-w=\"" +
                       std::to_string(texture.width) + "\" data-h=\"" +
                       std::to_string(texture.height) + "\" data-d=\"" + digest + "\" data-l=\"" +
                       htmlEscaped(names) + "\">";
    const std::string first = fileOf(texture.in.front());
    html += "<a href=\"" + first + "\"><img src=\"" + first + "\" loading=\"lazy\" alt=\"" +
            digest.substr(0, 12) + "\"></a>";
    html += "<figcaption><b>" + dimensions + "</b> " + sizeText(texture.bytes) + "<br>used " +
            std::to_string(count) + (count == 1 ? " time" : " times") + " in " +
            std::to_string(levels.size()) + (levels.size() == 1 ? " level" : " levels") +
            "<br><code>" + digest.substr(0, 16) + "</code></figcaption><ul>" + uses +
            "</ul></figure>\n";
    return html;
}

// The game's levels, each linked to its own page.
std::string levelLinks(const TextureIndex& index,
                       const std::vector<std::filesystem::path>& levelFolders)
{
    std::string html = "<nav id=\"levels\">Levels:";
    for (std::size_t i = 0; i < levelFolders.size() && i < index.levels().size(); ++i) {
        html += std::string(i == 0 ? " " : " &middot; ") + "<a href=\"" +
                hrefOf(levelFolders[i] / std::string(kGalleryName)) + "\">" +
                htmlEscaped(levelText(index.levels()[i])) + "</a>";
    }
    return html + "</nav>\n";
}

} // namespace

std::optional<ExtractError> writeGameGallery(const TextureIndex& index,
                                             const std::vector<std::filesystem::path>& levelFolders,
                                             const std::string& title, LockedFolder& folder,
                                             const std::function<bool()>& keepGoing)
{
    return folder.writeFile(
        std::string(kGalleryName), "the game's gallery page", [&](FileWriter& page) {
            const PageParts parts{htmlEscaped(title), kStyle, kScript,
                                  "<p>" + indexSummary(index) + "</p>\n" +
                                      levelLinks(index, levelFolders) + kControls};
            return writePage(
                page, parts, index.textures().size(),
                [&](std::size_t i) { return figure(index.textures()[i], i, index, levelFolders); },
                keepGoing);
        });
}

} // namespace glintmark::features
