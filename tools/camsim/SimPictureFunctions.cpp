#include "tools/camsim/SimPictureFunctions.h"

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <system_error>

#include "app/platform/Log.h"
#include "tools/camsim/SimPictures.h"
#include "tools/camsim/SimStorageCommands.h"

namespace fs = std::filesystem;

namespace camsim {

namespace {

constexpr int kDefaultBins = 64;
constexpr int kMaxBins = 1024;

struct DecodeError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

void OnDecodeError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<DecodeError*>(info->err)->jump, 1);
}

int Level(const uint8_t* px)
{
    return (299 * px[0] + 587 * px[1] + 114 * px[2] + 500) / 1000;
}

struct Measures {
    std::vector<uint64_t> levels = std::vector<uint64_t>(256, 0);
    uint64_t pixels = 0;
    uint64_t sum = 0;
    int whitest = 0;
    int darkest = 255;
};

Measures Measure(const std::vector<uint8_t>& rgb, double gain)
{
    Measures m;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        int level = Level(&rgb[i]);
        level = std::clamp(static_cast<int>(std::lround(level * gain)), 0, 255);
        ++m.levels[level];
        ++m.pixels;
        m.sum += static_cast<uint64_t>(level);
        m.whitest = std::max(m.whitest, level);
        m.darkest = std::min(m.darkest, level);
    }
    return m;
}

int BinOf(int level, int bins)
{
    return std::min(bins - 1, level * bins / 256);
}

std::string Percent(uint64_t part, uint64_t whole)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole);
    return text;
}

}  // namespace

bool SimPictureFunctions::DecodeRgb(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>& rgb, int& width,
                                    int& height)
{
    if (jpeg.empty()) {
        return false;
    }
    jpeg_decompress_struct info{};
    DecodeError error{};
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = OnDecodeError;
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    width = static_cast<int>(info.output_width);
    height = static_cast<int>(info.output_height);
    rgb.assign(static_cast<size_t>(width) * height * 3, 0);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgb.data() + static_cast<size_t>(info.output_scanline) * width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

void SimPictureFunctions::NoteExisting(const std::string& folder)
{
    std::vector<SimDiskEntry> entries;
    if (!m_camera.Disk().List(folder, entries)) {
        return;
    }
    const std::string prefix = folder == "." ? std::string("./") : folder;
    for (const SimDiskEntry& entry : entries) {
        if (entry.isFolder) {
            NoteExisting(prefix + entry.name);
        } else {
            m_existing.insert(prefix + entry.name);
        }
    }
}

void SimPictureFunctions::Register()
{
    ORIN_TRACE("SimPictureFunctions::Register");
    NoteExisting(".");
    using namespace std::placeholders;
    // Handlers a test registered before are kept.
    auto add = [this](const char* name, SimHandler handler) {
        if (m_camera.FindHandler(name) == nullptr) {
            m_camera.RegisterHandler(name, std::move(handler));
        }
    };
    add("GetPictureParams", std::bind(&SimPictureFunctions::OnGetPictureParams, this, _1, _2));
    add("SetPictureParams", std::bind(&SimPictureFunctions::OnSetPictureParams, this, _1, _2));
    add("ImageFunction", std::bind(&SimPictureFunctions::OnImageFunction, this, _1, _2));
    // Plain previews stay with the GetImage handler there is; this one only renders the zoomed
    // and alarm previews.
    if (const SimHandler* previous = m_camera.FindHandler("GetImage")) {
        m_plainGetImage = *previous;
    }
    m_camera.RegisterHandler("GetImage", std::bind(&SimPictureFunctions::OnGetImage, this, _1, _2));
}

int SimPictureFunctions::HistogramBins() const
{
    const std::optional<std::string> dim = m_camera.Settings().Get("HistogramDim");
    const int bins = dim ? std::atoi(dim->c_str()) : 0;
    return bins >= 1 && bins <= kMaxBins ? bins : kDefaultBins;
}

SimPictureState* SimPictureFunctions::Picture(const SimMessage& request, SimAnswer& answer, std::string& cameraName,
                                              std::vector<uint8_t>* jpeg)
{
    const std::string* fileName = request.Find("file_name");
    if (fileName == nullptr) {
        answer = SimAnswer::Error("3");
        return nullptr;
    }
    if (!SimDisk::IsSafeName(*fileName)) {
        answer = SimAnswer::StorageError(8204);
        return nullptr;
    }
    const std::optional<fs::path> host = m_camera.Disk().Resolve(*fileName);
    if (!host) {
        answer = SimAnswer::StorageError(8203);
        return nullptr;
    }
    cameraName = m_camera.Disk().CameraNameOf(*host);
    std::error_code ec;
    if (fs::file_size(*host, ec) == 0 || ec) {
        answer = SimAnswer::StorageError(kNotSavedCode);
        return nullptr;
    }
    if (jpeg != nullptr) {
        std::string error;
        if (!m_camera.Disk().ReadPreview(*fileName, *jpeg, error)) {
            answer = SimAnswer::StorageError(12);  // "Read error performing the API's function."
            return nullptr;
        }
    }
    auto [it, inserted] = m_pictures.try_emplace(cameraName);
    if (inserted) {
        it->second.isNew = m_existing.count(cameraName) == 0;
    }
    return &it->second;
}

void SimPictureFunctions::OnGetPictureParams(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimPictureFunctions::OnGetPictureParams");
    std::string name;
    std::vector<uint8_t> jpeg;
    SimPictureState* state = Picture(request, answer, name, &jpeg);
    if (state == nullptr) {
        return;
    }
    std::vector<uint8_t> rgb;
    int width = 0;
    int height = 0;
    if (!DecodeRgb(jpeg, rgb, width, height)) {
        answer = SimAnswer::StorageError(12);
        return;
    }
    const int bins = HistogramBins();
    const Measures m = Measure(rgb, 1.0);
    std::vector<uint64_t> binCounts(static_cast<size_t>(bins), 0);
    for (int level = 0; level < 256; ++level) {
        binCounts[static_cast<size_t>(BinOf(level, bins))] += m.levels[static_cast<size_t>(level)];
    }
    std::string histogram;
    for (size_t i = 0; i < binCounts.size(); ++i) {
        if (i != 0) {
            histogram += ';';
        }
        histogram += std::to_string(binCounts[i]);
    }
    const int peak = static_cast<int>(std::max_element(binCounts.begin(), binCounts.end()) - binCounts.begin());
    const int average = m.pixels == 0 ? 0 : static_cast<int>(m.sum / m.pixels);
    uint64_t clippedWhite = 0;
    uint64_t clippedDark = 0;
    for (int level = 0; level < 256; ++level) {
        clippedWhite += level >= kWhiteLevel ? m.levels[static_cast<size_t>(level)] : 0;
        clippedDark += level <= kDarkLevel ? m.levels[static_cast<size_t>(level)] : 0;
    }
    const char* newPicture = "No";
    if (state->isNew) {
        newPicture = state->newPictureAnswers == 0 ? "Yes" : state->newPictureAnswers == 1 ? "Process" : "No";
        ++state->newPictureAnswers;
    }
    std::error_code ec;
    const std::optional<fs::path> host = m_camera.Disk().Resolve(name);
    SimMessage& out = answer.message;
    out.Add("Histogram", histogram);
    out.Add("histogramLocation", std::to_string(peak));
    out.Add("histogramValue", Percent(binCounts[static_cast<size_t>(peak)], m.pixels));
    out.Add("averageLocation", std::to_string(BinOf(average, bins)));
    out.Add("Average", std::to_string(average));
    out.Add("HwhiteLoc", std::to_string(BinOf(m.whitest, bins)));
    out.Add("Hwhite", std::to_string(m.whitest) + " " + Percent(clippedWhite, m.pixels));
    out.Add("HdarkLoc", std::to_string(BinOf(m.darkest, bins)));
    out.Add("Hdark", std::to_string(m.darkest) + " " + Percent(clippedDark, m.pixels));
    out.Add("frame", state->frame);
    out.Add("Toning", "Neutral");
    out.Add("Light", state->light);
    out.Add("fstop", state->fstop);
    out.Add("text", state->annotation);
    out.Add("NewPicture", newPicture);
    out.Add("Orientation", width >= height ? "Landscape" : "Portrait CW");
    out.Add("Marking", state->marking);
    out.Add("Color", "color");
    if (host) {
        out.Add("Date", SimStorageCommands::TimeStamp(fs::last_write_time(*host, ec)));
    }
    out.Add("zoom", state->zoom ? "Yes" : "No");
    out.Add("alarm_white", state->alarmWhite ? "Yes" : "No");
    out.Add("alarm_dark", state->alarmDark ? "Yes" : "No");
}

void SimPictureFunctions::OnSetPictureParams(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimPictureFunctions::OnSetPictureParams");
    std::string name;
    SimPictureState* state = Picture(request, answer, name, nullptr);
    if (state == nullptr) {
        return;
    }
    const std::string* marking = request.Find("Marking");
    const std::string* annotation = request.Find("annotation");
    if (marking == nullptr && annotation == nullptr) {
        answer = SimAnswer::StorageError(9);
        return;
    }
    if (marking != nullptr) {
        if (*marking != "Unmarked" && *marking != "Good" && *marking != "NoGood") {
            answer = SimAnswer::StorageError(9);
            return;
        }
        state->marking = *marking;
    }
    if (annotation != nullptr) {
        state->annotation = *annotation;
    }
}

void SimPictureFunctions::OnImageFunction(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimPictureFunctions::OnImageFunction");
    std::string name;
    std::vector<uint8_t> jpeg;
    SimPictureState* state = Picture(request, answer, name, &jpeg);
    if (state == nullptr) {
        return;
    }
    auto yes = [](const std::string* value) { return value != nullptr && (*value == "yes" || *value == "Yes"); };
    if (const std::string* zoom = request.FindNoCase("zoom")) {
        state->zoom = yes(zoom);
        if (state->zoom) {
            const std::string* x = request.Find("XCoord");
            const std::string* y = request.Find("YCoord");
            if (x == nullptr || y == nullptr) {
                answer = SimAnswer::StorageError(9);
                state->zoom = false;
                return;
            }
            state->zoomX = std::atoi(x->c_str());
            state->zoomY = std::atoi(y->c_str());
        }
    } else if (const std::string* alarm = request.Find("Alarm")) {
        const std::string* edge = request.Find("edge");
        if (edge == nullptr || (*edge != "white" && *edge != "dark")) {
            answer = SimAnswer::StorageError(9);
            return;
        }
        (*edge == "white" ? state->alarmWhite : state->alarmDark) = yes(alarm);
    } else if (const std::string* framing = request.Find("Framing")) {
        const std::string* location = request.Find("location");
        state->frame = *framing + "," + (location != nullptr ? *location : std::string("0,0,0,0"));
    } else if (const std::string* fstops = request.Find("fstops")) {
        // The first number moves the exposure in tenths of a stop; the answer is the histogram
        // the picture would have.
        state->fstop = *fstops;
        const double gain = std::pow(2.0, std::atoi(fstops->c_str()) / 10.0);
        std::vector<uint8_t> rgb;
        int width = 0;
        int height = 0;
        if (!DecodeRgb(jpeg, rgb, width, height)) {
            answer = SimAnswer::StorageError(12);
            return;
        }
        const Measures m = Measure(rgb, gain);
        const int average = m.pixels == 0 ? 0 : static_cast<int>(m.sum / m.pixels);
        answer.message.Add("histogramLocation", std::to_string(BinOf(average, HistogramBins())));
        answer.message.Add("histogramValue", Percent(m.levels[255], m.pixels));
    } else if (const std::string* light = request.Find("light")) {
        state->light = *light;
        answer.message.Add("Light", *light);
    } else {
        answer = SimAnswer::StorageError(9);
    }
}

void SimPictureFunctions::OnGetImage(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimPictureFunctions::OnGetImage");
    std::string name;
    SimPictureState* state = nullptr;
    if (const std::string* fileName = request.Find("file_name"); fileName != nullptr && SimDisk::IsSafeName(*fileName)) {
        if (const std::optional<fs::path> host = m_camera.Disk().Resolve(*fileName)) {
            const auto found = m_pictures.find(m_camera.Disk().CameraNameOf(*host));
            if (found != m_pictures.end() && (found->second.zoom || found->second.alarmWhite || found->second.alarmDark)) {
                state = &found->second;
            }
        }
    }
    if (state == nullptr && m_plainGetImage) {
        m_plainGetImage(request, answer);
        return;
    }
    state = Picture(request, answer, name, &answer.payload);
    if (state == nullptr) {
        return;
    }
    if (state->zoom || state->alarmWhite || state->alarmDark) {
        std::vector<uint8_t> rgb;
        int width = 0;
        int height = 0;
        if (DecodeRgb(answer.payload, rgb, width, height)) {
            if (state->alarmWhite || state->alarmDark) {
                for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
                    const int level = Level(&rgb[i]);
                    if (state->alarmWhite && level >= kWhiteLevel) {
                        rgb[i] = 255, rgb[i + 1] = 0, rgb[i + 2] = 0;
                    } else if (state->alarmDark && level <= kDarkLevel) {
                        rgb[i] = 0, rgb[i + 1] = 0, rgb[i + 2] = 255;
                    }
                }
            }
            if (state->zoom) {
                // 1:1 around the point: half the picture's size, kept inside the picture.
                const int cropW = std::max(1, width / 2);
                const int cropH = std::max(1, height / 2);
                const int left = std::clamp(state->zoomX - cropW / 2, 0, width - cropW);
                const int top = std::clamp(state->zoomY - cropH / 2, 0, height - cropH);
                std::vector<uint8_t> crop(static_cast<size_t>(cropW) * cropH * 3);
                for (int row = 0; row < cropH; ++row) {
                    std::copy_n(rgb.begin() + (static_cast<ptrdiff_t>(top + row) * width + left) * 3, cropW * 3,
                                crop.begin() + static_cast<ptrdiff_t>(row) * cropW * 3);
                }
                rgb.swap(crop);
                width = cropW;
                height = cropH;
            }
            std::vector<uint8_t> processed = SimPictures::EncodeRgb(rgb.data(), width, height, 90);
            if (!processed.empty()) {
                answer.payload.swap(processed);
            }
        }
    }
    int packetSize = -1;
    if (const std::string* asked = request.Find("PacketSize")) {
        const int value = std::atoi(asked->c_str());
        if (value > 0) {
            packetSize = std::min(value, SimCamera::kMaxPacketSize);
        }
    }
    answer.hasPayload = true;
    answer.packetSize = packetSize;
    answer.message.Add("ATTACHMENT", std::to_string(answer.payload.size()));
    if (packetSize > 0) {
        answer.message.Add("Size", std::to_string(packetSize));
    }
}

}  // namespace camsim
