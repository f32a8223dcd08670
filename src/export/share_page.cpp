#include "export/share_page.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

#include "image/file_io.h"
#include "image/image_layer.h"

// The viewer's release files, built into the program (see CMakeLists.txt).
namespace orbelune::viewer_files {
extern const unsigned char kPannellumJs[];
extern const std::size_t kPannellumJsSize;
extern const unsigned char kPannellumCss[];
extern const std::size_t kPannellumCssSize;
extern const unsigned char kPannellumLicense[];
extern const std::size_t kPannellumLicenseSize;
}  // namespace orbelune::viewer_files

namespace orbelune {

namespace {

// Temporary names start so, like the image layer's, so a later run knows them.
constexpr std::string_view kTempPrefix = ".orbelune-";

std::string Number(double value) {
    if (!std::isfinite(value)) value = 0;
    char text[32];
    const auto [end, ec] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3);
    if (ec != std::errc()) return "0";
    std::string number(text, end);
    // 12.500 -> 12.5, 3.000 -> 3
    number.erase(number.find_last_not_of('0') + 1);
    if (number.back() == '.') number.pop_back();
    if (number == "-0") number = "0";
    return number;
}

// Length of the valid UTF-8 sequence at text[i], or 0.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    return length;
}

std::string Base64(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        text += kDigits[(group >> 18) & 63];
        text += kDigits[(group >> 12) & 63];
        text += kDigits[(group >> 6) & 63];
        text += kDigits[group & 63];
    }
    if (i < bytes.size()) {
        const bool two = i + 1 < bytes.size();
        const std::uint32_t group = (bytes[i] << 16) | (two ? bytes[i + 1] << 8 : 0);
        text += kDigits[(group >> 18) & 63];
        text += kDigits[(group >> 12) & 63];
        text += two ? kDigits[(group >> 6) & 63] : '=';
        text += '=';
    }
    return text;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string Join(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

struct PageFile {
    std::string_view name;
    std::span<const std::uint8_t> bytes;
};

ShareResult Failure(ShareStatus status, std::string path, int systemError = 0) {
    ShareResult result;
    result.status = status;
    result.path = std::move(path);
    result.systemError = systemError;
    return result;
}

// One file through a temporary file beside it and a rename: a symlink or a
// FIFO of that name is replaced, never written through.
ShareResult WriteOne(const std::string& path, std::span<const std::uint8_t> bytes) {
    AtomicFile file(path, AtomicFile::Links::kReplace);
    SetLastSystemError(0);
    if (file.Open() != err::kNone)
        return Failure(ShareStatus::kCannotWrite, path, LastSystemError());
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(file.fd(), bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Failure(ShareStatus::kCannotWrite, path, n < 0 ? errno : ENOSPC);
        written += static_cast<std::size_t>(n);
    }
    SetLastSystemError(0);
    if (file.Commit() != err::kNone)
        return Failure(ShareStatus::kCannotWrite, path, LastSystemError());
    return {};
}

ShareResult WriteAll(const std::string& folder, const std::vector<PageFile>& files) {
    for (const PageFile& file : files) {
        ShareResult result = WriteOne(Join(folder, file.name), file.bytes);
        if (!result.ok()) return result;
    }
    return {};
}

// Whether index.html is a regular file that carries our mark. Opened without
// following links and without blocking, so a FIFO or a link cannot stall or
// mislead the check.
bool IsOurPage(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    std::string head(4096, '\0');
    ssize_t got = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        got = ::read(fd, head.data(), head.size());
    ::close(fd);
    if (got <= 0) return false;
    head.resize(static_cast<std::size_t>(got));
    return head.find(kSharePageGenerator) != std::string::npos;
}

// An existing folder may be written when it holds nothing but a page
// folder's files (and temporaries a killed run left).
ShareResult CheckExistingFolder(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return Failure(ShareStatus::kCannotWrite, folder, errno);
    bool ours = true;
    bool hasPage = false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (name.starts_with(kTempPrefix)) continue;
        if (name == kSharePageFile) hasPage = true;
        if (std::find(kShareFiles.begin(), kShareFiles.end(), name) == kShareFiles.end()) {
            ours = false;
            break;
        }
    }
    ::closedir(dir);
    if (ours && hasPage) ours = IsOurPage(Join(folder, kSharePageFile));
    if (!ours) return Failure(ShareStatus::kFolderNotOurs, folder);
    return {};
}

// A fresh folder with a temporary name beside `folder`, made with mkdir so
// that it gets the mode (umask) any new folder gets.
std::string MakeSiblingFolder(const std::string& folder, int& error) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name(kTempPrefix);
        for (int k = 0; k < 6; ++k)
            name += kLetters[pick(random)];
        const std::string path = Join(FolderOf(folder), name);
        if (::mkdir(path.c_str(), 0777) == 0) return path;
        if (errno != EEXIST) break;
    }
    error = errno;
    return {};
}

void RemoveTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

}  // namespace

std::string ShareResultText(const ShareResult& result) {
    const std::string reason =
        result.systemError != 0 ? std::system_category().message(result.systemError) : "";
    std::string text;
    switch (result.status) {
        case ShareStatus::kOk:
            return result.path + ": written";
        case ShareStatus::kPanoramaTooSmall:
            text = "the panorama must be at least 3 pixels wide and 1 high to be shared";
            break;
        case ShareStatus::kEncodeFailed:
            text = "the 360° picture could not be made (" + ImageErrorText(result.imageError) + ")";
            break;
        case ShareStatus::kNotAFolder:
            text = "exists and is not a folder; choose a new name for the web page folder";
            break;
        case ShareStatus::kFolderNotOurs:
            text =
                "the folder holds other files; choose an empty folder or a new name for the web "
                "page";
            break;
        case ShareStatus::kCannotCreate:
            text = "the folder cannot be created";
            break;
        case ShareStatus::kCannotWrite:
            text = "cannot be written";
            break;
    }
    if (!reason.empty()) text += " (" + reason + ")";
    return result.path + ": " + text;
}

std::string EscapeHtmlText(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8Length(text, i);
        if (length == 0) {
            escaped += "\xEF\xBF\xBD";  // U+FFFD for a byte that starts no character
            ++i;
            continue;
        }
        if (length > 1) {
            escaped.append(text.substr(i, length));
            i += length;
            continue;
        }
        const char c = text[i++];
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
            case '\'':
                escaped += "&#39;";
                break;
            default:
                // Line feeds and other controls would break the one-line title.
                escaped += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? ' ' : c;
        }
    }
    return escaped;
}

std::string SharePageHtml(const std::string& title, const ShareView& view,
                          const ShareGeometry& geometry) {
    const std::string safeTitle = EscapeHtmlText(title);
    // Pannellum's yaw runs from -180 to 180 with 0 at the picture's centre,
    // which is where a heading of 0 points in the picture's photo-sphere data.
    double yaw = std::fmod(view.headingDegrees, 360.0);
    if (yaw > 180) yaw -= 360;
    if (yaw < -180) yaw += 360;
    const double top = geometry.latitudeTopDegrees;
    const double bottom = geometry.latitudeBottomDegrees;
    const double hfov = view.horizontalFovDegrees;
    std::string page;
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    page += kSharePageGenerator;
    page += "\n<title>" + safeTitle + "</title>\n";
    page += "<link rel=\"stylesheet\" href=\"pannellum.css\">\n";
    page +=
        "<style>\n"
        "html, body { margin: 0; height: 100%; background: #111; color: #eee; font-family: "
        "sans-serif; }\n"
        "#panorama { width: 100%; height: 100%; }\n"
        "#flat { display: none; padding: 1em; }\n"
        "#flat img { max-width: 100%; }\n"
        "</style>\n"
        // Without JavaScript the flat picture shows instead of the empty viewer.
        "<noscript><style>#panorama { display: none; } #flat { display: block; }</style>"
        "</noscript>\n"
        "</head>\n<body>\n<div id=\"panorama\"></div>\n<div id=\"flat\">\n"
        "<p>This browser cannot turn the panorama around (it needs JavaScript and WebGL), so "
        "here it is as a flat picture.</p>\n";
    page += "<img src=\"panorama.jpg\" alt=\"" + safeTitle + "\">\n</div>\n";
    page += "<script src=\"pannellum.js\"></script>\n<script>\n";
    page += "var viewer = null;\n(function () {\n";
    page += "  var settings = {\n";
    page +=
        "    type: 'equirectangular', autoLoad: true, title: document.title, escapeHTML: true,\n";
    page += "    haov: 360, vaov: " + Number(top - bottom) +
            ", vOffset: " + Number((top + bottom) / 2) + ",\n";
    page += "    minPitch: " + Number(bottom) + ", maxPitch: " + Number(top) +
            ", avoidShowingBackground: true,\n";
    page += "    yaw: " + Number(yaw) + ", pitch: " + Number(view.pitchDegrees) +
            ", hfov: " + Number(hfov) + ", minHfov: " + Number(std::min(hfov, 30.0)) +
            ", maxHfov: " + Number(std::max(hfov, 120.0)) + ",\n";
    // The page says where the picture sits; the picture's own data would agree.
    page += "    ignoreGPanoXMP: true, compass: false, showFullscreenCtrl: true\n  };\n";
    page += "  var pictureWidth = " + std::to_string(geometry.fullWidth) + ";\n";
    page +=
        "  function showFlat() {\n"
        "    document.getElementById('panorama').style.display = 'none';\n"
        "    document.getElementById('flat').style.display = 'block';\n"
        "  }\n"
        // The largest texture WebGL offers here; 0 without WebGL.
        "  function textureLimit() {\n"
        "    try {\n"
        "      var canvas = document.createElement('canvas');\n"
        "      var gl = window.WebGLRenderingContext &&\n"
        "               (canvas.getContext('webgl') || canvas.getContext('experimental-webgl'));\n"
        "      return gl ? gl.getParameter(gl.MAX_TEXTURE_SIZE) : 0;\n"
        "    } catch (e) {\n"
        "      return 0;\n"
        "    }\n"
        "  }\n"
        "  var limit = window.pannellum ? textureLimit() : 0;\n"
        // The widest view that keeps the strip from top to bottom of the
        // window: the viewer narrows its view only after drawing the first
        // frame, and not at all when the window changes shape.
        "  function fitHfov(hfov) {\n"
        "    var box = document.getElementById('panorama');\n"
        "    var aspect = box.clientWidth / Math.max(1, box.clientHeight);\n"
        "    var half = settings.vaov / 360 * Math.PI;\n"
        "    return Math.min(hfov, 2 * Math.atan(Math.tan(half) * aspect) * 180 / Math.PI);\n"
        "  }\n"
        "  function start(url) {\n"
        "    settings.panorama = url;\n"
        "    if (document.title) settings.title = document.title;\n"
        "    settings.hfov = fitHfov(settings.hfov);\n"
        "    settings.minHfov = Math.min(settings.minHfov, settings.hfov);\n"
        "    viewer = pannellum.viewer('panorama', settings);\n"
        "    viewer.on('error', showFlat);\n"
        "    window.addEventListener('resize', function () {\n"
        "      viewer.setHfov(fitHfov(viewer.getHfov()), false);\n"
        "    });\n"
        "  }\n"
        // The viewer takes pictures up to twice its largest texture wide (a
        // phone's may be 4096); a wider one is scaled down to fit first.
        "  function fitAndStart(url) {\n"
        "    if (pictureWidth <= 2 * limit) {\n"
        "      start(url);\n"
        "      return;\n"
        "    }\n"
        "    var image = new Image();\n"
        "    image.onload = function () {\n"
        "      var canvas = document.createElement('canvas');\n"
        "      canvas.width = 2 * limit;\n"
        "      canvas.height = Math.max(1, Math.round(image.height * canvas.width / "
        "image.width));\n"
        "      canvas.getContext('2d').drawImage(image, 0, 0, canvas.width, canvas.height);\n"
        "      canvas.toBlob(function (blob) {\n"
        "        if (blob) start(URL.createObjectURL(blob)); else showFlat();\n"
        "      }, 'image/jpeg', 0.92);\n"
        "    };\n"
        "    image.onerror = showFlat;\n"
        "    image.src = url;\n"
        "  }\n"
        "  if (!limit) {\n"
        "    showFlat();\n"
        "    return;\n"
        "  }\n"
        "  if (location.protocol !== 'file:') {\n"
        "    fitAndStart('panorama.jpg');\n"
        "    return;\n"
        "  }\n"
        "  var script = document.createElement('script');\n"
        "  script.src = 'panorama.js';\n"
        "  script.onload = function () {\n"
        "    var text = atob(window.orbelunePanorama);\n"
        "    var bytes = new Uint8Array(text.length);\n"
        "    for (var i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);\n"
        "    window.orbelunePanorama = null;\n"
        "    fitAndStart(URL.createObjectURL(new Blob([bytes], {type: 'image/jpeg'})));\n"
        "  };\n"
        "  script.onerror = showFlat;\n"
        "  document.head.appendChild(script);\n"
        "})();\n"
        "</script>\n</body>\n</html>\n";
    return page;
}

std::string SharePictureScript(std::span<const std::uint8_t> jpeg) {
    return "// The panorama as base64 JPEG, for pages opened from the file system.\n"
           "window.orbelunePanorama = \"" +
           Base64(jpeg) + "\";\n";
}

ShareResult WriteSharePage(const RgbImage& panorama, const SharePageOptions& options,
                           const std::string& folderAsGiven) {
    // "web/" names the folder "web": its temporary sibling goes beside it.
    std::string folder = folderAsGiven;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    ShareGeometry geometry;
    const ImageError placed =
        options.knownElevations
            ? ComputeShareGeometry(panorama.width(), panorama.height(), *options.knownElevations,
                                   geometry)
            : ComputeShareGeometry(panorama.width(), panorama.height(), geometry);
    if (panorama.width() < 3 || panorama.height() < 1 || placed != err::kNone)
        return Failure(ShareStatus::kPanoramaTooSmall, folder);
    if (folder.empty()) return Failure(ShareStatus::kCannotCreate, folder, ENOENT);

    // Check the destination before the long encode.
    struct stat info {};
    const bool exists = ::stat(folder.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) return Failure(ShareStatus::kCannotCreate, folder, errno);
    if (exists && !S_ISDIR(info.st_mode)) return Failure(ShareStatus::kNotAFolder, folder);
    if (exists) {
        ShareResult check = CheckExistingFolder(folder);
        if (!check.ok()) return check;
    }

    std::vector<std::uint8_t> jpeg;
    const ImageError encoded =
        options.knownElevations
            ? EncodeShare360Jpeg(panorama, *options.knownElevations, options.view, options.metadata,
                                 jpeg)
            : EncodeShare360Jpeg(panorama, options.view, options.metadata, jpeg);
    if (const ImageError e = encoded) {
        ShareResult result = Failure(ShareStatus::kEncodeFailed, folder);
        result.imageError = e;
        return result;
    }
    const std::string script = SharePictureScript(jpeg);
    const std::string page = SharePageHtml(options.title, options.view, geometry);
    const auto text = [](const std::string& s) {
        return std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
    namespace files = viewer_files;
    const std::vector<PageFile> contents{
        {"pannellum.js", {files::kPannellumJs, files::kPannellumJsSize}},
        {"pannellum.css", {files::kPannellumCss, files::kPannellumCssSize}},
        {"pannellum-LICENSE.txt", {files::kPannellumLicense, files::kPannellumLicenseSize}},
        {kSharePictureFile, jpeg},
        {kSharePictureScript, text(script)},
        {kSharePageFile, text(page)},  // last: the page appears when all it needs is there
    };

    if (exists) {
        ShareResult result = WriteAll(folder, contents);
        if (result.ok()) result.path = folder;
        return result;
    }
    int error = 0;
    const std::string building = MakeSiblingFolder(folder, error);
    if (building.empty()) return Failure(ShareStatus::kCannotCreate, folder, error);
    ShareResult result = WriteAll(building, contents);
    if (result.ok() && std::rename(building.c_str(), folder.c_str()) != 0)
        result = Failure(ShareStatus::kCannotCreate, folder, errno);
    if (!result.ok()) {
        RemoveTree(building);
        // Name the place the user chose, not the temporary one.
        if (result.path.starts_with(building))
            result.path = folder + result.path.substr(building.size());
        return result;
    }
    result.path = folder;
    return result;
}

}  // namespace orbelune
