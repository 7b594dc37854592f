#include <gtest/gtest.h>

#include <filesystem>

#include "app/storage/DiskCacheOp.h"
#include "app/storage/WideText.h"
#include "tests/storage/StorageTestHelpers.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using namespace storagetest;
namespace dco = storage::DiskCacheOp;

namespace {

class DiskCacheOpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dco::EnsureCacheRoot());
        m_root = dco::CacheRoot();
    }
    fs::path Stamped(const fs::path& relative, const char16_t* stamp, const std::string& bytes = "jpeg")
    {
        const fs::path path = m_root / relative;
        WriteFile(path, bytes);
        EXPECT_TRUE(dco::StampFile(path, stamp)) << path;
        return path;
    }

    testsupport::TempHome m_home;
    fs::path m_root;
};

}  // namespace

TEST_F(DiskCacheOpTest, CacheRootIsLastOrinCapturesInTheProgramFolder)
{
    EXPECT_EQ(m_root, m_home.Path() / "Last Orin Captures");
}

TEST_F(DiskCacheOpTest, LocalNameReplacesOnlyTheExtensionOfThePictureName)
{
    EXPECT_EQ(dco::LocalFileName(u"Pic0001.mos"), u"Pic0001.jpg");
    EXPECT_EQ(dco::LocalFileName(u"ab"), u"ab.jpg");
    EXPECT_EQ(dco::LocalFileName(u"Pic.tar.mos"), u"Pic.tar.jpg");
    EXPECT_EQ(dco::LocalFileName(u".hidden"), u".hidden.jpg");
    fs::path path;
    ASSERT_TRUE(dco::LocalPreviewPath(u"./Part1/Folder/Pic0001.mos", false, path));
    EXPECT_EQ(path, m_root / "Part1/Folder/Pic0001.jpg");
    ASSERT_TRUE(dco::LocalPreviewPath(u"./Part1/Folder/Pic0001.mos", true, path));
    EXPECT_EQ(path, m_root / "Part1/Folder/~Pic0001.jpg");
    // A short name without extension keeps its folder intact.
    ASSERT_TRUE(dco::LocalPreviewPath(u"./Part.1/ab", false, path));
    EXPECT_EQ(path, m_root / "Part.1/ab.jpg");
}

TEST_F(DiskCacheOpTest, NamesThatClimbOutOfTheCacheGetNoLocalPath)
{
    fs::path path;
    EXPECT_FALSE(dco::LocalPreviewPath(u"./../x.mos", false, path));
    EXPECT_FALSE(dco::LocalPreviewPath(u"./P/../../x.mos", false, path));
    EXPECT_FALSE(dco::LocalFolderPath(u"./P/../../", path));
    EXPECT_FALSE(dco::LocalFolderPath(u"../", path));
    EXPECT_FALSE(dco::CreateLocalFolder(u"./", u".."));
    EXPECT_FALSE(dco::DeleteLocalFolder(u"./../", true));
    EXPECT_TRUE(fs::exists(m_home.Path()));
}

TEST_F(DiskCacheOpTest, SymbolicLinkOutOfTheCacheIsNeverFollowedForDeletion)
{
    const fs::path outside = m_home.Path() / "user-files";
    WriteFile(outside / "Pic1.jpg", "precious");
    fs::create_directory_symlink(outside, m_root / "P");
    EXPECT_FALSE(dco::IsBelowCacheRoot(m_root / "P" / "Pic1.jpg"));
    dco::DeleteLocalPicture(u"./P/Pic1.mos");
    dco::DeleteLocalFolder(u"./P/", true);
    EXPECT_EQ(ReadFile(outside / "Pic1.jpg"), "precious");
    // The link itself lies in the cache and may go.
    EXPECT_TRUE(dco::ClearLocalCache());
    EXPECT_FALSE(Exists(m_root / "P"));
    EXPECT_EQ(ReadFile(outside / "Pic1.jpg"), "precious");
}

TEST_F(DiskCacheOpTest, ReconcileDeletesUnlistedAndChangedPreviewsAndKeepsTheRest)
{
    const fs::path kept = Stamped("P/F/Pic1.jpg", u"2005:03:07:14:05:00");
    const fs::path changed = Stamped("P/F/Pic2.jpg", u"2005:03:07:14:06:00");
    const fs::path gone = Stamped("P/F/Pic3.jpg", u"2005:03:07:14:05:00");
    const fs::path processed = Stamped("P/F/~Pic1.jpg", u"2005:03:07:14:05:00");
    const fs::path otherLetter = Stamped("P/F/Pic4.jpg", u"2005:03:07:14:05:00");
    WriteFile(m_root / "P/F/Old/Pic9.jpg", "x");
    WriteFile(m_root / "P/F/Keep/Pic8.jpg", "x");

    ASSERT_TRUE(dco::ReconcileLocalFolder(u"./P/F/", {u"F-Pic1.mos,2005:03:07:14:05:59", u"F-Pic2.mos,2005:03:07:14:05:59",
                                                      u"X-Pic4.mos,2005:03:07:14:05:00", u"D-Keep,2005:01:01:00:00:00"}));
    EXPECT_TRUE(Exists(kept)) << "seconds are not compared";
    EXPECT_FALSE(Exists(changed)) << "the minute differs";
    EXPECT_FALSE(Exists(gone));
    EXPECT_FALSE(Exists(processed));
    EXPECT_TRUE(Exists(otherLetter)) << "any letter but D is a file";
    EXPECT_FALSE(Exists(m_root / "P/F/Old"));
    EXPECT_TRUE(Exists(m_root / "P/F/Keep/Pic8.jpg"));
}

TEST_F(DiskCacheOpTest, ReconcileReadsTypeLettersOfEitherCase)
{
    const fs::path picture = Stamped("P/Pic1.jpg", u"2005:03:07:14:05:00");
    WriteFile(m_root / "P/Sub/Pic2.jpg", "x");
    ASSERT_TRUE(dco::ReconcileLocalFolder(u"./P/", {u"f-Pic1.mos,2005:03:07:14:05:00", u"d-Sub"}));
    EXPECT_TRUE(Exists(picture));
    EXPECT_TRUE(Exists(m_root / "P/Sub/Pic2.jpg"));
}

TEST_F(DiskCacheOpTest, ReconcileDeletesAStrayFileWithEveryPreviewOfItsBaseName)
{
    const fs::path jpeg = Stamped("P/Pic1.jpg", u"2005:03:07:14:05:00");
    WriteFile(m_root / "P/Pic1.tmp", "partial");
    ASSERT_TRUE(dco::ReconcileLocalFolder(u"./P/", {u"F-Pic1.mos,2005:03:07:14:05:00"}));
    EXPECT_FALSE(Exists(m_root / "P/Pic1.tmp"));
    EXPECT_FALSE(Exists(jpeg));
}

TEST_F(DiskCacheOpTest, DeleteIfModifiedIgnoresSecondsOnly)
{
    const fs::path path = Stamped("P/Pic1.jpg", u"2005:03:07:14:05:00");
    EXPECT_EQ(dco::DeleteIfModified(u"./P/Pic1.mos", u"2005:03:07:14:05:59"), 0);
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(dco::DeleteIfModified(u"./P/Pic1.mos", u"2005:03:07:14:05"), 0) << "five fields";
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(dco::DeleteIfModified(u"./P/Pic1.mos", u"2006:03:07:14:05:00"), 1);
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(dco::DeleteIfModified(u"./P/Pic1.mos", u"2006:03:07:14:05:00"), 0) << "nothing left to delete";
}

TEST_F(DiskCacheOpTest, StampWithFiveFieldsLeavesTheFileTimeAlone)
{
    const fs::path path = Stamped("P/Pic1.jpg", u"2005:03:07:14:05:09");
    EXPECT_FALSE(dco::StampFile(path, u"2010:01:01:01:01"));
    storage::TimeFields fields{};
    ASSERT_TRUE(dco::ReadFileStamp(path, fields));
    EXPECT_EQ(fields, (storage::TimeFields{2005, 3, 7, 14, 5, 9}));
}

TEST_F(DiskCacheOpTest, FreeSpaceDeletesOldestFirstDownToTheLowerBound)
{
    std::vector<fs::path> files;
    for (int i = 0; i < 20; ++i) {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "2005:03:%02d:10:00:00", i + 1);
        // Newest first on disk order, so only the times can give the right order.
        const std::string folder = (i % 2 == 0) ? "A" : "B/C";
        const fs::path path = m_root / folder / ("Pic" + std::to_string(100 - i) + ".jpg");
        WriteFile(path, std::string(1024, 'x'));
        ASSERT_TRUE(dco::StampFile(path, storage::FromUtf8(stamp)));
        files.push_back(path);
    }
    FillingVolume volume(100 * 1024, 60 * 1024);  // 60 KB + 20 KB of previews: 80 %
    ASSERT_TRUE(dco::CacheFreeSpace(70, 80, volume));
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(Exists(files[i]), i >= 10) << files[i];
    }
}

TEST_F(DiskCacheOpTest, FreeSpaceJustBelowTheUpperBoundDeletesNothing)
{
    for (int i = 0; i < 19; ++i) {
        WriteFile(m_root / "A" / ("Pic" + std::to_string(i) + ".jpg"), std::string(1024, 'x'));
    }
    FillingVolume volume(100 * 1024, 60 * 1024);  // 79 %
    ASSERT_TRUE(dco::CacheFreeSpace(70, 80, volume));
    EXPECT_EQ(volume.m_measurements, 1);
    EXPECT_TRUE(Exists(m_root / "A/Pic0.jpg"));
}

TEST_F(DiskCacheOpTest, FreeSpaceOnAVolumeOfTerabytesDoesNotWrap)
{
    const uint64_t tib = uint64_t(1) << 40;
    for (int i = 0; i < 5; ++i) {
        WriteFile(m_root / "A" / ("Pic" + std::to_string(i) + ".jpg"), "x");
    }
    // 8 TiB, 90 % used before the previews; each preview byte stands for 1 % of the volume.
    FillingVolume volume(8 * tib, 8 * tib / 10 * 9, 8 * tib / 100);
    ASSERT_TRUE(dco::CacheFreeSpace(70, 80, volume));
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(Exists(m_root / "A" / ("Pic" + std::to_string(i) + ".jpg")));
    }
}

TEST_F(DiskCacheOpTest, FreeSpaceFailsWhenTheVolumeCannotBeMeasured)
{
    FillingVolume volume(100, 0);
    volume.m_fail = true;
    EXPECT_FALSE(dco::CacheFreeSpace(70, 80, volume));
}

TEST_F(DiskCacheOpTest, AtomicWriteThatFailsLeavesTheOldFileWhole)
{
    const fs::path path = m_root / "P/Pic1.jpg";
    WriteFile(path, "old preview");
    // The temporary name is taken by a folder: the write cannot even start.
    fs::create_directories(m_root / "P/Pic1.jpg.part");
    const std::string bytes = "new preview";
    EXPECT_FALSE(dco::WriteFileAtomically(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    EXPECT_EQ(ReadFile(path), "old preview");
    fs::remove(m_root / "P/Pic1.jpg.part");
    EXPECT_TRUE(dco::WriteFileAtomically(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    EXPECT_EQ(ReadFile(path), "new preview");
    EXPECT_FALSE(Exists(m_root / "P/Pic1.jpg.part"));
}

TEST_F(DiskCacheOpTest, AtomicWriteRefusesPathsOutsideTheCache)
{
    const std::string bytes = "x";
    EXPECT_FALSE(dco::WriteFileAtomically(m_home.Path() / "evil.jpg", reinterpret_cast<const uint8_t*>(bytes.data()), 1));
    EXPECT_FALSE(Exists(m_home.Path() / "evil.jpg"));
}

TEST_F(DiskCacheOpTest, DeleteLocalPictureRemovesEveryExtensionOfThatPictureOnly)
{
    WriteFile(m_root / "P/Pic1.jpg", "x");
    WriteFile(m_root / "P/Pic1.tmp", "x");
    WriteFile(m_root / "P/Pic10.jpg", "x");
    WriteFile(m_root / "P/~Pic1.jpg", "x");
    ASSERT_TRUE(dco::DeleteLocalPicture(u"./P/Pic1.mos"));
    EXPECT_FALSE(Exists(m_root / "P/Pic1.jpg"));
    EXPECT_FALSE(Exists(m_root / "P/Pic1.tmp"));
    EXPECT_TRUE(Exists(m_root / "P/Pic10.jpg"));
    EXPECT_TRUE(Exists(m_root / "P/~Pic1.jpg"));
}

TEST_F(DiskCacheOpTest, ClearingTheCacheKeepsItsRoot)
{
    WriteFile(m_root / "P/F/Pic1.jpg", "x");
    WriteFile(m_root / "Pic2.jpg", "x");
    ASSERT_TRUE(dco::ClearLocalCache());
    EXPECT_TRUE(fs::is_directory(m_root));
    EXPECT_TRUE(fs::is_empty(m_root));
}

TEST_F(DiskCacheOpTest, DeleteLocalFolderCanKeepTheFolder)
{
    WriteFile(m_root / "P/F/Pic1.jpg", "x");
    ASSERT_TRUE(dco::DeleteLocalFolder(u"./P/", false));
    EXPECT_TRUE(fs::is_directory(m_root / "P"));
    EXPECT_TRUE(fs::is_empty(m_root / "P"));
    ASSERT_TRUE(dco::DeleteLocalFolder(u"./P/", true));
    EXPECT_FALSE(Exists(m_root / "P"));
}

TEST_F(DiskCacheOpTest, LocalListingIsSortedByName)
{
    WriteFile(m_root / "P/b.jpg", "x");
    WriteFile(m_root / "P/B/x.jpg", "x");
    WriteFile(m_root / "P/a.jpg", "x");
    std::u16string listing = u"stale";
    ASSERT_TRUE(dco::GetLocalFolderListing(u"./P/", listing));
    EXPECT_EQ(listing, u"B,d;a.jpg,f;b.jpg,f;");
    ASSERT_TRUE(dco::GetLocalFolderListing(u"./Missing/", listing));
    EXPECT_EQ(listing, u"");
}

TEST_F(DiskCacheOpTest, CreateLocalFolderMakesOneFolderBelowItsParent)
{
    EXPECT_TRUE(dco::CreateLocalFolder(u".", u"P"));
    EXPECT_TRUE(fs::is_directory(m_root / "P"));
    EXPECT_TRUE(dco::CreateLocalFolder(u"./P/", u"F"));
    EXPECT_TRUE(fs::is_directory(m_root / "P/F"));
    EXPECT_FALSE(dco::CreateLocalFolder(u"ab", u"F"));
    EXPECT_FALSE(dco::CreateLocalFolder(u"./Missing/", u"F"));
}

TEST_F(DiskCacheOpTest, ReconcileDeletesAnUnlistedFileThatHasNoExtension)
{
    WriteFile(m_root / "P/Stray", "left by someone");
    const fs::path kept = Stamped("P/Pic1.jpg", u"2005:03:07:14:05:00");
    ASSERT_TRUE(dco::ReconcileLocalFolder(u"./P/", {u"F-Pic1.mos,2005:03:07:14:05:00"}));
    EXPECT_FALSE(Exists(m_root / "P/Stray")) << "the listing does not name it";
    EXPECT_TRUE(Exists(kept));
}

TEST_F(DiskCacheOpTest, MovedPictureLeavesNoProcessedPreviewUnderItsOldName)
{
    WriteFile(m_root / "P/Pic1.jpg", "plain");
    WriteFile(m_root / "P/~Pic1.jpg", "zoomed");
    ASSERT_TRUE(dco::MoveLocalPicture(u"./P/Pic1.mos", u"./Q/Pic1.mos"));
    EXPECT_EQ(ReadFile(m_root / "Q/Pic1.jpg"), "plain");
    EXPECT_FALSE(Exists(m_root / "P/Pic1.jpg"));
    EXPECT_FALSE(Exists(m_root / "P/~Pic1.jpg")) << "a later picture of that name must not show it";

    WriteFile(m_root / "P/~Pic2.jpg", "zoomed only");
    ASSERT_TRUE(dco::MoveLocalPicture(u"./P/Pic2.mos", u"./Q/Pic2.mos"));
    EXPECT_FALSE(Exists(m_root / "P/~Pic2.jpg"));
}

TEST_F(DiskCacheOpTest, SymbolicLinkInTheCacheIsNeverWrittenOrStampedThrough)
{
    const fs::path outside = m_home.Path() / "user-files" / "notes.txt";
    WriteFile(outside, "precious");
    const fs::file_time_type before = fs::last_write_time(outside);
    fs::create_directories(m_root / "Q");
    fs::create_symlink(outside, m_root / "Q/Pic1.jpg");
    WriteFile(m_root / "P/Pic1.jpg", "preview");

    EXPECT_FALSE(dco::StampFile(m_root / "Q/Pic1.jpg", u"2001:01:01:00:00:00"));
    EXPECT_EQ(fs::last_write_time(outside), before);

    ASSERT_TRUE(dco::CopyLocalPicture(u"./P/Pic1.mos", u"./Q/Pic1.mos"));
    EXPECT_EQ(ReadFile(outside), "precious");
    EXPECT_FALSE(fs::is_symlink(m_root / "Q/Pic1.jpg")) << "the copy replaces the link itself";
    EXPECT_EQ(ReadFile(m_root / "Q/Pic1.jpg"), "preview");
}
