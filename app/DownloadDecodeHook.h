// Joins the download to the picture decoder: the protocol layer decodes each preview as it arrives
// whole, and the storage names the file it saved it to, so the picture on screen is taken over
// from that decode instead of being decoded from the file a second time.
#pragma once

#include "app/link/ImageDecodeHook.h"

class CCache;
class CProtocolLayer;

class CDownloadDecodeHook : public IImageDecodeHook {
public:
    bool DecodePicture(const uint8_t* data, size_t size) override;

    // Wires both ends; the hook must outlive the protocol layer's threads.
    void Attach(CProtocolLayer& layer, CCache& cache);
};
