#include "export/html_template.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "image/file_io.h"
#include "image/image_layer.h"

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

// A file name as a relative URL: the characters a URL reads as something else
// (a fragment, a query, an escape, a separator) and those it cannot hold are
// percent-encoded; the HTML escape then takes care of quotes and markup.
std::string EncodeUrlPath(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '#' || c == '?' || c == '%' || c == '\\') {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 15];
        } else {
            encoded += c;
        }
    }
    return encoded;
}

}  // namespace

std::string HtmlTemplateText(const std::string& title, const std::string& movieFile, int movieWidth,
                             int movieHeight) {
    const std::string embed = "<CENTER><EMBED SRC=\"" + EscapeHtml(EncodeUrlPath(movieFile)) +
                              "\" WIDTH=\"" + std::to_string(movieWidth) + "\" Height=\"" +
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
                                  const std::string& movieFile, int movieWidth, int movieHeight,
                                  int* systemError) {
    int ignored = 0;
    int& error = systemError ? *systemError : ignored;
    error = 0;
    if (htmlPath.empty() || htmlPath.back() == '/') return HtmlWriteResult::kInvalidPath;
    // The page is a DOS text file: every line feed is written as CR LF.
    std::string page;
    for (const char c : HtmlTemplateText(title, movieFile, movieWidth, movieHeight)) {
        if (c == '\n') page += '\r';
        page += c;
    }
    // Through a temporary file and a rename: an old page stays whole until the
    // new one is, and a link or a FIFO of that name is replaced, never written
    // through or waited on.
    AtomicFile file(htmlPath, AtomicFile::Links::kReplace);
    SetLastSystemError(0);
    if (file.Open() != err::kNone) {
        error = LastSystemError();
        return error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG || error == EISDIR
                   ? HtmlWriteResult::kInvalidPath
                   : HtmlWriteResult::kFailed;
    }
    std::size_t written = 0;
    while (written < page.size()) {
        const ssize_t n = ::write(file.fd(), page.data() + written, page.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            return HtmlWriteResult::kFailed;
        }
        written += static_cast<std::size_t>(n);
    }
    SetLastSystemError(0);
    if (file.Commit() != err::kNone) {
        error = LastSystemError();
        return error == EISDIR ? HtmlWriteResult::kInvalidPath : HtmlWriteResult::kFailed;
    }
    return HtmlWriteResult::kWritten;
}

}  // namespace orbelune
