#include "features/gallery/GalleryPage.h"

#include "engine/LockedFolder.h"
#include "engine/io/PathText.h"
#include "features/ImageStatus.h"
#include "features/gallery/PageText.h"

#include <algorithm>
#include <array>

namespace glintmark::features {
namespace {

// The figures' size and the colours of the statuses, after the look both pages share.
constexpr const char* kStyle = R"(figure{width:168px;contain-intrinsic-size:170px 222px}
figure img{width:160px;height:160px}
.small img{image-rendering:pixelated}
.trailing figcaption i{color:#9cf}.cut-short figcaption i{color:#fc6}
.damaged figcaption i,.undecodable figcaption i{color:#f77}.broken img{outline:2px solid #f77}
)";

constexpr const char* kScript = R"(<script>
(function () {
  var root = document.documentElement, loaded = 0, broken = 0, pending = false;
  function note() {
    pending = false;
    root.dataset.loaded = loaded;
    root.dataset.broken = broken;
  }
  function later() { if (!pending) { pending = true; setTimeout(note, 200); } }
  document.addEventListener('load', function (e) {
    if (e.target.tagName === 'IMG') { loaded++; later(); }
  }, true);
  document.addEventListener('error', function (e) {
    if (e.target.tagName === 'IMG') { broken++; e.target.parentNode.classList.add('broken'); later(); }
  }, true);
  window.addEventListener('load', note);
  document.addEventListener('DOMContentLoaded', function () {
    note();
    var grid = document.getElementById('grid');
    var all = Array.prototype.slice.call(grid.children);
    var rank = { whole: 0, trailing: 1, 'cut-short': 2, damaged: 3 };
    function value(id) { return document.getElementById(id).value; }
    function key(f, by) {
      var d = f.dataset;
      if (by === 'a') return d.w * d.h;
      if (by === 'st') return rank[d.st];
      return +d[by];
    }
    var arranged = 'n';
    function apply() {
      var by = value('sort'), desc = document.getElementById('desc').checked;
      var arrangement = by + (desc ? '-' : '');
      var st = value('status'), dec = value('decoding'), minW = +value('minw'), minH = +value('minh');
      // Digits alone ask for that number ("42" is image 42 only); anything else is a part of a name.
      var find = value('find').trim().toLowerCase(), number = /^[0-9]+$/.test(find) ? +find : -1;
      var minS = value('mins') * 1024, maxS = value('maxs') === '' ? Infinity : value('maxs') * 1024;
      var order = arrangement === arranged ? all : all.slice().sort(function (a, b) {
        return (key(a, by) - key(b, by)) * (desc ? -1 : 1) || a.dataset.n - b.dataset.n;
      });
      var shown = 0, list = document.createDocumentFragment();
      order.forEach(function (f) {
        var d = f.dataset;
        f.hidden = !((st === '' || d.st === st) && (dec === '' || d.dec === dec) &&
                     (find === '' || (number >= 0 ? +d.n === number
                                                  : d.f.toLowerCase().indexOf(find) >= 0)) &&
                     +d.w >= minW && +d.h >= minH && +d.s >= minS && +d.s <= maxS);
        if (!f.hidden) shown++;
        if (arrangement !== arranged) list.appendChild(f);
      });
      if (arrangement !== arranged) grid.appendChild(list);
      arranged = arrangement;
      document.getElementById('shown').textContent = shown + ' shown';
    }
    // The view lives in the address too (#sort=s&desc=1&status=damaged&minw=64), so it can
    // be bookmarked or passed on.
    var fields = ['find', 'sort', 'desc', 'status', 'decoding', 'minw', 'minh', 'mins', 'maxs'];
    location.hash.slice(1).split('&').forEach(function (pair) {
      var kv = pair.split('='), field = document.getElementById(kv[0]);
      if (fields.indexOf(kv[0]) < 0 || !field) return;
      if (field.type === 'checkbox') field.checked = kv[1] === '1';
      else field.value = decodeURIComponent(kv[1] || '');
    });
    document.querySelector('header form').addEventListener('input', function () {
      apply();
      history.replaceState(null, '', '#' + fields.map(function (id) {
        var field = document.getElementById(id);
        return id + '=' + (field.type === 'checkbox' ? (field.checked ? 1 : 0)
                                                     : encodeURIComponent(field.value));
      }).join('&'));
    });
    apply();
    root.dataset.readyMs = Math.round(performance.now());
  });
})();
</script>
)";

// The side of a thumbnail's square, in CSS pixels.
constexpr std::uint32_t kThumbnail = 160;

std::string captionStatus(const CheckedImage& image)
{
    std::string text = statusText(image);
    if (image.decodes)
        text += *image.decodes ? "; decodes" : "; does not decode: " + image.decodeError;
    else if (!image.decodeError.empty())
        text += "; not checked: " + image.decodeError;
    return text;
}

std::string figure(const CheckedImage& image)
{
    const JpegStructure& jpeg = image.jpeg;
    const JpegStatus status = jpegStatus(jpeg, image.size);
    const std::string name = displayPath(imageFileName("", image.number, kImageExt));
    const std::string number = name.substr(0, name.size() - kImageExt.size());
    std::string classes = statusName(status);
    if (image.decodes && !*image.decodes)
        classes += " undecodable";
    // Smaller than its thumbnail: scaled up, its pixels stay sharp.
    if (jpeg.hasFrame && jpeg.width <= kThumbnail && jpeg.height <= kThumbnail)
        classes += " small";
    const char* decoding =
        image.decodes ? (*image.decodes ? "decodes" : "does-not-decode") : "not-checked";
    const std::string dimensions =
        jpeg.hasFrame ? std::to_string(jpeg.width) + "&times;" + std::to_string(jpeg.height)
                      : "no frame";
    std::string html =
        "<figure class=\"" + classes + "\" data-n=\"" + std::to_string(image.number) +
        "\" data-w=\"" + std::to_string(jpeg.width) + "\" data-h=\"" + std::to_string(jpeg.height) +
        "\" data-s=\"" + std::to_string(image.written) + "\" data-o=\"" +
        std::to_string(image.offset) + "\" data-st=\"" + statusName(status) + "\" data-dec=\"" +
        decoding + "\" data-f=\"" + htmlEscaped(std::string(kImageStem) + name) + "\">";
    const std::string file = htmlEscaped(std::string(kImageStem) + name);
    html += "<a href=\"" + file + "\"><img src=\"" + file + "\" loading=\"lazy\" alt=\"" + file +
            ", " + sizeText(image.written) + "\"></a>";
    html += "<figcaption><b>" + number + "</b> " + dimensions + "<br>" + sizeText(image.written) +
            " at " + std::to_string(image.offset) + "<br><i>" + htmlEscaped(captionStatus(image)) +
            "</i></figcaption></figure>\n";
    return html;
}

// How many images have each structure, in the order of JpegStatus.
std::array<std::uint64_t, 4> tallyStructure(const std::vector<CheckedImage>& images)
{
    std::array<std::uint64_t, 4> counts{};
    for (const CheckedImage& image : images)
        ++counts[static_cast<std::size_t>(jpegStatus(image.jpeg, image.size))];
    return counts;
}

constexpr JpegStatus kStatuses[] = {JpegStatus::Whole, JpegStatus::Trailing, JpegStatus::CutShort,
                                    JpegStatus::Damaged};

// A status's name for people: its name in JSON, with a space for the hyphen ("cut short").
std::string statusWords(JpegStatus status)
{
    std::string words = statusName(status);
    std::replace(words.begin(), words.end(), '-', ' ');
    return words;
}

std::string summary(const LevelOutcome& outcome)
{
    const std::array<std::uint64_t, 4> counts = tallyStructure(outcome.images);
    std::string text = std::to_string(outcome.images.size()) + " textures: ";
    for (const JpegStatus status : kStatuses) {
        text += (status == JpegStatus::Whole ? "" : ", ") +
                std::to_string(counts[static_cast<std::size_t>(status)]) + " " +
                statusWords(status);
    }
    const std::string decoding = decodingText(tallyDecoding(outcome.images));
    return decoding.empty() ? text : text + "; " + decoding;
}

std::string option(const std::string& value, const std::string& words, std::uint64_t count)
{
    return "<option value=\"" + value + "\">" + words + " (" + std::to_string(count) + ")</option>";
}

// The search, sorting and filters; each filter's choices with how many images they hold. The
// decoding filter is there only when the images were decoded.
std::string controls(const LevelOutcome& outcome)
{
    std::string html =
        "<form onsubmit=\"return false\">\n"
        "<label>Find <input type=\"search\" id=\"find\" placeholder=\"number or name\" "
        "size=\"14\"></label>\n"
        "<label>Sort by <select id=\"sort\"><option value=\"n\">number</option>"
        "<option value=\"s\">size</option>\n<option value=\"a\">dimensions (area)</option>"
        "<option value=\"w\">width</option>\n<option value=\"h\">height</option>"
        "<option value=\"st\">status</option><option value=\"o\">offset</option></select>"
        "</label>\n<label><input type=\"checkbox\" id=\"desc\"> descending</label>\n"
        "<label>Status <select id=\"status\"><option value=\"\">all</option>";
    const std::array<std::uint64_t, 4> counts = tallyStructure(outcome.images);
    for (const JpegStatus status : kStatuses)
        html += option(statusName(status), statusWords(status),
                       counts[static_cast<std::size_t>(status)]);
    html += "</select></label>\n";
    const DecodeTally tally = tallyDecoding(outcome.images);
    if (tally.decode + tally.doNotDecode + tally.notChecked > 0) {
        const std::uint64_t without = outcome.images.size() - tally.decode - tally.doNotDecode;
        html += "<label>Decoding <select id=\"decoding\"><option value=\"\">all</option>" +
                option("decodes", "decodes", tally.decode) +
                option("does-not-decode", "does not decode", tally.doNotDecode) +
                option("not-checked", "not checked", without) + "</select></label>\n";
    } else {
        html += "<input type=\"hidden\" id=\"decoding\" value=\"\">\n";
    }
    html += "<label>Width &ge; <input type=\"number\" id=\"minw\" min=\"0\" value=\"0\"></label>\n"
            "<label>Height &ge; <input type=\"number\" id=\"minh\" min=\"0\" value=\"0\"></label>\n"
            "<label>Size from <input type=\"number\" id=\"mins\" min=\"0\" value=\"0\"> to\n"
            "<input type=\"number\" id=\"maxs\" min=\"0\"> KB</label>\n"
            "<span id=\"shown\"></span></form>\n";
    return html;
}

} // namespace

std::optional<ExtractError> writeGallery(const LevelOutcome& outcome, LockedFolder& folder,
                                         const std::function<bool()>& keepGoing,
                                         const std::filesystem::path& gamePage)
{
    const std::string back = gamePage.empty()
                                 ? std::string()
                                 : "<p><a id=\"game\" href=\"" + hrefOf(gamePage) +
                                       "\">&larr; the game: every distinct texture once</a></p>\n";
    return folder.writeFile(std::string(kGalleryName), "the gallery page", [&](FileWriter& page) {
        const PageParts parts{htmlEscaped(displayPath(outcome.source)), kStyle, kScript,
                              back + "<p>" + summary(outcome) + "</p>\n" + controls(outcome)};
        return writePage(
            page, parts, outcome.images.size(),
            [&outcome](std::size_t i) { return figure(outcome.images[i]); }, keepGoing);
    });
}

} // namespace glintmark::features
