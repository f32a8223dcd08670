#include "export/html_template.h"

#include <cerrno>
#include <cstdio>

namespace orbelune {

namespace {

constexpr const char* kBodyAttributes =
    "bgcolor=\"#ffffff\" text=\"#000000\" link=\"#3300cc\" alink=\"#0099cc\" vlink=\"#0066cc\"";
constexpr const char* kPluginPage = "http://www.apple.com/quicktime/download/";

// The first `limit` characters of UTF-8 text, never splitting a character.
std::string CutCharacters(const std::string& text, std::size_t limit) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) != 0x80) {  // not a continuation byte: a new character starts
            if (characters == limit) return text.substr(0, i);
            ++characters;
        }
    }
    return text;
}

// Neither a title nor a file name may open a tag or end the SRC attribute.
std::string EscapeHtml(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\r':
            case '\n':
                escaped += ' ';  // one line each, as the page's layout has it
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace

std::string HtmlTemplateText(const std::string& title, const std::string& movieFile, int movieWidth,
                             int movieHeight) {
    const std::string embed = "<CENTER><EMBED SRC=\"" + EscapeHtml(movieFile) + "\" WIDTH=\"" +
                              std::to_string(movieWidth) + "\" Height=\"" +
                              std::to_string(static_cast<long long>(movieHeight) + 16) +
                              "\" PLUGINSPAGE=\"" + kPluginPage +
                              "\" HIDDEN=\"FALSE\" CONTROLLER=\"TRUE\" AUTOPLAY=\"TRUE\"></CENTER>";
    const std::string head =
        "<HEAD>\n<TITLE> " + EscapeHtml(CutCharacters(title, kMaxHtmlTitle)) + " </TITLE>\n</HEAD>";
    const std::string body =
        std::string("\n<BODY ") + kBodyAttributes + ">\n\n" + embed + "\n\n</BODY>\n";
    return "<HTML>\n" + head + body + "</HTML>\n";
}

HtmlWriteResult WriteHtmlTemplate(const std::string& htmlPath, const std::string& title,
                                  const std::string& movieFile, int movieWidth, int movieHeight) {
    if (htmlPath.empty() || htmlPath.back() == '/') return HtmlWriteResult::kInvalidPath;
    std::FILE* file = std::fopen(htmlPath.c_str(), "wb");
    if (!file) {
        switch (errno) {
            case ENOENT:
            case ENOTDIR:
            case EISDIR:
            case ENAMETOOLONG:
            case EINVAL:
                return HtmlWriteResult::kInvalidPath;
            default:
                return HtmlWriteResult::kFailed;
        }
    }
    // The page is a DOS text file: every line feed is written as CR LF.
    std::string page;
    for (const char c : HtmlTemplateText(title, movieFile, movieWidth, movieHeight)) {
        if (c == '\n') page += '\r';
        page += c;
    }
    const bool written = std::fwrite(page.data(), 1, page.size(), file) == page.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? HtmlWriteResult::kWritten : HtmlWriteResult::kFailed;
}

}  // namespace orbelune
