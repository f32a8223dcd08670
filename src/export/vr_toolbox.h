#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "export/toolbox_messages.h"
#include "platform/quicktime/movie_toolbox.h"

namespace orbelune {

class TempFolder;

// The authoring toolbox's base: every operation a derived movie kind does not
// provide reports kNotImplemented.
class CVRToolbox {
public:
    virtual ~CVRToolbox() = default;

    // Copies `source` into `buffer` of `size` characters, cut to fit and always
    // terminated; 0.
    virtual ToolboxError CopyText(const char* source, char* buffer, std::size_t size);
    [[nodiscard]] virtual ToolboxError Terminate();
    [[nodiscard]] virtual ToolboxError CreateMovie(int width, int height);
    [[nodiscard]] virtual ToolboxError CloseMovie();
    // While tiles are compressed: (0, tile count) first, then (tiles done,
    // tile count) each time one is finished, in the order they finish. Its
    // result is ignored.
    virtual ToolboxError OnProgress(int step, int lastStep);
    [[nodiscard]] virtual ToolboxError BuildMovie();
};

// A VR movie of panorama nodes, built in memory and flattened into one file.
// Calling order: Init -> CreateNode -> DefinePanoStream -> BuildMovie ->
// Terminate; Terminate must run even when an earlier step failed.
class CVRPanoMovie : public CVRToolbox {
public:
    static constexpr int kMaxNodes = 9;
    static constexpr int kImageStream = 0;
    static constexpr int kHotSpotStream = 1;

    CVRPanoMovie();
    ~CVRPanoMovie() override;
    CVRPanoMovie(const CVRPanoMovie&) = delete;
    CVRPanoMovie& operator=(const CVRPanoMovie&) = delete;

    // Starts the platform layers and the in-memory movie that will be flattened
    // into `path`.
    [[nodiscard]] ToolboxError Init(const std::string& path, int volume, std::int32_t directory,
                                    int width, int height, int timeScale);
    [[nodiscard]] ToolboxError CreateMovie(int width, int height) override;
    // `type` "pano" or "obje"; `node` receives the new node's number.
    [[nodiscard]] ToolboxError CreateNode(qt::FourCC type, int* node);
    [[nodiscard]] ToolboxError DefinePanoStream(int node, int compressorIndex, int qualityIndex,
                                                int correctionIndex, float fieldOfViewFactor,
                                                float pan, float tilt, int tiles,
                                                const std::string& imagePath);
    [[nodiscard]] ToolboxError SetCompression(int node, int compressorIndex, int qualityIndex);
    [[nodiscard]] ToolboxError SetDefaultView(int node, float fieldOfViewFactor, float pan,
                                              float tilt);
    [[nodiscard]] ToolboxError AddStream(int kind, int node, const std::string& path);
    [[nodiscard]] ToolboxError BuildMovie() override;
    [[nodiscard]] ToolboxError CloseMovie() override;
    [[nodiscard]] ToolboxError Terminate() override;

    // Status texts for 0, 1 and 2 (2 when `size` is below 128, 1 for others).
    ToolboxError GetStatusText(int code, char* buffer, std::size_t size);
    // Any text of the message table (1 for codes without one).
    ToolboxError GetErrorText(int code, char* buffer, std::size_t size);

    // A fresh, empty file with `extension` in this toolbox's private temporary
    // folder (made on first use, removed by Terminate); empty on failure.
    std::string MakeTempFileName(std::string_view extension);

    // Shows a message the build must tell the user (the missing flattener).
    void SetMessageSink(std::function<void(const std::string&)> sink) { sink_ = std::move(sink); }
    // The movie's creation time (seconds since 1904); 0, the fixed stamp, by default.
    void SetCreationTime(std::uint32_t secondsSince1904) { creationTime_ = secondsSince1904; }

    // The code of the failure behind the last summary code (23, 24, 29) of
    // BuildMovie: 27, 28, 63, 66, 78, 79, 80 or a platform number; 0 if none.
    ToolboxError InnerError() const { return innerError_; }

    bool initialised() const { return initialised_; }
    const qt::Movie* movie() const { return movie_.get(); }
    int nodeCount() const { return nodeCount_; }
    int tiles() const { return tiles_; }
    int tileWidth() const { return tileWidth_; }
    int tileHeight() const { return tileHeight_; }
    std::int32_t correction() const { return correction_; }

    struct ImageStream {
        int serial = 0;
        int node = 0;
        std::string path;
        int width = 0;  // natural size, 0 when the image could not be read
        int height = 0;
    };
    struct Node {
        int number = 0;
        qt::FourCC type = 0;
        std::optional<ImageStream> image;
        std::optional<ImageStream> hotSpot;
        qt::FourCC compressorType = 0;
        qt::CodecQ quality = 0;
        float fieldOfViewFactor = 1.0f;
        float pan = 0.0f;
        float tilt = 0.0f;
        int tiles = 0;
        long imageReferenceIndex = 0;
        long hotSpotReferenceIndex = 0;
        std::string tileMoviePath;
        qt::Track* imageTrack = nullptr;
    };
    // Null for an empty slot or a number outside 1..kMaxNodes.
    const Node* node(int number) const;

private:
    Node* FindNode(int number);
    ToolboxError BuildVrLayer();
    ToolboxError BuildContentLayer();
    ToolboxError BuildPanoramaSample(Node& node, qt::Track& panoramaTrack, qt::Media& media);
    ToolboxError MakeTileMovie(Node& node);
    ToolboxError CopyTileTrack(Node& node);
    ToolboxError SetControllerType();
    ToolboxError Flatten();
    ToolboxError Inner(ToolboxError summary, ToolboxError inner);

    bool initialised_ = false;
    std::unique_ptr<qt::Movie> movie_;
    std::int32_t duration_ = 7200;
    std::int32_t timeScale_ = 600;
    std::string moviePath_;
    int volume_ = 0;
    std::int32_t directory_ = 0;
    bool fileSpecDefined_ = false;
    qt::Rect box_{};
    int movieWidth_ = 400;
    int movieHeight_ = 180;
    int tileWidth_ = 0;
    int tileHeight_ = 0;
    std::int32_t correction_ = 0;
    int nodeCount_ = 0;
    std::array<std::optional<Node>, kMaxNodes + 1> nodes_;  // slot 0 unused
    bool hasPanoramaNode_ = false;
    bool hasObjectNode_ = false;
    int streamSerial_ = 0;
    int tiles_ = 0;
    qt::Track* vrTrack_ = nullptr;
    qt::Track* panoramaTrack_ = nullptr;
    ToolboxError innerError_ = 0;
    // The platform layers do not count initialisations; Terminate restores
    // what Init found so that the program's own start-up survives a build.
    bool mediaLayerWasUp_ = false;
    bool moviesWereEntered_ = false;
    std::unique_ptr<TempFolder> tempFolder_;
    std::function<void(const std::string&)> sink_;
    std::uint32_t creationTime_ = 0;
};

// Shown when the movie layer has no flattening exporter.
extern const char kFlattenerMissingMessage[];

}  // namespace orbelune
