// The storage model's tree, listings and local previews, without a camera.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/platform/Registry.h"
#include "app/storage/Cache.h"
#include "app/storage/DiskCacheOp.h"
#include "app/storage/ObjectNames.h"
#include "app/storage/WideText.h"
#include "tests/storage/StorageTestHelpers.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using namespace storagetest;
namespace dco = storage::DiskCacheOp;

namespace {

class CacheTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dco::EnsureCacheRoot());
        m_root = dco::CacheRoot();
    }
    CDOSDirectory* Folder(std::u16string_view name)
    {
        CDOSObject* node = m_cache.FindInTree(name);
        return node != nullptr && node->IsDirectory() ? static_cast<CDOSDirectory*>(node) : nullptr;
    }
    CDOSFile* File(std::u16string_view name)
    {
        CDOSObject* node = m_cache.FindInTree(name);
        return node != nullptr && node->IsFile() ? static_cast<CDOSFile*>(node) : nullptr;
    }
    // Marks every folder on the way as listed, as a camera listing would have.
    void MarkListed(std::u16string_view fullName)
    {
        std::u16string prefix;
        for (const std::u16string& part : storage::SplitComponents(fullName)) {
            prefix += part + u"/";
            if (CDOSDirectory* folder = Folder(prefix)) {
                folder->SetCached(true);
            }
        }
    }

    testsupport::TempHome m_home;
    testsupport::LogCapture m_log;
    CCache m_cache{nullptr};
    fs::path m_root;
};

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace

TEST_F(CacheTreeTest, AddCreatesMissingFoldersAndNamesNodesFromTheRoot)
{
    CDOSObject* node = nullptr;
    ASSERT_TRUE(m_cache.Add(u"./Part1/Folder/Pic0001.mos", true, &node));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetFullName(), u"./Part1/Folder/Pic0001.mos");
    ASSERT_NE(Folder(u"./Part1/Folder"), nullptr);
    EXPECT_EQ(Folder(u"./Part1/Folder")->GetFullName(), u"./Part1/Folder/");
    EXPECT_TRUE(fs::is_directory(m_root / "Part1/Folder")) << "each new folder gets its local folder";
    EXPECT_EQ(m_cache.GetPartitionCount(), 1);

    CDOSObject* again = nullptr;
    ASSERT_TRUE(m_cache.Add(u"./Part1/Folder/Pic0001.mos", true, &again));
    EXPECT_EQ(again, node);
    EXPECT_TRUE(m_log.Contains(2, "CCache::Add()  The node already exists: ./Part1/Folder/Pic0001.mos"));
    EXPECT_EQ(Folder(u"./Part1/Folder/")->Children().size(), 1u) << "no namesake";
}

TEST_F(CacheTreeTest, AddRefusesNamesThatCouldLeaveTheCache)
{
    EXPECT_FALSE(m_cache.Add(u"./P/../../evil.mos", true));
    EXPECT_FALSE(m_cache.Add(u"./P/a:b.mos", true));
    EXPECT_FALSE(m_cache.Add(u"P/x.mos", true));
    EXPECT_FALSE(m_cache.Add(u"", true));
    EXPECT_TRUE(m_log.Contains(1, "CCache::Add()invalid name NULL"));
    EXPECT_EQ(m_cache.FindInTree(u"./P/"), nullptr);
}

TEST_F(CacheTreeTest, FindAcceptsRootFormsAndRejectsNamesOutsideTheRoot)
{
    ASSERT_TRUE(m_cache.Add(u"./P/x.mos", true));
    MarkListed(u"./P/");
    EXPECT_EQ(m_cache.Find(u"./", false, false)->GetFullName(), u"./");
    EXPECT_EQ(m_cache.Find(u".", false, false)->GetFullName(), u"./");
    EXPECT_EQ(m_cache.Find(u"", false, false), nullptr);
    EXPECT_EQ(m_cache.Find(u"P/x.mos", false, false), nullptr);
    EXPECT_NE(m_cache.Find(u"./P", false, false), nullptr) << "a folder may be named without its slash";
    EXPECT_NE(m_cache.Find(u".//P//x.mos", false, false), nullptr);
    EXPECT_EQ(m_cache.Find(u"./P/x.mos/y", false, false), nullptr) << "nothing lies below a file";
}

TEST_F(CacheTreeTest, LookupThroughAnUnlistedFolderFailsWithoutACamera)
{
    ASSERT_TRUE(m_cache.Add(u"./P/F/x.mos", true));
    EXPECT_EQ(m_cache.Find(u"./P/F/x.mos", false, false), nullptr);
    MarkListed(u"./P/F/");
    EXPECT_NE(m_cache.Find(u"./P/F/x.mos", false, false), nullptr);
}

TEST_F(CacheTreeTest, ListingCreatesFoldersWithStampsAndFilesWithCreationTime)
{
    ASSERT_TRUE(m_cache.Add(u"./P/", false));
    CDOSDirectory* folder = Folder(u"./P/");
    ASSERT_TRUE(folder->AddChilds(nullptr, u"D-A,2005:01:02:03:04:05;F-x.mos", u"./P/"));
    ASSERT_NE(Folder(u"./P/A/"), nullptr);
    EXPECT_EQ(Folder(u"./P/A/")->GetTimeStamp(), u"2005:01:02:03:04:05");
    ASSERT_NE(File(u"./P/x.mos"), nullptr);
    storage::TimeFields fields{};
    EXPECT_EQ(storage::ParseTimeStamp(File(u"./P/x.mos")->GetTimeStamp(), fields), 6);
    EXPECT_TRUE(fs::is_directory(m_root / "P/A"));
}

TEST_F(CacheTreeTest, HostileListingItemsAreSkippedAndTheRestIsKept)
{
    ASSERT_TRUE(m_cache.Add(u"./P/", false));
    CDOSDirectory* folder = Folder(u"./P/");
    ASSERT_TRUE(folder->AddChilds(nullptr, u"D-.;D-..;F-a*b;F-..;D-a/b;F-;F-c|d.mos;F-ok.mos;D-Sub", u"./P/"));
    EXPECT_EQ(folder->Children().size(), 2u);
    EXPECT_NE(File(u"./P/ok.mos"), nullptr);
    EXPECT_NE(Folder(u"./P/Sub/"), nullptr);
    EXPECT_TRUE(m_log.Contains(1, "The directory name conteins unsupported symbols"));
    EXPECT_FALSE(fs::exists(m_home.Path() / "Last Orin Captures" / ".." / ".." / "b"));
}

TEST_F(CacheTreeTest, MalformedListingItemStopsTheListingButKeepsEarlierItems)
{
    ASSERT_TRUE(m_cache.Add(u"./P/", false));
    CDOSDirectory* folder = Folder(u"./P/");
    EXPECT_FALSE(folder->AddChilds(nullptr, u"F-a.mos;Dx;F-b.mos", u"./P/"));
    EXPECT_TRUE(m_log.Contains(1, "incorrect description of storage item"));
    EXPECT_NE(File(u"./P/a.mos"), nullptr);
    EXPECT_EQ(File(u"./P/b.mos"), nullptr);
}

TEST_F(CacheTreeTest, RelistingReusesChildrenAndKeepsUnlistedOnes)
{
    ASSERT_TRUE(m_cache.Add(u"./P/", false));
    CDOSDirectory* folder = Folder(u"./P/");
    ASSERT_TRUE(folder->AddChilds(nullptr, u"F-a.mos;F-b.mos", u"./P/"));
    CDOSObject* a = File(u"./P/a.mos");
    ASSERT_TRUE(folder->AddChilds(nullptr, u"F-a.mos,2006:01:01:00:00:00", u"./P/"));
    EXPECT_EQ(File(u"./P/a.mos"), a);
    EXPECT_EQ(a->GetTimeStamp(), u"2006:01:01:00:00:00");
    EXPECT_NE(File(u"./P/b.mos"), nullptr);
}

TEST_F(CacheTreeTest, ListingReconcilesTheLocalFolderBeforeAddingChildren)
{
    ASSERT_TRUE(m_cache.Add(u"./P/", false));
    WriteFile(m_root / "P/gone.jpg", "x");
    WriteFile(m_root / "P/a.jpg", "x");
    ASSERT_TRUE(dco::StampFile(m_root / "P/a.jpg", u"2005:01:01:00:00:00"));
    ASSERT_TRUE(Folder(u"./P/")->AddChilds(nullptr, u"F-a.mos,2005:01:01:00:00:30", u"./P/"));
    EXPECT_FALSE(Exists(m_root / "P/gone.jpg"));
    EXPECT_TRUE(Exists(m_root / "P/a.jpg"));
}

TEST_F(CacheTreeTest, FolderListingIsSortedAndEmptyFoldersReportFalse)
{
    ASSERT_TRUE(m_cache.Add(u"./P/b.mos", true));
    ASSERT_TRUE(m_cache.Add(u"./P/Sub/", false));
    ASSERT_TRUE(m_cache.Add(u"./P/a.mos", true));
    MarkListed(u"./P/Sub/");
    std::u16string listing;
    ASSERT_TRUE(m_cache.GetFolderListing(u"./P/", listing));
    EXPECT_EQ(listing, u"Sub,d;a.mos,f;b.mos,f;");
    EXPECT_FALSE(m_cache.GetFolderListing(u"./P/Sub/", listing));
    EXPECT_EQ(listing, u"");
    EXPECT_FALSE(m_cache.GetFolderListing(u"./P/a.mos", listing));
}

TEST_F(CacheTreeTest, RemovingTheCurrentFileOrItsFolderForgetsIt)
{
    ASSERT_TRUE(m_cache.Add(u"./P/F/a.mos", true));
    MarkListed(u"./P/F/");
    ASSERT_TRUE(m_cache.SetCurrentFile(u"./P/F/a.mos", false));
    ASSERT_TRUE(m_cache.SetCurrentDirectory(u"./P/F/"));
    std::vector<std::u16string> removed;
    m_cache.SetNodeRemovedHook([&](const std::u16string& name) { removed.push_back(name); });

    ASSERT_TRUE(m_cache.Remove(u"./P/F/a.mos"));
    EXPECT_EQ(m_cache.GetCurrentFile(), nullptr);
    EXPECT_EQ(m_cache.GetCurrentFileName(), u"");
    EXPECT_EQ(m_cache.GetCurrentDirectoryName(), u"./P/F/");
    ASSERT_TRUE(m_cache.Remove(u"./P/"));
    EXPECT_EQ(m_cache.GetCurrentDirectory(), nullptr);
    EXPECT_EQ(removed, (std::vector<std::u16string>{u"./P/F/a.mos", u"./P/"}));
    EXPECT_FALSE(m_cache.Remove(u"./P/"));
}

TEST_F(CacheTreeTest, SetCurrentFileRefusesFoldersAndMissingNames)
{
    ASSERT_TRUE(m_cache.Add(u"./P/a.mos", true));
    MarkListed(u"./P/");
    EXPECT_FALSE(m_cache.SetCurrentFile(u"./P/", false));
    EXPECT_TRUE(m_log.Contains(1, "pDOSObject != NULL: 1"));
    EXPECT_FALSE(m_cache.SetCurrentFile(u"./P/b.mos", false));
    EXPECT_TRUE(m_log.Contains(1, "pDOSObject != NULL: 0"));
    EXPECT_FALSE(m_cache.SetCurrentFile(u"", false));
    EXPECT_TRUE(m_cache.SetCurrentFile(u"./P/a.mos", false));
}

TEST_F(CacheTreeTest, ClearForgetsEverything)
{
    ASSERT_TRUE(m_cache.Add(u"./P/a.mos", true));
    MarkListed(u"./P/");
    ASSERT_TRUE(m_cache.SetCurrentDirectory(u"./P/"));
    m_cache.Clear();
    EXPECT_EQ(m_cache.GetCurrentDirectory(), nullptr);
    EXPECT_EQ(m_cache.FindInTree(u"./"), nullptr);
    EXPECT_EQ(m_cache.GetPartitionCount(), 0);
}

TEST_F(CacheTreeTest, CloneIsADetachedFreshFile)
{
    ASSERT_TRUE(m_cache.Add(u"./P/a.mos", true));
    CDOSFile* file = File(u"./P/a.mos");
    file->Properties().m_nMark = MARK_GOOD;
    std::unique_ptr<CDOSObject> copy = file->Clone();
    EXPECT_EQ(copy->GetParent(), nullptr);
    EXPECT_EQ(copy->GetName(), u"a.mos");
    EXPECT_EQ(static_cast<CDOSFile*>(copy.get())->Properties().m_nMark, MARK_UNMARKED);
    EXPECT_EQ(Folder(u"./P/")->Clone(), nullptr);
    EXPECT_FALSE(file->AddChild(std::move(copy)));
}

TEST_F(CacheTreeTest, ProcessedAndPlainPreviewsReplaceEachOther)
{
    ASSERT_TRUE(m_cache.Add(u"./P/Pic1.mos", true));
    CDOSFile* file = File(u"./P/Pic1.mos");
    file->SetDateTime(u"2005:03:07:14:05:09");
    ASSERT_TRUE(file->SaveLastFile(Bytes("plain"), false, false));
    EXPECT_EQ(ReadFile(m_root / "P/Pic1.jpg"), "plain");
    storage::TimeFields fields{};
    ASSERT_TRUE(dco::ReadFileStamp(m_root / "P/Pic1.jpg", fields));
    EXPECT_EQ(fields, (storage::TimeFields{2005, 3, 7, 14, 5, 9})) << "the camera's time, unchanged";

    ASSERT_TRUE(file->SaveLastFile(Bytes("zoomed"), true, false));
    EXPECT_EQ(ReadFile(m_root / "P/~Pic1.jpg"), "zoomed");
    EXPECT_FALSE(Exists(m_root / "P/Pic1.jpg"));

    ASSERT_TRUE(file->SaveLastFile(Bytes("plain again"), false, false));
    EXPECT_EQ(ReadFile(m_root / "P/Pic1.jpg"), "plain again");
    EXPECT_FALSE(Exists(m_root / "P/~Pic1.jpg"));
}

TEST_F(CacheTreeTest, FailedSaveLeavesNoFileKeepsTheOtherPreviewAndReportsFailure)
{
    ASSERT_TRUE(m_cache.Add(u"./P/Pic1.mos", true));
    CDOSFile* file = File(u"./P/Pic1.mos");
    ASSERT_TRUE(file->SaveLastFile(Bytes("plain"), false, false));
    fs::create_directories(m_root / "P/~Pic1.jpg.part");
    std::vector<fs::path> remembered;
    m_cache.SetLastPictureHook([&](const fs::path& path) { remembered.push_back(path); });

    EXPECT_FALSE(file->SaveLastFile(Bytes("zoomed"), true, true));
    EXPECT_FALSE(Exists(m_root / "P/~Pic1.jpg"));
    EXPECT_EQ(ReadFile(m_root / "P/Pic1.jpg"), "plain");
    EXPECT_TRUE(remembered.empty()) << "a failed save is never the last decoded picture";
    EXPECT_TRUE(m_log.Contains(1, "Failed to create a file to save"));
    EXPECT_FALSE(m_log.Contains("Failed to save received file")) << "nothing was written, so no write failed";

    fs::remove(m_root / "P/~Pic1.jpg.part");
    EXPECT_TRUE(file->SaveLastFile(Bytes("zoomed"), true, true));
    EXPECT_EQ(remembered, (std::vector<fs::path>{m_root / "P/~Pic1.jpg"}));
}

TEST_F(CacheTreeTest, SavingAPreviewMakesRoomOnAFullVolume)
{
    ASSERT_TRUE(m_cache.Add(u"./P/Pic1.mos", true));
    for (int i = 0; i < 10; ++i) {
        const fs::path old = m_root / "Old" / ("Pic" + std::to_string(i) + ".jpg");
        WriteFile(old, std::string(1024, 'x'));
        ASSERT_TRUE(dco::StampFile(old, storage::FromUtf8("2001:01:1" + std::to_string(i) + ":00:00:00")));
    }
    FillingVolume volume(100 * 1024, 75 * 1024);  // 85 % with the old previews
    m_cache.SetVolumeMeter(&volume);
    ASSERT_TRUE(File(u"./P/Pic1.mos")->SaveLastFile(Bytes(std::string(1024, 'n')), false, false));
    int left = 0;
    for (int i = 0; i < 10; ++i) {
        left += Exists(m_root / "Old" / ("Pic" + std::to_string(i) + ".jpg")) ? 1 : 0;
    }
    EXPECT_EQ(left, 0) << "75 % before the previews, so all go down towards 70 %";
    EXPECT_TRUE(Exists(m_root / "P/Pic1.jpg"));
}

TEST_F(CacheTreeTest, InvalidFreeSpaceBoundIsLoggedLikeEveryOtherRegistryValue)
{
    platform::Registry registry = platform::DefaultRegistry();
    ASSERT_TRUE(registry.WriteDword(platform::RegistryRoot::LocalMachine, platform::kOrinRootKey, "DiskMaxSpace", 120));
    ASSERT_TRUE(m_cache.Add(u"./P/Pic1.mos", true));
    ASSERT_TRUE(File(u"./P/Pic1.mos")->SaveLastFile(Bytes("plain"), false, false));
    EXPECT_TRUE(m_log.Contains(2, "Invalid entry found: Software\\Vantor\\Orin KX-20\\DiskMaxSpace: 120!"));
}

TEST_F(CacheTreeTest, AFolderThatCannotBeCreatedIsLoggedOnce)
{
    auto count = [this](const std::string& text) {
        int n = 0;
        for (const testsupport::LogLine& line : m_log.Lines()) {
            n += line.message.find(text) != std::string::npos ? 1 : 0;
        }
        return n;
    };
    ASSERT_TRUE(m_cache.Add(u"./P/Pic1.mos", true));
    fs::remove_all(m_root / "P");
    WriteFile(m_root / "P", "a file where the folder should be");
    m_log.Clear();
    EXPECT_FALSE(File(u"./P/Pic1.mos")->SaveLastFile(Bytes("plain"), false, false));
    EXPECT_EQ(count("Can't create Last Orin Captures directory"), 1);

    fs::remove_all(m_root);
    WriteFile(m_root, "a file where the cache root should be");
    m_log.Clear();
    CCache fresh(nullptr);
    EXPECT_FALSE(fresh.Init(u"./P/"));
    EXPECT_EQ(count("Can't create Last Orin Captures directory"), 1);
}

TEST_F(CacheTreeTest, IsCachedFollowsThePreviewFileAndSetCachedFalseDeletesIt)
{
    ASSERT_TRUE(m_cache.Add(u"./P/Pic1.mos", true));
    CDOSFile* file = File(u"./P/Pic1.mos");
    EXPECT_FALSE(file->IsCached());
    ASSERT_TRUE(file->SaveLastFile(Bytes("plain"), false, false));
    EXPECT_TRUE(file->IsCached());
    file->SetProcessedView(true);
    EXPECT_FALSE(file->IsCached()) << "the processed preview is the one to use now";
    file->SetProcessedView(false);
    file->SetCached(false);
    EXPECT_FALSE(Exists(m_root / "P/Pic1.jpg"));
}

TEST_F(CacheTreeTest, SetCachedFalseLeavesNoPreviewOfEitherKind)
{
    ASSERT_TRUE(m_cache.Add(u"./P/Pic1.mos", true));
    CDOSFile* file = File(u"./P/Pic1.mos");
    ASSERT_TRUE(file->SaveLastFile(Bytes("old picture"), false, false));
    // The camera reports the picture zoomed before any processed preview came: the flag says
    // processed while the plain file is the one on disk.
    file->Properties().ApplyAttribute(u"zoom", u"Yes");
    file->SetProcessedView(true);
    file->SetCached(false);
    EXPECT_FALSE(Exists(m_root / "P/Pic1.jpg")) << "a later picture of that name would show it";
    EXPECT_FALSE(Exists(m_root / "P/~Pic1.jpg"));
}

TEST_F(CacheTreeTest, PropertiesWithoutACameraFailAndKeepTheirInitialValues)
{
    ASSERT_TRUE(m_cache.Add(u"./P/Pic1.mos", true));
    CPictureProperties* record = nullptr;
    EXPECT_EQ(File(u"./P/Pic1.mos")->GetProperties(nullptr, record), CDOSFile::PROPERTIES_FAILED);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_lHistogramLocation, -1);
    EXPECT_EQ(record->m_nNewPicture, NEW_PICTURE_NO);
    EXPECT_EQ(record->m_nOrientation, ORIENTATION_LANDSCAPE);
    EXPECT_FALSE(record->m_bLoaded);
}

TEST(PictureProperties, AnswerValuesFollowTheirCaseRules)
{
    CPictureProperties p;
    EXPECT_EQ(p.ApplyAttribute(u"Orientation", u"portrait cw"), CPictureProperties::Effect::None);
    EXPECT_EQ(p.m_nOrientation, ORIENTATION_PORTRAIT_CW);
    p.ApplyAttribute(u"Marking", u"good");
    EXPECT_EQ(p.m_nMark, MARK_UNMARKED);
    p.ApplyAttribute(u"Marking", u"NoGood");
    EXPECT_EQ(p.m_nMark, MARK_NOGOOD);
    EXPECT_EQ(p.ApplyAttribute(u"ZOOM", u"YES"), CPictureProperties::Effect::ProcessedView);
    EXPECT_TRUE(p.m_bZoom);
    EXPECT_EQ(p.ApplyAttribute(u"alarm_white", u"no"), CPictureProperties::Effect::None);
    EXPECT_FALSE(p.m_bAlarmWhite);
    p.ApplyAttribute(u"histogramLocation", u"99999999999");
    EXPECT_EQ(p.m_lHistogramLocation, INT32_MAX) << "saturates instead of wrapping";
    p.ApplyAttribute(u"NewPicture", u"Process");
    EXPECT_EQ(p.m_nNewPicture, NEW_PICTURE_PROCESS);
    p.ApplyAttribute(u"NewPicture", u"maybe");
    EXPECT_EQ(p.m_nNewPicture, NEW_PICTURE_PROCESS);
    EXPECT_EQ(p.ApplyAttribute(u"Date", u"2005:01:01:00:00:00"), CPictureProperties::Effect::DateTime);
    EXPECT_EQ(p.ApplyAttribute(u"Date", u""), CPictureProperties::Effect::None);
    p.ApplyAttribute(u"text", u"note");
    EXPECT_EQ(p.m_strAnnotation, u"note");
    EXPECT_EQ(std::u16string(MarkName(7)), u"");
}
