// orinimg: the picture code of the program on the command line.
//
//   orinimg decode IN.jpg OUT.bmp
//   orinimg display IN.jpg OUT.bmp [--model N]
//   orinimg histogram --columns W --range H BINS      (BINS and the result separated by ";")
//   orinimg fit --layout L WIDTHxHEIGHT                (prints left,top,right,bottom)
//
// Exit 0 on success, 1 when the input cannot be used, 2 on a usage error. Failures are one line
// on stderr; the program's log is not written to the terminal.
#include "app/imaging/DitherRiemersma.h"
#include "app/imaging/HistogramStatic.h"
#include "app/imaging/JPEGImage.h"
#include "app/imaging/loadjpeg.h"
#include "app/platform/Log.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The most recent warning or error of the library, to say why a picture was refused.
std::string g_lastProblem;

bool KeepProblems(int level, const char*, int, const char*, const char* message)
{
    if (level <= platform::LOG_WARNING && message != nullptr) {
        g_lastProblem = message;
    }
    return true;
}

int Usage(const char* detail)
{
    std::fprintf(stderr, "orinimg: %s (usage: orinimg decode IN.jpg OUT.bmp | display IN.jpg OUT.bmp "
                         "[--model N] | histogram --columns W --range H BINS | fit --layout L WxH)\n",
                 detail);
    return kExitUsage;
}

bool ParseInt(std::string_view text, int& value)
{
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "read error";
        return false;
    }
    return true;
}

int Decode(int argc, char** argv, bool display)
{
    if (argc < 4) {
        return Usage("missing input or output file");
    }
    const char* input = argv[2];
    const char* output = argv[3];
    int model = 0;
    for (int i = 4; i < argc; ++i) {
        if (display && std::strcmp(argv[i], "--model") == 0 && i + 1 < argc && ParseInt(argv[i + 1], model)) {
            ++i;
            continue;
        }
        return Usage((std::string("unexpected argument ") + argv[i]).c_str());
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(input, bytes, error)) {
        std::fprintf(stderr, "orinimg: cannot read %s: %s\n", input, error.c_str());
        return kExitFailed;
    }
    std::unique_ptr<imaging::Dib> bitmap = imaging::LoadJpeg(bytes.data(), bytes.size());
    if (!bitmap) {
        std::fprintf(stderr, "orinimg: %s is not a usable colour JPEG picture: %s\n", input,
                     g_lastProblem.empty() ? "decoding failed" : g_lastProblem.c_str());
        return kExitFailed;
    }
    if (display) {
        const imaging::CDitherRiemersma transform(model);
        transform.Run(*bitmap);
    }
    if (!bitmap->SaveBmp(output)) {
        std::fprintf(stderr, "orinimg: cannot write %s: %s\n", output,
                     g_lastProblem.empty() ? "write failed" : g_lastProblem.c_str());
        return kExitFailed;
    }
    return 0;
}

int Histogram(int argc, char** argv)
{
    int columns = -1;
    int range = -1;
    const char* binsText = nullptr;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--columns") == 0 && i + 1 < argc) {
            if (!ParseInt(argv[++i], columns) || columns <= 0) {
                return Usage("--columns needs a positive number");
            }
        } else if (std::strcmp(argv[i], "--range") == 0 && i + 1 < argc) {
            if (!ParseInt(argv[++i], range) || range <= 0) {
                return Usage("--range needs a positive number");
            }
        } else if (binsText == nullptr) {
            binsText = argv[i];
        } else {
            return Usage((std::string("unexpected argument ") + argv[i]).c_str());
        }
    }
    if (columns <= 0 || range <= 0 || binsText == nullptr) {
        return Usage("histogram needs --columns, --range and the bins");
    }
    std::vector<int32_t> bins;
    std::string_view rest(binsText);
    while (true) {
        const size_t cut = rest.find(';');
        int value = 0;
        if (!ParseInt(rest.substr(0, cut), value)) {
            return Usage("the bins are integers separated by \";\"");
        }
        bins.push_back(value);
        if (cut == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(cut + 1);
    }
    const std::vector<int32_t> heights = imaging::CHistogramStatic::Resample(bins, columns, range);
    std::string line;
    for (size_t i = 0; i < heights.size(); ++i) {
        line += (i == 0 ? "" : ";") + std::to_string(heights[i]);
    }
    std::printf("%s\n", line.c_str());
    return 0;
}

int Fit(int argc, char** argv)
{
    int layout = -1;
    int width = 0;
    int height = 0;
    bool haveSize = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--layout") == 0 && i + 1 < argc) {
            if (!ParseInt(argv[++i], layout) || layout < 0 || layout > 2) {
                return Usage("--layout is 0, 1 or 2");
            }
        } else if (!haveSize) {
            const std::string_view size(argv[i]);
            const size_t x = size.find('x');
            if (x == std::string_view::npos || !ParseInt(size.substr(0, x), width) ||
                !ParseInt(size.substr(x + 1), height) || width <= 0 || height <= 0) {
                return Usage("the picture size is WIDTHxHEIGHT");
            }
            haveSize = true;
        } else {
            return Usage((std::string("unexpected argument ") + argv[i]).c_str());
        }
    }
    if (layout < 0 || !haveSize) {
        return Usage("fit needs --layout and WIDTHxHEIGHT");
    }
    const imaging::Rect rect = imaging::CJPEGImage::FitRect(layout, width, height);
    std::printf("%d,%d,%d,%d\n", rect.left, rect.top, rect.right, rect.bottom);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    platform::SetLogFunction(KeepProblems);
    if (argc < 2) {
        return Usage("missing command");
    }
    const std::string_view command(argv[1]);
    if (command == "decode") {
        return Decode(argc, argv, false);
    }
    if (command == "display") {
        return Decode(argc, argv, true);
    }
    if (command == "histogram") {
        return Histogram(argc, argv);
    }
    if (command == "fit") {
        return Fit(argc, argv);
    }
    return Usage((std::string("unknown command ") + argv[1]).c_str());
}
