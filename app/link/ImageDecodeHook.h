// What the protocol layer calls with a picture payload that has just arrived whole, so that the
// picture can be decoded while the bytes are still hot. The decoder lives in the imaging library,
// which the link must not depend on; the application wires it in.
#pragma once

#include <cstddef>
#include <cstdint>

class IImageDecodeHook {
public:
    virtual ~IImageDecodeHook() = default;
    // Runs on the protocol layer's read thread. The bytes stay with the answer whatever it
    // returns; false only means the picture could not be decoded (the hook logs why).
    virtual bool DecodePicture(const uint8_t* data, size_t size) = 0;
};
