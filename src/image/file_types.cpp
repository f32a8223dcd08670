#include "image/file_types.h"

#include "image/image_layer.h"

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

// Appends "*.ext" for each extension, separated by blanks.
void AppendPatterns(std::string& text, const Codec& codec, bool upper) {
    for (const std::string& extension : Extensions(codec)) {
        if (!text.empty() && text.back() != '(') text += ' ';
        text += "*.";
        text += upper ? Upper(extension) : extension;
    }
}

// Joins words as "a, b and c" (or "or c").
std::string JoinWords(const std::vector<std::string>& words, const char* last) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) text += i + 1 == words.size() ? last : ", ";
        text += words[i];
    }
    return text;
}

bool Readable(const Codec& codec) {
    return codec.decode != nullptr;
}
bool Writable(const Codec& codec) {
    return codec.encode != nullptr;
}

std::string Filters(bool (*wanted)(const Codec&), const char* allTitle, bool bothCases) {
    std::string all = std::string(allTitle) + " (";
    std::string each;
    for (int pass = 0; pass < (bothCases ? 2 : 1); ++pass)
        for (const Codec& codec : AllCodecs())
            if (wanted(codec)) AppendPatterns(all, codec, pass == 1);
    all += ");;";
    for (const Codec& codec : AllCodecs()) {
        if (!wanted(codec) || codec.extensions[0] == '\0') continue;
        each += codec.description;
        each += " (";
        AppendPatterns(each, codec, false);
        if (bothCases) AppendPatterns(each, codec, true);
        each += ");;";
    }
    return all + each + "All files (*)";
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
        if (Readable(codec)) names.emplace_back(codec.name);
    return JoinWords(names, " and ");
}

std::string WritableExtensions() {
    std::vector<std::string> extensions;
    for (const Codec& codec : AllCodecs())
        if (Writable(codec)) extensions.push_back("." + Extensions(codec).front());
    return JoinWords(extensions, " or ");
}

std::string DescribeLoadFailure(const std::string& path, ImageFormat format, ImageError code) {
    std::string name = "\"";
    name += FileName(path);
    name += '"';
    // A file that cannot be opened or read says why, whatever its name suggests.
    if (code == err::kFileOpen || code == err::kFileRead)
        return name + " cannot be opened (" + ImageErrorReason(code) + ").";
    const Codec* codec = FindCodec(format);
    if (code == err::kNoDecoder || codec == nullptr || codec->decode == nullptr) {
        return name + " is not in a format this program reads. It reads " + ReadableFormatNames() +
               " files.";
    }
    if (code == err::kNoMemory)
        return name + " is too large to open (" + ImageErrorText(code) + ").";
    if (IsDecoderVerdict(code)) {
        const char first = codec->name[0];
        const bool vowel = first == 'A' || first == 'E' || first == 'I' || first == 'O';
        return name + (vowel ? " is an " : " is a ") + codec->name + " file, but it is damaged (" +
               ImageErrorText(code) + ").";
    }
    return name + " cannot be opened: " + ImageErrorText(code) + ".";
}

}  // namespace orbelune
