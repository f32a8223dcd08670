#include "image/file_types.h"

#include <cctype>
#include <vector>

#include "image/codecs/codec.h"

namespace orbelune {

namespace {

std::vector<std::string> Extensions(const Codec& codec) {
    std::vector<std::string> words;
    std::string word;
    for (const char* c = codec.extensions;; ++c) {
        if (*c == ' ' || *c == '\0') {
            if (!word.empty()) words.push_back(word);
            word.clear();
            if (*c == '\0') break;
        } else {
            word += *c;
        }
    }
    return words;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Patterns(const Codec& codec, bool bothCases) {
    std::string lower, upper;
    for (const std::string& extension : Extensions(codec)) {
        lower += (lower.empty() ? "*." : " *.") + extension;
        upper += " *." + Upper(extension);
    }
    return bothCases ? lower + upper : lower;
}

bool Readable(const Codec& codec) {
    return codec.decode != nullptr;
}
bool Writable(const Codec& codec) {
    return codec.encode != nullptr;
}

std::string Filters(bool (*wanted)(const Codec&), const char* allTitle, bool bothCases) {
    std::string lower, upper, each;
    for (const Codec& codec : AllCodecs()) {
        if (!wanted(codec) || codec.extensions[0] == '\0') continue;
        for (const std::string& extension : Extensions(codec)) {
            lower += " *." + extension;
            upper += " *." + Upper(extension);
        }
        each += std::string(codec.description) + " (" + Patterns(codec, bothCases) + ");;";
    }
    const std::string all = lower.substr(1) + (bothCases ? upper : "");
    return std::string(allTitle) + " (" + all + ");;" + each + "All files (*)";
}

std::string FileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDecoderVerdict(ImageError code) {
    switch (code) {
        case err::kBadBmp:
        case err::kRleVariation:
        case err::kBadJpeg:
        case err::kBadPng:
        case err::kPngInternal:
        case err::kTiffInternal:
        case err::kBadTiff:
        case err::kBadPcx:
        case err::kBadMetafile:
        case err::kBadTga:
        case err::kBadHeif:
        case err::kBadWebp:
        case err::kBadRaw:
        case err::kBadPnm:
        case err::kFileRead:
        case err::kMisc:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string OpenDialogFilters() {
    return Filters(&Readable, "All images", true);
}

std::string SaveDialogFilters() {
    return Filters(&Writable, "Image Files", false);
}

std::string ReadableFormatNames() {
    std::vector<std::string> names;
    for (const Codec& codec : AllCodecs())
        if (Readable(codec)) names.push_back(codec.name);
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

std::string WritableExtensions() {
    std::vector<std::string> extensions;
    for (const Codec& codec : AllCodecs())
        if (Writable(codec)) extensions.push_back("." + Extensions(codec).front());
    std::string text;
    for (std::size_t i = 0; i < extensions.size(); ++i)
        text += (i == 0 ? "" : i + 1 == extensions.size() ? " or " : ", ") + extensions[i];
    return text;
}

std::string DescribeLoadFailure(const std::string& path, ImageFormat format, ImageError code) {
    const std::string name = "\"" + FileName(path) + "\"";
    const Codec* codec = FindCodec(format);
    if (code == err::kNoDecoder || codec == nullptr || codec->decode == nullptr) {
        return name + " is not in a format this program reads. It reads " + ReadableFormatNames() +
               " files.";
    }
    if (code == err::kFileOpen) return name + " cannot be opened (" + ImageErrorText(code) + ").";
    if (code == err::kNoMemory)
        return name + " is too large to open (" + ImageErrorText(code) + ").";
    if (IsDecoderVerdict(code)) {
        return name + " is a " + codec->name + " file, but it is damaged (" + ImageErrorText(code) +
               ").";
    }
    return name + " cannot be opened: " + ImageErrorText(code) + ".";
}

}  // namespace orbelune
