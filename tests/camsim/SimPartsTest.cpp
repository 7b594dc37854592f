// The simulator's pieces on their own: message text both ways, the stream cutter, the disk's
// name rules and mapping, the scenes' histograms and the fault texts.
#include "tools/camsim/SimDisk.h"
#include "tools/camsim/SimFaults.h"
#include "tools/camsim/SimMessage.h"
#include "tools/camsim/SimMessageReader.h"
#include "tools/camsim/SimPictures.h"
#include "tools/camsim/SimSettings.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

#include <jpeglib.h>

namespace fs = std::filesystem;
using namespace camsim;

namespace {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "camsim-test-XXXXXX").string();
        m_path = mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

// Decodes to grey levels (the scenes are grey) with libjpeg directly.
std::map<int, size_t> DecodeHistogram(const std::vector<uint8_t>& jpeg, size_t& pixels)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    std::vector<uint8_t> row(cinfo.output_width * 3);
    std::map<int, size_t> histogram;
    pixels = 0;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW p = row.data();
        jpeg_read_scanlines(&cinfo, &p, 1);
        for (size_t x = 0; x < cinfo.output_width; ++x) {
            ++histogram[row[x * 3 + 1]];
            ++pixels;
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return histogram;
}

}  // namespace

TEST(SimMessage, ParsesHandheldCommandWithAttributesInOrder)
{
    auto message = SimMessage::Parse("^<GetImage file_name=\"./Part1/Folder/Pic0001.mos\" PacketSize=\"1536\" />");
    ASSERT_TRUE(message);
    EXPECT_EQ(message->Name(), "GetImage");
    ASSERT_EQ(message->Attributes().size(), 2u);
    EXPECT_EQ(message->Attributes()[0].name, "file_name");
    EXPECT_EQ(message->Attributes()[1].value, "1536");
}

TEST(SimMessage, TakesVerbatimAmpersandInHandheldValue)
{
    // The handheld escapes nothing; a folder named "A&B" must still be understood.
    auto message = SimMessage::Parse("^<GetImage file_name=\"./A&B/Pic0001.mos\" />");
    ASSERT_TRUE(message);
    EXPECT_EQ(*message->Find("file_name"), "./A&B/Pic0001.mos");
}

TEST(SimMessage, HandheldUtf8NameIsReadAsTheNameTheCameraListed)
{
    // The handheld writes its wide texts as UTF-8: a picture in a folder with an umlaut must
    // come back under the very bytes the camera listed it with.
    const std::string name = "./Part1/F\xC3\xBCr Anna/Caf\xC3\xA9.mos";
    auto message = SimMessage::Parse("^<GetImage file_name=\"" + name + "\" PacketSize=\"1536\" />");
    ASSERT_TRUE(message);
    EXPECT_EQ(*message->Find("file_name"), name);
    SimMessage listed("PictureTaken");
    listed.Add("file_name", name);
    auto back = SimMessage::Parse(listed.ToWire());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back->Find("file_name"), name);
    // A byte that is not UTF-8 does not make the command unreadable.
    auto latin = SimMessage::Parse("^<GetImage file_name=\"./P/F/\xFC.mos\" />");
    ASSERT_TRUE(latin);
    EXPECT_EQ(*latin->Find("file_name"), "./P/F/\xFC.mos");
}

TEST(SimMessage, RejectsElementThatIsNotSelfClosing)
{
    EXPECT_FALSE(SimMessage::Parse("^<Ack>"));
    EXPECT_FALSE(SimMessage::Parse("^<Ack <x/>"));
}

TEST(SimMessage, StartsAtLastCaret)
{
    auto message = SimMessage::Parse("^^<Ack />");
    ASSERT_TRUE(message);
    EXPECT_EQ(message->Name(), "Ack");
}

TEST(SimMessage, WireFormEscapesCharactersThatWouldEndOrRestartAMessage)
{
    SimMessage message("PictureTaken");
    message.Add("file_name", "./a>b^\"c&.mos");
    EXPECT_EQ(message.ToWire(), "^<PictureTaken file_name=\"./a&gt;b&#94;&quot;c&amp;.mos\" />");
    auto back = SimMessage::Parse(message.ToWire());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back->Find("file_name"), "./a>b^\"c&.mos");
}

TEST(SimMessage, BareAckWireForm)
{
    EXPECT_EQ(SimMessage("Ack").ToWire(), "^<Ack />");
}

TEST(SimMessageReader, DropsNoiseBeforeCaretAndDeliversSplitMessage)
{
    SimMessageReader reader;
    std::string part1 = "xx\r\n^<ReSync";
    std::string part2 = "Request />^<Ack />";
    reader.Feed(reinterpret_cast<const uint8_t*>(part1.data()), part1.size());
    EXPECT_FALSE(reader.Next());
    reader.Feed(reinterpret_cast<const uint8_t*>(part2.data()), part2.size());
    EXPECT_EQ(reader.Next().value_or(""), "^<ReSyncRequest />");
    EXPECT_EQ(reader.Next().value_or(""), "^<Ack />");
    EXPECT_FALSE(reader.Next());
    EXPECT_EQ(reader.Discarded(), 4u);
}

TEST(SimMessageReader, EndlessMessageWithoutCloseIsBounded)
{
    SimMessageReader reader;
    std::string noise = "^<";
    noise += std::string(SimMessageReader::kMaxMessage + 10, 'a');
    reader.Feed(reinterpret_cast<const uint8_t*>(noise.data()), noise.size());
    EXPECT_FALSE(reader.Next());
    EXPECT_LE(reader.Buffered(), SimMessageReader::kMaxMessage);
    std::string good = "^<Ack />";
    reader.Feed(reinterpret_cast<const uint8_t*>(good.data()), good.size());
    EXPECT_EQ(reader.Next().value_or(""), "^<Ack />");
}

TEST(SimDisk, RefusesNamesThatLeaveTheDisk)
{
    EXPECT_FALSE(SimDisk::IsSafeName("./../etc/passwd"));
    EXPECT_FALSE(SimDisk::IsSafeName("./Part1/../../x.mos"));
    EXPECT_FALSE(SimDisk::IsSafeName("./Part1/./x.mos"));
    EXPECT_FALSE(SimDisk::IsSafeName("./Part1//x.mos"));
    EXPECT_FALSE(SimDisk::IsSafeName("./Part1\\x.mos"));
    EXPECT_FALSE(SimDisk::IsSafeName("/etc/passwd"));
    EXPECT_FALSE(SimDisk::IsSafeName("Part1/x.mos"));
    EXPECT_TRUE(SimDisk::IsSafeName("./Part1/Folder/"));
    EXPECT_TRUE(SimDisk::IsSafeName("./Orin DM A/Pic0001.mos"));
}

TEST(SimDisk, LinkInsideDiskLeadingOutIsRefused)
{
    TempDir outside;
    TempDir root;
    fs::create_directories(root.Path() / "Part1");
    fs::create_symlink(outside.Path(), root.Path() / "Part1" / "Out");
    std::ofstream(outside.Path() / "Secret.jpg") << "not a picture";
    SimDisk disk;
    ASSERT_TRUE(disk.Open(root.Path()));
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_FALSE(disk.ReadPreview("./Part1/Out/Secret.mos", bytes, error));
    EXPECT_TRUE(bytes.empty());
}

TEST(SimDisk, RawFileNameServesTheJpegPreview)
{
    TempDir root;
    SimDisk disk;
    ASSERT_TRUE(disk.Open(root.Path()));
    std::vector<uint8_t> jpeg = SimPictures::Jpeg(SimScene::Bands, 64, 16);
    EXPECT_EQ(disk.AddPicture("./Part1/Folder/", jpeg), "./Part1/Folder/Pic0001.mos");
    EXPECT_EQ(disk.AddPicture("./Part1/Folder/", jpeg), "./Part1/Folder/Pic0002.mos");
    EXPECT_TRUE(fs::is_regular_file(root.Path() / "Part1" / "Folder" / "Pic0002.jpg"));
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(disk.ReadPreview("./Part1/Folder/Pic0002.mos", bytes, error));
    EXPECT_EQ(bytes, jpeg);
    ASSERT_TRUE(disk.ReadPreview("./Part1/Folder/Pic0002.jpg", bytes, error));
    EXPECT_FALSE(disk.ReadPreview("./Part1/Folder/Pic0003.mos", bytes, error));
}

TEST(SimDisk, ListingShowsFoldersThenPicturesUnderCameraNames)
{
    TempDir root;
    SimDisk disk;
    ASSERT_TRUE(disk.CreateDemo(root.Path(), 10));
    EXPECT_EQ(disk.Partitions(), (std::vector<std::string>{"./Part1/", "./Part2/"}));
    std::vector<SimDiskEntry> entries;
    ASSERT_TRUE(disk.List("./Part1/Folder/", entries));
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "Sub/");
    EXPECT_TRUE(entries[0].isFolder);
    EXPECT_EQ(entries[1].name, "Pic0001.mos");
    EXPECT_GT(entries[1].size, 0u);
}

TEST(SimPictures, FlatScenesDecodeToTheirExpectedHistogram)
{
    for (SimScene scene : {SimScene::Bands, SimScene::ClippedHighlights, SimScene::ClippedShadows,
                           SimScene::ClippedBoth}) {
        std::vector<uint8_t> jpeg = SimPictures::Jpeg(scene, 320, 240);
        ASSERT_FALSE(jpeg.empty());
        size_t pixels = 0;
        std::map<int, size_t> histogram = DecodeHistogram(jpeg, pixels);
        ASSERT_EQ(pixels, 320u * 240u);
        for (const SimLevel& level : SimPictures::ExpectedLevels(scene)) {
            double share = static_cast<double>(histogram[level.level]) / static_cast<double>(pixels);
            EXPECT_NEAR(share, level.fraction, 0.01) << SimPictures::SceneName(scene) << " level "
                                                     << int(level.level);
        }
    }
}

TEST(SimPictures, ClippedHighlightsHaveAQuarterPureWhite)
{
    std::vector<SimLevel> levels = SimPictures::ExpectedLevels(SimScene::ClippedHighlights);
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[1].level, 255);
    EXPECT_DOUBLE_EQ(levels[1].fraction, 0.25);
}

TEST(SimPictures, SizedNoisePictureReachesTheAskedSize)
{
    std::vector<uint8_t> jpeg = SimPictures::JpegOfSize(200 * 1024);
    EXPECT_GE(jpeg.size(), 200u * 1024u);
    EXPECT_LT(jpeg.size(), 300u * 1024u);
    ASSERT_GE(jpeg.size(), 4u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
}

TEST(SimFaults, ParsesBothSpellingsAndTakesEachOccasionOnce)
{
    std::string error;
    auto a = SimFaults::Parse("error code=5 cmd=GetImage count=2", error);
    ASSERT_TRUE(a) << error;
    auto b = SimFaults::Parse("short:bytes=10", error);
    ASSERT_TRUE(b) << error;
    EXPECT_EQ(b->bytes, 10);
    EXPECT_FALSE(SimFaults::Parse("explode", error));
    EXPECT_FALSE(SimFaults::Parse("delay ms=abc", error));

    SimFaults faults;
    faults.Arm(*a);
    EXPECT_FALSE(faults.Take(SimFaultKind::Error, "RequestSync"));
    EXPECT_EQ(faults.Take(SimFaultKind::Error, "GetImage")->code, "5");
    EXPECT_TRUE(faults.Take(SimFaultKind::Error, "GetImage"));
    EXPECT_FALSE(faults.Take(SimFaultKind::Error, "GetImage"));
}

TEST(SimSettings, ShootingFolderComesFromTheDefaultSetup)
{
    SimSettings settings;
    EXPECT_EQ(settings.ShootingFolder(), "./Part1/Folder/");
    settings.Set("DefaultShootSetup", "Outdoor");
    EXPECT_EQ(settings.ShootingFolder(), "./Part1/Studio/");
    settings.Set("CurrentTime", "2026:12:07:10:00:00");
    bool inSync = false;
    for (const auto& [name, value] : settings.SyncAttributes()) {
        inSync = inSync || name == "CurrentTime";
    }
    EXPECT_FALSE(inSync);
    EXPECT_EQ(settings.Get("currenttime").value_or(""), "2026:12:07:10:00:00");
}
