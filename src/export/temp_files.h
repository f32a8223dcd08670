#pragma once

#include <string>
#include <string_view>

namespace orbelune {

// A private folder (mode 0700, made with mkdtemp) in the system's temporary
// directory, holding the temporary files of one movie build. The folder and
// everything in it are removed when the object goes away, whatever happened.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Empty when the folder could not be made.
    const std::string& path() const { return path_; }
    bool valid() const { return !path_.empty(); }

    // Removes the folder and its files now; later calls do nothing.
    void Remove();

private:
    std::string path_;
};

// Creates a new, empty file exclusively (O_EXCL) in `folder`, named
// "OBL" + six random characters + "." + extension; its path, or empty on failure.
std::string MakeTempFileName(const std::string& folder, std::string_view extension);

// Creates a new, empty, hidden file exclusively in the folder of `destination`
// to write it through; its path, or empty when that folder cannot take it.
std::string MakeSiblingTempFile(const std::string& destination);

}  // namespace orbelune
