#include "export/vr_toolbox.h"

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "export/movie_layout.h"
#include "export/temp_files.h"
#include "image/parallel.h"

namespace orbelune {

const char kFlattenerMissingMessage[] =
    "You need the QTVR Flattener extension to create Orbelune movies.  You can download the "
    "extension from Apple's website.  For more information, contact Halvarn Technical Support.";

namespace {

constexpr qt::FourCC kPanoNodeType = qt::MakeFourCC("pano");
constexpr qt::FourCC kObjectNodeType = qt::MakeFourCC("obje");
constexpr std::size_t kMinTextBuffer = 128;
constexpr std::uint16_t kMajorVersion = 2;
constexpr std::uint16_t kMinorVersion = 0;

// Big-endian atom payloads.
class Payload {
public:
    Payload& U16(std::uint16_t v) {
        bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
        bytes_.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    Payload& U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v >> 16));
        return U16(static_cast<std::uint16_t>(v));
    }
    Payload& I32(std::int32_t v) { return U32(static_cast<std::uint32_t>(v)); }
    Payload& F32(float v) { return U32(std::bit_cast<std::uint32_t>(v)); }
    Payload& Zeros(int count32) {
        for (int i = 0; i < count32; ++i)
            U32(0);
        return *this;
    }
    Payload& Versions() { return U16(kMajorVersion).U16(kMinorVersion); }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// The node header "ndhd" of a node's information sample.
qt::OSErr MakeNodeInformation(const CVRPanoMovie::Node& node, std::vector<std::uint8_t>& out) {
    qt::AtomContainer container;
    Payload header;
    header.Versions().U32(node.type).I32(node.number).U32(0).U32(0).Zeros(2);
    if (qt::OSErr e = container.InsertChild(qt::kParentAtomIsContainer, qt::MakeFourCC("ndhd"), 1,
                                            1, header.bytes())) {
        return e;
    }
    out = container.Serialize();
    return qt::oserr::kNoErr;
}

Payload PanoramaImaging(std::int32_t mode, std::int32_t correction, std::int32_t quality,
                        std::int32_t directDraw) {
    constexpr std::int32_t kAllImagingFieldsValid = 7;
    Payload p;
    p.Versions().I32(mode).I32(kAllImagingFieldsValid).I32(correction).I32(quality);
    p.I32(directDraw).Zeros(6).Zeros(2);
    return p;
}

}  // namespace

// ---- CVRToolbox ---------------------------------------------------------------

ToolboxError CVRToolbox::CopyText(const char* source, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return tbx::kOk;
    const std::size_t length = source ? std::min(std::strlen(source), size - 1) : 0;
    if (length > 0) std::memcpy(buffer, source, length);
    buffer[length] = '\0';
    return tbx::kOk;
}

ToolboxError CVRToolbox::Terminate() {
    return tbx::kNotImplemented;
}
ToolboxError CVRToolbox::CreateMovie(int, int) {
    return tbx::kNotImplemented;
}
ToolboxError CVRToolbox::CloseMovie() {
    return tbx::kNotImplemented;
}
ToolboxError CVRToolbox::OnProgress(int, int) {
    return tbx::kOk;
}
ToolboxError CVRToolbox::BuildMovie() {
    return tbx::kNotImplemented;
}

// ---- CVRPanoMovie: set-up and nodes ------------------------------------------

CVRPanoMovie::CVRPanoMovie() = default;

CVRPanoMovie::~CVRPanoMovie() {
    // Leaves no layer running and no tile file behind if a caller forgot.
    if (initialised_) static_cast<void>(Terminate());
}

ToolboxError CVRPanoMovie::Init(const std::string& path, int volume, std::int32_t directory,
                                int width, int height, int timeScale) {
    if (initialised_) return tbx::kAlreadyInitialized;
    mediaLayerWasUp_ = qt::IsMediaLayerInitialized();
    moviesWereEntered_ = qt::AreMoviesEntered();
    if (qt::InitializeMediaLayer() != qt::oserr::kNoErr) return tbx::kMediaLayerInit;
    if (qt::EnterMovies() != qt::oserr::kNoErr) return tbx::kMovieToolboxInit;
    if (qt::InitializeVR() != qt::oserr::kNoErr) return tbx::kVrInit;
    moviePath_ = path;
    volume_ = volume;
    directory_ = directory;
    fileSpecDefined_ = true;
    static_cast<void>(CreateMovie(width, height));
    initialised_ = true;
    duration_ = kMovieDuration;
    timeScale_ = timeScale;
    return tbx::kOk;
}

ToolboxError CVRPanoMovie::CreateMovie(int width, int height) {
    if (!fileSpecDefined_) return tbx::kFileSpecUndefined;
    std::unique_ptr<qt::Movie> movie;
    if (qt::NewMovie(movie) != qt::oserr::kNoErr) return tbx::kNewMovie;
    movie_ = std::move(movie);
    movieWidth_ = width;
    movieHeight_ = height;
    box_ = qt::Rect{0, 0, width, height};
    return tbx::kOk;
}

ToolboxError CVRPanoMovie::CreateNode(qt::FourCC type, int* node) {
    if (!initialised_) return tbx::kNotInitialized;
    // Slots end at nine; a tenth node would have nowhere to live.
    if (nodeCount_ >= kMaxNodes) return tbx::kIllegalNodeType;
    const int number = ++nodeCount_;
    if (node) *node = number;
    if (type == kObjectNodeType) {
        hasObjectNode_ = true;
    } else if (type == kPanoNodeType) {
        hasPanoramaNode_ = true;
    } else {
        return tbx::kIllegalNodeType;
    }
    Node record;
    record.number = number;
    record.type = type;
    nodes_[number] = std::move(record);
    return tbx::kOk;
}

CVRPanoMovie::Node* CVRPanoMovie::FindNode(int number) {
    if (number < 1 || number > kMaxNodes || !nodes_[number]) return nullptr;
    return &*nodes_[number];
}

const CVRPanoMovie::Node* CVRPanoMovie::node(int number) const {
    return const_cast<CVRPanoMovie*>(this)->FindNode(number);
}

ToolboxError CVRPanoMovie::DefinePanoStream(int node, int compressorIndex, int qualityIndex,
                                            int correctionIndex, float fieldOfViewFactor, float pan,
                                            float tilt, int tiles, const std::string& imagePath) {
    if (!initialised_) return tbx::kNotInitialized;
    Node* record = FindNode(node);
    if (!record) return tbx::kNoSuchNode;
    static_cast<void>(SetCompression(node, compressorIndex, qualityIndex));
    record->tiles = tiles;
    tiles_ = tiles;
    correction_ = CorrectionForIndex(correctionIndex);
    static_cast<void>(SetDefaultView(node, fieldOfViewFactor, pan, tilt));
    return AddStream(kImageStream, node, imagePath);
}

ToolboxError CVRPanoMovie::SetCompression(int node, int compressorIndex, int qualityIndex) {
    Node* record = FindNode(node);
    if (!record || record->type != kPanoNodeType) return tbx::kCompressionNotPano;
    record->compressorType = CompressorTypeForIndex(compressorIndex);
    record->quality = QualityForIndex(qualityIndex);
    return tbx::kOk;
}

ToolboxError CVRPanoMovie::SetDefaultView(int node, float fieldOfViewFactor, float pan,
                                          float tilt) {
    Node* record = FindNode(node);
    if (!record || record->type != kPanoNodeType) return tbx::kDefaultViewNotPano;
    record->fieldOfViewFactor = fieldOfViewFactor;
    record->pan = pan;
    record->tilt = tilt;
    return tbx::kOk;
}

ToolboxError CVRPanoMovie::AddStream(int kind, int node, const std::string& path) {
    if (!initialised_) return tbx::kNotInitialized;
    if (kind != kImageStream && kind != kHotSpotStream) return tbx::kIllegalStreamKind;
    Node* record = FindNode(node);
    if (!record) return tbx::kNoSuchNode;
    std::optional<ImageStream>& slot = kind == kImageStream ? record->image : record->hotSpot;
    if (slot) return tbx::kStreamExists;
    ImageStream stream;
    stream.serial = ++streamSerial_;
    stream.node = node;
    stream.path = path;
    if (kind == kImageStream) {
        // An unreadable image stays 0 x 0 here and is reported by BuildMovie.
        std::unique_ptr<qt::GraphicsImporter> importer;
        if (qt::GraphicsImporter::Open(path, importer) == qt::oserr::kNoErr) {
            const qt::Rect bounds = importer->naturalBounds();
            stream.width = bounds.width();
            stream.height = bounds.height();
        }
    }
    const int width = stream.width;
    slot = std::move(stream);
    return width % 4 != 0 ? tbx::kImageSize : tbx::kOk;
}

// ---- Texts and temporary files -------------------------------------------------

ToolboxError CVRPanoMovie::GetStatusText(int code, char* buffer, std::size_t size) {
    if (size < kMinTextBuffer) return tbx::kNotInitialized;
    if (code < tbx::kOk || code > tbx::kNotInitialized) return tbx::kNotImplemented;
    return CopyText(FindToolboxMessage(code), buffer, size);
}

ToolboxError CVRPanoMovie::GetErrorText(int code, char* buffer, std::size_t size) {
    const ToolboxError status = GetStatusText(code, buffer, size);
    if (status == tbx::kOk || status == tbx::kNotInitialized) return status;
    const char* text = FindToolboxMessage(code);
    if (!text) return tbx::kNotImplemented;
    return CopyText(text, buffer, size);
}

std::string CVRPanoMovie::MakeTempFileName(std::string_view extension) {
    if (!tempFolder_) tempFolder_ = std::make_unique<TempFolder>();
    if (!tempFolder_->valid()) {
        tempFolder_.reset();
        return {};
    }
    return orbelune::MakeTempFileName(tempFolder_->path(), extension);
}

// ---- Closing -------------------------------------------------------------------

ToolboxError CVRPanoMovie::CloseMovie() {
    // Disposing of our in-memory movie cannot fail; the tracks go with it.
    movie_.reset();
    vrTrack_ = nullptr;
    panoramaTrack_ = nullptr;
    for (auto& slot : nodes_) {
        if (slot) slot->imageTrack = nullptr;
    }
    nodeCount_ = 0;
    return tbx::kOk;
}

ToolboxError CVRPanoMovie::Terminate() {
    if (movie_) static_cast<void>(CloseMovie());
    for (auto& slot : nodes_) {
        if (slot && slot->type == kPanoNodeType && slot->image && !slot->tileMoviePath.empty()) {
            // Missing when the build failed before making it; nothing to report.
            static_cast<void>(qt::DeleteMovieFile(slot->tileMoviePath));
        }
        slot.reset();
    }
    nodeCount_ = 0;
    hasPanoramaNode_ = false;
    hasObjectNode_ = false;
    tempFolder_.reset();

    // Every step runs even after a failed one, so nothing stays up; the first
    // failure is the result.
    ToolboxError result = tbx::kOk;
    auto note = [&result](bool failed, ToolboxError code) {
        if (failed && result == tbx::kOk) result = code;
    };
    note(qt::TerminateVR() != qt::oserr::kNoErr, tbx::kVrTerminate);
    note(qt::ExitMovies() != qt::oserr::kNoErr, tbx::kMovieToolboxExit);
    note(qt::InitializeMediaLayer() != qt::oserr::kNoErr, tbx::kMediaLayerTerminate);
    if (!mediaLayerWasUp_) {
        note(qt::TerminateMediaLayer() != qt::oserr::kNoErr, tbx::kMediaLayerTerminate);
    } else if (moviesWereEntered_) {
        note(qt::EnterMovies() != qt::oserr::kNoErr, tbx::kMediaLayerTerminate);
    }
    initialised_ = false;
    return result;
}

// ---- BuildMovie ----------------------------------------------------------------

ToolboxError CVRPanoMovie::Inner(ToolboxError summary, ToolboxError inner) {
    innerError_ = inner;
    return summary;
}

ToolboxError CVRPanoMovie::BuildMovie() {
    innerError_ = tbx::kOk;
    if (!initialised_) return tbx::kNotInitialized;
    if (!movie_) return tbx::kNoMovie;
    if (ToolboxError e = BuildVrLayer()) return e;
    if (ToolboxError e = BuildContentLayer()) return e;
    if (!box_.empty()) {
        if (qt::OSErr e = movie_->SetBox(box_)) return e;
    }
    if (ToolboxError e = SetControllerType()) return e;
    return Flatten();
}

ToolboxError CVRPanoMovie::BuildVrLayer() {
    qt::Track* track = nullptr;
    qt::Media* media = nullptr;
    if (qt::OSErr e = movie_->NewTrack(qt::IntToFixed(movieWidth_), qt::IntToFixed(movieHeight_), 0,
                                       &track)) {
        return Inner(tbx::kVrLayer, e);
    }
    if (qt::OSErr e = track->NewMedia(qt::kQTVRMediaType, kMovieTimeScale, &media)) {
        return Inner(tbx::kVrLayer, e);
    }
    if (qt::OSErr e = movie_->SetTimeScale(kMovieTimeScale)) return Inner(tbx::kVrLayer, e);
    vrTrack_ = track;

    std::array<std::vector<std::uint8_t>, kMaxNodes + 1> information;
    for (int n = 1; n <= kMaxNodes; ++n) {
        if (!nodes_[n]) continue;
        if (MakeNodeInformation(*nodes_[n], information[n]) != qt::oserr::kNoErr) {
            return Inner(tbx::kVrLayer, tbx::kNodeInfo);
        }
    }

    // The VR world: header, the two imaging settings (moving, then at rest)
    // and where each node lives.
    qt::AtomContainer world;
    auto insert = [&world](qt::QTAtom parent, const char(&type)[5], qt::QTAtomID id, int index,
                           const std::vector<std::uint8_t>& data, qt::QTAtom* atom = nullptr) {
        return world.InsertChild(parent, FourCC(type), id, index, data, atom);
    };
    const Payload header = Payload().Versions().U32(0).U32(1).U32(0).Zeros(2);
    const Payload motion = PanoramaImaging(2, correction_, 256, 1);
    const Payload still = PanoramaImaging(1, correction_, 768, 0);
    qt::QTAtom imaging = 0;
    qt::QTAtom nodeParent = 0;
    bool worldFailed = insert(qt::kParentAtomIsContainer, "vrsc", 1, 1, header.bytes()) ||
                       insert(qt::kParentAtomIsContainer, "imgp", 1, 1, {}, &imaging) ||
                       insert(imaging, "impn", 0, 0, motion.bytes()) ||
                       insert(imaging, "impn", 0, 0, still.bytes()) ||
                       insert(qt::kParentAtomIsContainer, "vrnp", 1, 1, {}, &nodeParent);
    for (int n = 1; n <= kMaxNodes && !worldFailed; ++n) {
        if (!nodes_[n]) continue;
        qt::QTAtom nodeAtom = 0;
        const Payload location = Payload().Versions().U32(nodes_[n]->type).U32(0).U32(0).Zeros(2);
        worldFailed = insert(nodeParent, "vrni", n, 0, {}, &nodeAtom) ||
                      insert(nodeAtom, "nloc", 1, 1, location.bytes());
    }
    if (worldFailed) return Inner(tbx::kVrLayer, tbx::kVrWorld);

    const std::vector<std::uint8_t> description =
        qt::MakeSampleDescription(qt::kQTVRMediaType, world.Serialize());
    if (qt::OSErr e = media->BeginEdits()) return Inner(tbx::kVrLayer, e);
    for (int n = 1; n <= kMaxNodes; ++n) {
        if (!nodes_[n]) continue;
        if (qt::OSErr e = media->AddSample(information[n], duration_, description)) {
            return Inner(tbx::kAddSample, e);
        }
    }
    if (qt::OSErr e = media->EndEdits()) return Inner(tbx::kVrLayer, e);
    qt::OSErr result = track->InsertMedia(0, 0, media->duration(), qt::kFixed1);
    if (result == qt::oserr::kNoErr && track->duration() != duration_) {
        result = track->ScaleSegment(0, track->duration(), duration_);
    }
    return result;
}

ToolboxError CVRPanoMovie::BuildContentLayer() {
    qt::Media* panoramaMedia = nullptr;
    if (hasPanoramaNode_) {
        qt::Track* track = nullptr;
        if (qt::OSErr e = movie_->NewTrack(qt::IntToFixed(movieWidth_),
                                           qt::IntToFixed(movieHeight_), 0, &track)) {
            return Inner(tbx::kContentLayer, e);
        }
        if (qt::OSErr e = track->NewMedia(qt::kPanoMediaType, kMovieTimeScale, &panoramaMedia)) {
            return Inner(tbx::kContentLayer, e);
        }
        panoramaTrack_ = track;
    }
    for (int n = 1; n <= kMaxNodes; ++n) {
        if (!nodes_[n]) continue;
        Node& record = *nodes_[n];
        if (!record.image) continue;
        // Object nodes and hot-spot images are never made by this program.
        if (record.type != kPanoNodeType || record.hotSpot) {
            return Inner(tbx::kContentLayer, tbx::kNotImplemented);
        }
        if (ToolboxError e = MakeTileMovie(record)) return Inner(tbx::kContentLayer, e);
        if (ToolboxError e = CopyTileTrack(record)) return Inner(tbx::kContentLayer, e);
    }
    if (hasObjectNode_) return Inner(tbx::kContentLayer, tbx::kNotImplemented);
    if (!panoramaTrack_) return tbx::kOk;

    movieWidth_ = tileWidth_;
    movieHeight_ = tileHeight_;
    if (qt::OSErr e = panoramaMedia->BeginEdits()) return Inner(tbx::kNodeLayer, e);
    long panoramaReference = 0;
    if (qt::OSErr e =
            vrTrack_->AddReference(*panoramaTrack_, qt::MakeFourCC("pano"), &panoramaReference)) {
        return Inner(tbx::kNodeLayer, e);
    }
    for (int n = 1; n <= kMaxNodes; ++n) {
        if (!nodes_[n] || nodes_[n]->type != kPanoNodeType) continue;
        if (!nodes_[n]->image) {
            return nodes_[n]->hotSpot ? tbx::kHotSpotWithoutImage : tbx::kNoImageStream;
        }
        if (ToolboxError e = BuildPanoramaSample(*nodes_[n], *panoramaTrack_, *panoramaMedia)) {
            return e;
        }
    }
    if (qt::OSErr e = panoramaMedia->EndEdits()) return Inner(tbx::kNodeLayer, e);
    return panoramaTrack_->InsertMedia(0, 0, panoramaMedia->duration(), qt::kFixed1);
}

ToolboxError CVRPanoMovie::BuildPanoramaSample(Node& node, qt::Track& panoramaTrack,
                                               qt::Media& media) {
    if (qt::OSErr e = panoramaTrack.AddReference(*node.imageTrack, qt::MakeFourCC("imgt"),
                                                 &node.imageReferenceIndex)) {
        return Inner(tbx::kNodeLayer, e);
    }
    const float halfView = HalfVerticalFieldOfView(tileWidth_, tileHeight_, node.tiles);
    const float maxView = 2.0f * halfView;
    Payload pdat;
    pdat.Versions().I32(static_cast<std::int32_t>(node.imageReferenceIndex)).I32(0);
    pdat.F32(0.0f).F32(360.0f).F32(-halfView).F32(halfView).F32(0.0f).F32(maxView);
    pdat.F32(node.pan).F32(node.tilt).F32(maxView * node.fieldOfViewFactor);
    pdat.I32(tileWidth_).I32(node.tiles * tileHeight_);
    pdat.U16(1).U16(static_cast<std::uint16_t>(node.tiles));
    pdat.U32(0).U32(0).U16(0).U16(0);
    pdat.U32(0).U32(FourCC("vcyl")).U32(0);

    qt::AtomContainer sample;
    if (qt::OSErr e = sample.InsertChild(qt::kParentAtomIsContainer, FourCC("pdat"), node.number, 1,
                                         pdat.bytes())) {
        return Inner(tbx::kNodeLayer, e);
    }
    // The format gives panorama samples no description; a bare header stands in.
    if (qt::OSErr e =
            media.AddSample(sample.Serialize(), duration_, qt::MakeSampleDescription(0))) {
        return Inner(tbx::kNodeLayer, e);
    }
    return tbx::kOk;
}

ToolboxError CVRPanoMovie::MakeTileMovie(Node& node) {
    node.tileMoviePath = MakeTempFileName("TIL");
    if (node.tileMoviePath.empty()) return tbx::kTileMovie;
    std::unique_ptr<qt::GraphicsImporter> importer;
    if (qt::GraphicsImporter::Open(node.image->path, importer) != qt::oserr::kNoErr) {
        return tbx::kImageImport;
    }
    const qt::Rect bounds = importer->naturalBounds();
    const int width = bounds.width();
    const int tiles = node.tiles;
    const int tileHeight = tiles > 0 ? bounds.height() / tiles : 0;
    if (tileHeight <= 0 || width <= 0) return tbx::kTileMovie;

    std::unique_ptr<qt::MovieFile> file;
    std::unique_ptr<qt::Movie> tileMovie;
    qt::Track* track = nullptr;
    qt::Media* media = nullptr;
    if (qt::CreateMovieFile(
            node.tileMoviePath, qt::kMovieCreator, -2,
            qt::kCreateMovieFileDeleteCurFile | qt::kCreateMovieFileDontCreateResFile, file,
            tileMovie) != qt::oserr::kNoErr ||
        tileMovie->NewTrack(qt::IntToFixed(width), qt::IntToFixed(tileHeight), 0, &track) !=
            qt::oserr::kNoErr ||
        track->NewMedia(qt::kVideoMediaType, kMovieTimeScale, &media) != qt::oserr::kNoErr) {
        return tbx::kTileMovie;
    }
    // Tiles are compressed on all cores, one tile buffer per worker, and
    // added in order: the file is the one a single core writes.
    const int workers = std::clamp(WorkerThreads(), 1, tiles);
    std::vector<std::unique_ptr<qt::OffscreenBuffer>> buffers(static_cast<std::size_t>(workers));
    for (auto& buffer : buffers) {
        if (qt::OSErr e = qt::OffscreenBuffer::Create(width, tileHeight, buffer)) {
            return e == qt::oserr::kMemFullErr ? tbx::kMemFullErr : tbx::kTileMovie;
        }
    }
    if (media->BeginEdits() != qt::oserr::kNoErr) return tbx::kTileMovie;
    const auto tileCount = static_cast<std::size_t>(tiles);
    std::vector<std::vector<std::uint8_t>> data(tileCount);
    std::vector<qt::ImageDescription> descriptions(tileCount);
    std::vector<qt::OSErr> results(tileCount, qt::oserr::kNoErr);
    std::vector<char> compressed(tileCount, 0);
    auto draw = [&](int t, qt::OffscreenBuffer& buffer) {
        const int shift = t * tileHeight;
        return importer->SetBoundsRect({0, -shift, width, bounds.height() - shift}) ==
                   qt::oserr::kNoErr &&
               importer->Draw(buffer) == qt::oserr::kNoErr;
    };
    auto compress = [&](int t, qt::OffscreenBuffer& buffer) {
        results[static_cast<std::size_t>(t)] = qt::CompressImage(
            buffer, node.compressorType, node.quality, data[static_cast<std::size_t>(t)],
            descriptions[static_cast<std::size_t>(t)]);
    };
    // The first tile that failed decides the result, as on one core.
    int failedTile = tiles;
    ToolboxError failure = tbx::kOk;
    auto fail = [&](int t, ToolboxError code) {
        if (t < failedTile) {
            failedTile = t;
            failure = code;
        }
    };
    int added = 0;
    auto addFinished = [&] {
        while (added < tiles && compressed[static_cast<std::size_t>(added)]) {
            const auto t = static_cast<std::size_t>(added);
            if (const qt::OSErr e = results[t]) {
                fail(added, e == qt::oserr::kMemFullErr ? tbx::kMemFullErr : e);
                return;
            }
            if (media->AddSample(data[t], duration_ / tiles, descriptions[t].Bytes()) !=
                qt::oserr::kNoErr) {
                fail(added, tbx::kTileMovie);
                return;
            }
            std::vector<std::uint8_t>().swap(data[t]);
            ++added;
        }
    };

    // The encoder tells nothing while it works on a tile (a Cinepak tile can
    // take a minute), so progress is the count of finished tiles, reported on
    // this thread the moment any worker finishes one. This thread only draws
    // tiles and reports; the workers compress.
    // A step that answers other than kOk stops the build between tiles.
    int done = 0;
    if (const ToolboxError stop = OnProgress(0, tiles); stop != tbx::kOk) return stop;
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<int> finishedBuffers;  // guarded by mutex
    finishedBuffers.reserve(buffers.size());
    std::vector<std::thread> running(buffers.size());
    std::vector<int> tileIn(buffers.size(), -1);
    std::vector<int> idle;
    for (int b = workers - 1; b >= 0; --b)
        idle.push_back(b);
    int next = 0;
    int busy = 0;
    for (;;) {
        while (failedTile == tiles && next < tiles && !idle.empty()) {
            const int b = idle.back();
            const auto slot = static_cast<std::size_t>(b);
            if (!draw(next, *buffers[slot])) {
                fail(next, tbx::kTileMovie);
                break;
            }
            idle.pop_back();
            tileIn[slot] = next++;
            ++busy;
            auto job = [&, slot] {
                compress(tileIn[slot], *buffers[slot]);
                const std::lock_guard lock(mutex);
                finishedBuffers.push_back(static_cast<int>(slot));
                finished.notify_one();
            };
            if (workers == 1) {
                job();
                continue;
            }
            try {
                running[slot] = std::thread(job);
            } catch (const std::system_error&) {
                job();  // no thread to be had: this one does it
            }
        }
        if (busy == 0) break;
        int b = -1;
        {
            std::unique_lock lock(mutex);
            finished.wait(lock, [&] { return !finishedBuffers.empty(); });
            b = finishedBuffers.back();
            finishedBuffers.pop_back();
        }
        const auto slot = static_cast<std::size_t>(b);
        if (running[slot].joinable()) running[slot].join();
        --busy;
        const int tile = tileIn[slot];
        compressed[static_cast<std::size_t>(tile)] = 1;
        if (const qt::OSErr e = results[static_cast<std::size_t>(tile)])
            fail(tile, e == qt::oserr::kMemFullErr ? tbx::kMemFullErr : e);
        idle.push_back(b);
        if (const ToolboxError stop = OnProgress(++done, tiles); stop != tbx::kOk)
            fail(std::min(next, tiles - 1), stop);
        addFinished();
    }
    if (failure != tbx::kOk) return failure;
    if (media->EndEdits() != qt::oserr::kNoErr ||
        track->InsertMedia(0, 0, media->duration(), qt::kFixed1) != qt::oserr::kNoErr ||
        qt::StoreMovie(*file, *tileMovie) != qt::oserr::kNoErr) {
        return tbx::kTileMovie;
    }
    return tbx::kOk;
}

ToolboxError CVRPanoMovie::CopyTileTrack(Node& node) {
    std::unique_ptr<qt::MovieFile> file;
    if (qt::OpenMovieFile(node.tileMoviePath, file) != qt::oserr::kNoErr) {
        return tbx::kOpenTileMovie;
    }
    std::unique_ptr<qt::Movie> tileMovie;
    if (qt::NewMovieFromFile(*file, tileMovie) != qt::oserr::kNoErr) return tbx::kTileMovieRead;
    const qt::Track* source = tileMovie->IndexedTrackOfType(1, qt::kVideoMediaType);
    if (!source || !source->media()) return tbx::kParamErr;

    qt::Track* copy = nullptr;
    qt::Media* media = nullptr;
    if (movie_->NewTrack(source->width(), source->height(), source->volume(), &copy) !=
            qt::oserr::kNoErr ||
        copy->NewMedia(source->media()->type(), source->media()->timeScale(), &media) !=
            qt::oserr::kNoErr ||
        qt::InsertTrackSegment(*source, *copy, 0, source->duration(), copy->duration()) !=
            qt::oserr::kNoErr ||
        qt::CopyTrackSettings(*source, *copy) != qt::oserr::kNoErr) {
        return tbx::kTileTrackCopy;
    }
    // The tiles are shown only through the panorama track.
    copy->SetEnabled(false);
    if (copy->duration() != tileMovie->duration() &&
        copy->ScaleSegment(0, copy->duration(), tileMovie->duration()) != qt::oserr::kNoErr) {
        return tbx::kTileTrackCopy;
    }
    node.imageTrack = copy;
    tileWidth_ = qt::FixedToInt(copy->width());
    tileHeight_ = qt::FixedToInt(copy->height());
    return tbx::kOk;
}

ToolboxError CVRPanoMovie::SetControllerType() {
    if (!movie_) return tbx::kControllerType;
    const Payload type = Payload().U32(FourCC("qtvr"));
    if (movie_->AddUserData(FourCC("ctyp"), type.bytes()) != qt::oserr::kNoErr) {
        return tbx::kControllerType;
    }
    return tbx::kOk;
}

ToolboxError CVRPanoMovie::Flatten() {
    std::unique_ptr<qt::MovieExporter> exporter;
    if (qt::OSErr e = qt::OpenMovieExporter(qt::kMovieExportType, qt::kFlattenerSubType,
                                            qt::kFlattenerManufacturer, exporter)) {
        if (e == qt::oserr::kBadComponentType && sink_) sink_(kFlattenerMissingMessage);
        return e;
    }
    movie_->SetCreationTime(creationTime_);
    if (qt::OSErr e =
            qt::ConvertMovieToFile(*movie_, moviePath_, qt::kMovieFileType, qt::kMovieCreator, -1,
                                   qt::kCreateMovieFileDeleteCurFile, exporter.get())) {
        return Inner(tbx::kMovieFileNotCreated, e);
    }
    return tbx::kOk;
}

}  // namespace orbelune
