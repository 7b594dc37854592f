// libFuzzer target: any bytes at all must give a bitmap of the size the header states or nothing,
// with no crash, leak or undefined behaviour. Built by scripts/fuzz with clang, never by the
// regular test build.
#include "app/imaging/loadjpeg.h"
#include "app/platform/Log.h"

#include <cstddef>
#include <cstdint>

namespace {

// A log function that is installed makes the decoder format every library message as it would in
// the program; the text itself is thrown away.
bool DiscardLog(int, const char*, int, const char*, const char* message)
{
    volatile size_t length = 0;
    while (message != nullptr && message[length] != '\0') {
        length = length + 1;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    platform::SetLogFunction(DiscardLog);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<imaging::Dib> dib = imaging::LoadJpeg(data, size);
    if (dib) {
        // Touch the first and the last byte so a short allocation would show.
        volatile uint8_t sink = dib->Bits()[0];
        sink = dib->Bits()[dib->SizeBytes() - 1];
        (void)sink;
    }
    return 0;
}
