#pragma once

#include <string>

// The HTML page that shows a movie centred in a browser through the movie plug-in.
namespace orbelune {

// Longest title kept in the page, in characters; a longer one is cut.
inline constexpr std::size_t kMaxHtmlTitle = 223;

// The page's text with line feeds: title and movie name escaped for HTML (the
// name also percent-encoded where a URL would misread it: '#', '?', '%',
// blanks, '\\', non-ASCII), the title cut at kMaxHtmlTitle characters. The EMBED height is
// movieHeight + 16 (room for the movie controller).
std::string HtmlTemplateText(const std::string& title, const std::string& movieFile, int movieWidth,
                             int movieHeight);

enum class HtmlWriteResult {
    kWritten,
    kInvalidPath,  // folder missing, name empty or not a file
    kFailed,       // any other reason the page could not be written
};

// Writes (creates or replaces) the page at `htmlPath` with CR LF line ends,
// through a temporary file renamed over it: on failure an old page is left
// as it was. `systemError` (when given) receives errno of a failure.
[[nodiscard]] HtmlWriteResult WriteHtmlTemplate(const std::string& htmlPath,
                                                const std::string& title,
                                                const std::string& movieFile, int movieWidth,
                                                int movieHeight, int* systemError = nullptr);

}  // namespace orbelune
