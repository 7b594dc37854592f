// The simulator's per-picture requests: GetPictureParams computed from the real picture (its
// histogram, average, whitest and darkest levels, alarms, orientation), marks and annotations
// kept for the session, and the image functions, whose zoom and alarms make the next GetImage
// send a processed preview (a 1:1 crop around the point; clipped pixels in a warning colour).
//
// A picture that appears on the disk after start (a shot) is reported new: "Yes" at its first
// GetPictureParams, "Process" at the second, "No" from then on. A picture file of no bytes is
// one the camera did not save: its requests answer the storage error 8179.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/camsim/SimCamera.h"

namespace camsim {

struct SimPictureState {
    std::string marking = "Unmarked";
    std::string annotation;
    int newPictureAnswers = 0;  // GetPictureParams answers given so far (new pictures only)
    bool isNew = false;
    bool zoom = false;
    int zoomX = 0;
    int zoomY = 0;
    bool alarmWhite = false;
    bool alarmDark = false;
    std::string frame = "Full,0,0,0,0";
    std::string fstop = "0;0";
    std::string light = "0;0";
};

class SimPictureFunctions {
public:
    static constexpr int kNotSavedCode = 8179;
    static constexpr int kWhiteLevel = 250;  // at or above: a clipped highlight
    static constexpr int kDarkLevel = 5;     // at or below: a clipped shadow

    explicit SimPictureFunctions(SimCamera& camera) : m_camera(camera) {}
    // Notes the pictures on the disk now (they are not new) and installs the handlers.
    void Register();

    // Decodes a JPEG to RGB rows; false when it is no picture.
    static bool DecodeRgb(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>& rgb, int& width, int& height);

private:
    void OnGetPictureParams(const SimMessage& request, SimAnswer& answer);
    void OnSetPictureParams(const SimMessage& request, SimAnswer& answer);
    void OnImageFunction(const SimMessage& request, SimAnswer& answer);
    void OnGetImage(const SimMessage& request, SimAnswer& answer);
    // The state of a picture, by its canonical camera name; null (and the answer set) when the
    // request names no picture.
    SimPictureState* Picture(const SimMessage& request, SimAnswer& answer, std::string& cameraName,
                             std::vector<uint8_t>* jpeg);
    void NoteExisting(const std::string& folder);
    int HistogramBins() const;

    SimCamera& m_camera;
    std::set<std::string> m_existing;
    std::map<std::string, SimPictureState> m_pictures;
    SimHandler m_plainGetImage;
};

}  // namespace camsim
