#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace glintmark {
class FileWriter;
}

namespace glintmark::features {

// Text made safe inside HTML, in an element or a quoted attribute.
std::string htmlEscaped(const std::string& text);

// The look both pages share: the page, its sticky header and the controls in it, the grid and a
// thumbnail's frame and caption; each page adds its own figures' size.
inline constexpr std::string_view kPageStyle =
    R"(body{margin:0;font:13px/1.35 system-ui,sans-serif;background:#1d1f21;color:#ddd}
header{position:sticky;top:0;z-index:1;background:#2a2d30;padding:8px 14px;border-bottom:1px solid #444}
h1{font-size:16px;margin:0 0 4px}header p{margin:0 0 6px;color:#aaa}
label{margin-right:12px;white-space:nowrap}input[type=number]{width:6em}
#grid{display:flex;flex-wrap:wrap;gap:10px;padding:12px}
figure{margin:0;background:#26292c;border:1px solid #3a3d40;border-radius:4px;content-visibility:auto}
figure img{display:block;margin:4px;object-fit:contain;
 background:repeating-conic-gradient(#303336 0 25%,#2a2d30 0 50%) 0 0/16px 16px;
 overflow:hidden;font-size:11px;overflow-wrap:anywhere;color:#aaa}
figcaption{padding:2px 6px 6px;font-size:12px;color:#bbb;overflow-wrap:anywhere}
figcaption b{color:#fff}
)";

// A size for people: "900 B", "12.3 KB".
std::string sizeText(std::uint64_t bytes);

// A relative path as a link's address: its UTF-8 bytes percent-encoded, but for letters,
// digits, "-._~" and '/' between folders.
std::string hrefOf(const std::filesystem::path& relative);

// What sets one gallery page apart from another.
struct PageParts
{
    std::string title;       // the page's title and heading, already escaped
    std::string_view style;  // its own rules, after the look both pages share
    std::string_view script; // its script element
    std::string header;      // what follows the heading in the header: a summary, the controls
};

// Writes a whole gallery page to `page`: its head and header from `parts`, then `count`
// figures, each `figureAt(i)`, gathered in pieces of 64 KiB, then its end. False when a write
// fails or `keepGoing` turns false between pieces.
bool writePage(FileWriter& page, const PageParts& parts, std::size_t count,
               const std::function<std::string(std::size_t)>& figureAt,
               const std::function<bool()>& keepGoing);

} // namespace glintmark::features
