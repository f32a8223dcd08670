#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "export/share360.h"
#include "image/image_error.h"
#include "image/rgb_image.h"

// The shared 360° page: a folder that any current browser opens as an
// interactive view of the panorama, from the file system or a web server.
namespace orbelune {

// Every file a page folder holds; index.html is written last.
inline constexpr std::string_view kSharePageFile = "index.html";
inline constexpr std::string_view kSharePictureFile = "panorama.jpg";
// The picture again, as a script: pages opened from file:// may not read
// their neighbours, but may run a script beside them.
inline constexpr std::string_view kSharePictureScript = "panorama.js";
inline constexpr std::array<std::string_view, 6> kShareFiles{
    "pannellum.js",    "pannellum.css",     "pannellum-LICENSE.txt",
    kSharePictureFile, kSharePictureScript, kSharePageFile};

// The mark in index.html by which a folder is known as one of ours.
inline constexpr std::string_view kSharePageGenerator =
    "<meta name=\"generator\" content=\"Orbelune share page\">";

struct SharePageOptions {
    std::string title;  // UTF-8; invalid sequences are shown as U+FFFD
    ShareView view;
    PhotoMetadata metadata;
    // Set for a panorama whose rows are already even in elevation (a custom
    // mirror's): it is placed by them instead of reprojected as a cylinder.
    std::optional<KnownElevations> knownElevations;
};

enum class ShareStatus {
    kOk,
    kPanoramaTooSmall,  // narrower than 3 pixels, or no rows
    kEncodeFailed,      // the 360° picture could not be made
    kNotAFolder,        // the destination exists and is something else
    kFolderNotOurs,     // an existing folder holds files a page folder does not
    kCannotCreate,      // the folder cannot be made
    kCannotWrite,       // a file in the folder cannot be written
};

struct ShareResult {
    ShareStatus status = ShareStatus::kOk;
    std::string path;         // the folder, or the file that failed
    int systemError = 0;      // errno, when the system said why
    ImageError imageError{};  // the encoder's code for kEncodeFailed
    bool ok() const { return status == ShareStatus::kOk; }
};

// "<path>: <reason>", for the user.
std::string ShareResultText(const ShareResult& result);

// The title as HTML text: markup characters as entities, line breaks and other
// control characters as blanks, invalid UTF-8 as U+FFFD.
std::string EscapeHtmlText(std::string_view text);

// index.html for a picture whose strip covers `geometry` of the sphere,
// opening at `view`.
std::string SharePageHtml(const std::string& title, const ShareView& view,
                          const ShareGeometry& geometry);

// panorama.js: the JPEG's bytes in base64 in the global `orbelunePanorama`.
std::string SharePictureScript(std::span<const std::uint8_t> jpeg);

// Writes the page folder for a cylindrical panorama. A folder that does not
// exist is built under a temporary name beside it and renamed into place; an
// existing one is accepted when it is empty or holds only a page folder's
// files, which are then replaced one by one (each through a temporary file),
// index.html last. On failure nothing is left half-written: a new folder is
// not created, and in an existing one each file is either old or new.
[[nodiscard]] ShareResult WriteSharePage(const RgbImage& panorama, const SharePageOptions& options,
                                         const std::string& folder);

}  // namespace orbelune
