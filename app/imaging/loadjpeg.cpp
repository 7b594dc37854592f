#include "app/imaging/loadjpeg.h"

#include "app/platform/Log.h"

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
// After jpeglib.h, so the message list sees the library's configuration.
#include <jerror.h>

namespace imaging {

namespace {

// A hostile file can ask for huge coefficient buffers (progressive mode) or thousands of scans;
// neither happens with a real preview, so both are refused instead of eating memory and time.
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;
constexpr int kMaxScans = 1000;

struct ErrorManager {
    jpeg_error_mgr pub;  // first, so the library's pointer to it is a pointer to us
    jmp_buf abortDecode;
};

struct ProgressMonitor {
    jpeg_progress_mgr pub;
};

// Called from inside the library, whose C frames must never be unwound: nothing may escape.
void LogLibraryMessage(j_common_ptr cinfo) noexcept
{
    try {
        char text[JMSG_LENGTH_MAX];
        (*cinfo->err->format_message)(cinfo, text);
        ORIN_LOG_WARNING("LoadJpeg", "JPEG library error: %s", text);
    } catch (...) {
    }
}

// Replaces the library's exit(): log, then return to LoadJpeg, which destroys the decompressor.
[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    LogLibraryMessage(cinfo);
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->abortDecode, 1);
}

void OutputMessage(j_common_ptr cinfo) { LogLibraryMessage(cinfo); }

// The library only warns when the data runs out, a segment ends early or the coded data is
// damaged, and then fills what it could not decode with grey. A grey-filled picture must never be
// shown as the camera's picture, so those warnings end the decode like an error. Other warnings
// (stray bytes between segments and the like) leave the picture intact and are only logged.
void EmitMessage(j_common_ptr cinfo, int msgLevel)
{
    jpeg_error_mgr* err = cinfo->err;
    if (msgLevel >= 0) {
        if (err->trace_level >= msgLevel) {
            (*err->output_message)(cinfo);
        }
        return;
    }
    ++err->num_warnings;
    LogLibraryMessage(cinfo);
    switch (err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
#if JPEG_LIB_VERSION >= 70 || defined(C_ARITH_CODING_SUPPORTED) || defined(D_ARITH_CODING_SUPPORTED)
    case JWRN_ARITH_BAD_CODE:
#endif
    case JWRN_MUST_RESYNC:
        std::longjmp(reinterpret_cast<ErrorManager*>(err)->abortDecode, 1);
    default:
        break;
    }
}

void Progress(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor) {
        auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (dinfo->input_scan_number > kMaxScans) {
            try {
                ORIN_LOG_WARNING("LoadJpeg", "JPEG library error: more than %d scans", kMaxScans);
            } catch (...) {
            }
            std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->abortDecode, 1);
        }
    }
}

struct DecodeState {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    ProgressMonitor progress;
    std::unique_ptr<Dib> dib;
};

// All library calls live here, in a frame without objects that need destroying, because a library
// error leaves it by longjmp. The bitmap is held by the caller's state, so it is freed whatever
// way this returns.
bool Decode(DecodeState& state, const uint8_t* bytes, size_t length)
{
    jpeg_decompress_struct& cinfo = state.cinfo;
    if (setjmp(state.err.abortDecode) != 0) {
        return false;
    }
    jpeg_mem_src(&cinfo, bytes, static_cast<unsigned long>(length));
    jpeg_read_header(&cinfo, TRUE);

    if (cinfo.image_width > static_cast<JDIMENSION>(Dib::kMaxDimension) ||
        cinfo.image_height > static_cast<JDIMENSION>(Dib::kMaxDimension)) {
        ORIN_LOG_WARNING("LoadJpeg", "LoadJpeg() Picture too large: %u x %u",
                         static_cast<unsigned>(cinfo.image_width), static_cast<unsigned>(cinfo.image_height));
        return false;
    }
    // Colour pictures come out directly in the bitmap's byte order; anything else keeps the
    // library's default and is refused below by its component count.
    if (cinfo.out_color_space == JCS_RGB) {
        cinfo.out_color_space = JCS_EXT_BGR;
    }
    jpeg_start_decompress(&cinfo);

    if (cinfo.output_components != 3) {
        ORIN_LOG_WARNING("LoadJpeg", "LoadJpeg() Unsupported color format. Number of color components: %d",
                         cinfo.output_components);
        return false;
    }
    state.dib = Dib::Create(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
    if (!state.dib) {
        return false;
    }
    const int height = state.dib->Height();
    while (cinfo.output_scanline < cinfo.output_height) {
        // Scanline 0 is the picture's top row, which is the last row of a bottom-up bitmap.
        JSAMPROW row = state.dib->MemoryRow(height - 1 - static_cast<int>(cinfo.output_scanline));
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) {
            // Only a suspending data source returns no line; ours never suspends.
            ORIN_LOG_WARNING("LoadJpeg", "JPEG library error: no scanline returned at line %u",
                             static_cast<unsigned>(cinfo.output_scanline));
            return false;
        }
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

}  // namespace

std::unique_ptr<Dib> LoadJpeg(const uint8_t* bytes, size_t length)
{
    ORIN_TRACE("LoadJpeg");
    // Zeroed, the decompressor can be destroyed whether or not it was ever created.
    DecodeState state{};
    try {
        state.cinfo.err = jpeg_std_error(&state.err.pub);
        state.err.pub.error_exit = ErrorExit;
        state.err.pub.output_message = OutputMessage;
        state.err.pub.emit_message = EmitMessage;
        if (setjmp(state.err.abortDecode) != 0) {
            // The decompressor could not even be created.
            jpeg_destroy_decompress(&state.cinfo);
            return nullptr;
        }
        jpeg_create_decompress(&state.cinfo);
        state.cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
        state.progress.pub.progress_monitor = Progress;
        state.cinfo.progress = &state.progress.pub;

        const bool ok = Decode(state, bytes, length);
        jpeg_destroy_decompress(&state.cinfo);
        if (!ok) {
            state.dib.reset();
        }
        return std::move(state.dib);
    } catch (...) {
        jpeg_destroy_decompress(&state.cinfo);
        state.dib.reset();
        ORIN_LOG_ERROR("LoadJpeg", "UNKNOWN CRITICAL ERROR");
        return nullptr;
    }
}

}  // namespace imaging
