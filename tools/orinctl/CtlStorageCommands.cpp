#include "tools/orinctl/CtlStorageCommands.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include "app/link/ProtocolLayer.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"
#include "app/storage/Cache.h"
#include "tools/orinctl/CtlCommands.h"
#include "tools/orinctl/CtlSession.h"

namespace fs = std::filesystem;

namespace {

const char16_t* const kNotFound = u"Filename not found.";

void PrintError(const std::string& text)
{
    std::fprintf(stderr, "orinctl: %s\n", text.c_str());
    std::fflush(stderr);
}

// Camera names as the user types them: "Part1/Folder/x.mos" is taken as "./Part1/Folder/x.mos".
std::u16string CameraName(const std::string& text)
{
    if (text == "." || text.rfind("./", 0) == 0) {
        return platform::FromUtf8(text);
    }
    return u"./" + platform::FromUtf8(text);
}

const char* YesNo(bool flag)
{
    return flag ? "Yes" : "No";
}

}  // namespace

CtlStorageCommands::CtlStorageCommands(CtlSession& session) : m_session(session) {}

CtlStorageCommands::~CtlStorageCommands() = default;

bool CtlStorageCommands::Knows(const std::string& command)
{
    for (const char* known : {"ls", "props", "mark", "annotate", "mv", "cp", "rm", "mkdir", "recover", "qformat", "get"}) {
        if (command == known) {
            return true;
        }
    }
    return false;
}

bool CtlStorageCommands::CheckArguments(const std::string& command, const std::vector<std::string>& args,
                                        std::string& usage)
{
    size_t wanted = 1;
    if (command == "mark" || command == "annotate" || command == "mv" || command == "cp") {
        wanted = 2;
    }
    if (command == "get") {
        const bool plain = args.size() == 1;
        const bool withOut = args.size() == 3 && args[1] == "-o";
        if (!plain && !withOut) {
            usage = "get FILE [-o OUT]";
            return false;
        }
        return true;
    }
    if (args.size() != wanted) {
        static const std::pair<const char*, const char*> kUsage[] = {
            {"ls", "ls FOLDER"},       {"props", "props FILE"},     {"mark", "mark FILE good|nogood|unmarked"},
            {"annotate", "annotate FILE TEXT"}, {"mv", "mv SRC DST"}, {"cp", "cp SRC DST"},
            {"rm", "rm PATH"},         {"mkdir", "mkdir PATH"},     {"recover", "recover PARTITION"},
            {"qformat", "qformat PARTITION"}};
        for (const auto& [name, text] : kUsage) {
            if (command == name) {
                usage = text;
            }
        }
        return false;
    }
    if (command == "mark" && args[1] != "good" && args[1] != "nogood" && args[1] != "unmarked") {
        usage = "mark FILE good|nogood|unmarked";
        return false;
    }
    return true;
}

bool CtlStorageCommands::OpenModel()
{
    ORIN_TRACE("CtlStorageCommands::OpenModel");
    if (m_pCache) {
        return true;
    }
    m_pCache = std::make_unique<CCache>(&m_session.Layer());
    if (!m_pCache->Init(u"./")) {
        m_pCache.reset();
        return false;
    }
    return true;
}

int CtlStorageCommands::Refused(const std::string& what, const std::u16string& text)
{
    CProtocolLayer& layer = m_session.Layer();
    if (!layer.IsOnline() || !layer.IsInSync()) {
        PrintError(what + ": " + (layer.IsOnline() ? "no answer from the camera" : "the link to the camera was lost"));
        return CTL_NO_LINK;
    }
    PrintError(what.empty() ? platform::ToUtf8(text) : what + ": " + platform::ToUtf8(text));
    return CTL_REFUSED;
}

int CtlStorageCommands::Run(const std::string& command, const std::vector<std::string>& args)
{
    ORIN_TRACE("CtlStorageCommands::Run");
    if (!OpenModel()) {
        return Refused("the camera's disk", u"cannot be listed");
    }
    if (command == "ls") {
        return Ls(args[0]);
    }
    if (command == "props") {
        return Props(args[0]);
    }
    if (command == "mark") {
        return Mark(args[0], args[1]);
    }
    if (command == "annotate") {
        return Annotate(args[0], args[1]);
    }
    if (command == "get") {
        return Get(args[0], args.size() == 3 ? args[2] : std::string());
    }
    std::u16string error;
    bool done = false;
    if (command == "mv") {
        done = m_pCache->Move(CameraName(args[0]), CameraName(args[1]), error);
    } else if (command == "cp") {
        done = m_pCache->Copy(CameraName(args[0]), CameraName(args[1]), error);
    } else if (command == "rm") {
        done = m_pCache->Delete(CameraName(args[0]), error);
        if (!done && error.empty()) {
            error = u"The root of the disk cannot be deleted.";
        }
    } else if (command == "mkdir") {
        done = m_pCache->MakeDir(CameraName(args[0]), error);
        if (error == u" already exists.") {
            error = platform::FromUtf8(args[0]) + error;  // the text reads on from the name
        }
    } else if (command == "recover") {
        done = m_pCache->Recover(CameraName(args[0]), error);
    } else if (command == "qformat") {
        done = m_pCache->QuickFormat(CameraName(args[0]), error);
    }
    if (done) {
        return CTL_OK;
    }
    return Refused(command == "mkdir" && error.find(u" already exists.") != std::u16string::npos ? std::string() : args[0],
                   error);
}

int CtlStorageCommands::Ls(const std::string& folder)
{
    ORIN_TRACE("CtlStorageCommands::Ls");
    const std::u16string name = CameraName(folder);
    CDOSObject* node = m_pCache->Find(name, true, false);
    if (node == nullptr || !node->IsDirectory()) {
        return Refused(folder, node == nullptr ? u"File or directory not found." : u"Directory file expected.");
    }
    std::u16string listing;
    m_pCache->GetFolderListing(name, listing);
    size_t start = 0;
    while (start < listing.size()) {
        const size_t end = listing.find(u';', start);
        std::printf("%s\n", platform::ToUtf8(listing.substr(start, end - start)).c_str());
        start = end == std::u16string::npos ? listing.size() : end + 1;
    }
    std::fflush(stdout);
    return CTL_OK;
}

int CtlStorageCommands::Props(const std::string& file)
{
    ORIN_TRACE("CtlStorageCommands::Props");
    const std::u16string name = CameraName(file);
    CPictureProperties p;
    const int result = m_pCache->GetPictureProperties(name, p);
    if (result == -1) {
        return Refused(file, kNotFound);
    }
    if (result == CDOSFile::PROPERTIES_NOT_SAVED) {
        return Refused(file, u"The picture is not saved on the camera.");
    }
    if (result != CDOSFile::PROPERTIES_FETCHED) {
        return Refused(file, u"The camera did not give the picture's properties.");
    }
    static const char* const kNewPicture[] = {"Yes", "Process", "No"};
    static const char* const kOrientation[] = {"Portrait CCW", "Portrait CW", "Landscape"};
    static const char* const kColor[] = {"color", "BW"};
    auto text = [](const std::u16string& value) { return platform::ToUtf8(value); };
    std::string stamp;
    if (CDOSObject* node = m_pCache->FindInTree(name)) {
        stamp = text(node->GetTimeStamp());
    }
    std::printf("histogramLocation=%d\naverageLocation=%d\nHwhiteLoc=%d\nHdarkLoc=%d\n", p.m_lHistogramLocation,
                p.m_lAverageLocation, p.m_lWhiteLocation, p.m_lDarkLocation);
    std::printf("frame=%s\nToning=%s\nLight=%s\nfstop=%s\nhistogramValue=%s\nHistogram=%s\n", text(p.m_strFrame).c_str(),
                text(p.m_strToning).c_str(), text(p.m_strLight).c_str(), text(p.m_strFstop).c_str(),
                text(p.m_strHistogramValue).c_str(), text(p.m_strHistogram).c_str());
    std::printf("Hwhite=%s\nHdark=%s\nAverage=%s\ntext=%s\n", text(p.m_strWhiteValue).c_str(),
                text(p.m_strDarkValue).c_str(), text(p.m_strAverage).c_str(), text(p.m_strAnnotation).c_str());
    std::printf("NewPicture=%s\nOrientation=%s\nMarking=%s\nColor=%s\n",
                p.m_nNewPicture >= 0 && p.m_nNewPicture <= 2 ? kNewPicture[p.m_nNewPicture] : "",
                p.m_nOrientation >= 0 && p.m_nOrientation <= 2 ? kOrientation[p.m_nOrientation] : "",
                platform::ToUtf8(MarkName(p.m_nMark)).c_str(), p.m_nColor >= 0 && p.m_nColor <= 1 ? kColor[p.m_nColor] : "");
    std::printf("Date=%s\nzoom=%s\nalarm_white=%s\nalarm_dark=%s\n", stamp.c_str(), YesNo(p.m_bZoom),
                YesNo(p.m_bAlarmWhite), YesNo(p.m_bAlarmDark));
    std::fflush(stdout);
    return CTL_OK;
}

int CtlStorageCommands::Mark(const std::string& file, const std::string& mark)
{
    ORIN_TRACE("CtlStorageCommands::Mark");
    const int32_t value = mark == "good" ? MARK_GOOD : mark == "nogood" ? MARK_NOGOOD : MARK_UNMARKED;
    const std::u16string name = CameraName(file);
    if (m_pCache->FindInTree(name) == nullptr && m_pCache->Find(name, false, false) == nullptr) {
        return Refused(file, kNotFound);
    }
    if (!m_pCache->SetMarking(value, name)) {
        const std::u16string error = m_pCache->GetLastErrorText();
        return Refused(file, error.empty() ? std::u16string(kNotFound) : error);
    }
    return CTL_OK;
}

int CtlStorageCommands::Annotate(const std::string& file, const std::string& text)
{
    ORIN_TRACE("CtlStorageCommands::Annotate");
    const std::u16string name = CameraName(file);
    // The wire carries the text inside double quotes, unescaped: a quote or ">" would end it.
    if (text.find_first_of("\"<>") != std::string::npos) {
        PrintError("an annotation may not contain \" < or >");
        return CTL_USAGE;
    }
    if (m_pCache->Find(name, false, false) == nullptr) {
        return Refused(file, kNotFound);
    }
    if (!m_pCache->SetAnnotation(platform::FromUtf8(text), name)) {
        const std::u16string error = m_pCache->GetLastErrorText();
        return Refused(file, error.empty() ? std::u16string(kNotFound) : error);
    }
    return CTL_OK;
}

int CtlStorageCommands::Get(const std::string& file, const std::string& outPath)
{
    ORIN_TRACE("CtlStorageCommands::Get");
    const std::u16string name = CameraName(file);
    CDOSObject* node = m_pCache->Find(name, false, false);
    if (node == nullptr || !node->IsFile()) {
        return Refused(file, kNotFound);
    }
    m_session.ShowProgress(true);
    const bool cached = m_pCache->CachePicture(name, false);
    m_session.ShowProgress(false);
    if (!cached) {
        return Refused(file, u"No image was received from the camera.");
    }
    fs::path preview;
    bool exists = false;
    if (!m_pCache->GetLocalPreview(name, preview, exists) || !exists) {
        return Refused(file, u"The preview could not be kept in the local cache.");
    }
    std::ifstream in(preview, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (outPath == "-") {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
            PrintError("cannot write the picture to stdout");
            return CTL_NO_LINK;
        }
        return CTL_OK;
    }
    fs::path target = outPath;
    if (target.empty()) {
        const size_t slash = file.rfind('/');
        target = file.substr(slash == std::string::npos ? 0 : slash + 1);
        target.replace_extension(".jpg");
    }
    std::string error;
    if (!CtlCommands::WriteFileAtomically(target, bytes, error)) {
        PrintError(error);
        return CTL_NO_LINK;
    }
    return CTL_OK;
}
