// Every file command against the camera simulator: the name checks that send nothing, the tree
// and local cache after success, and both unchanged after the camera refuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/storage/WideText.h"
#include "tests/storage/SimulatorFixture.h"
#include "tests/storage/StorageTestHelpers.h"

namespace fs = std::filesystem;
using namespace storagetest;

namespace {

class FileCommandTest : public SimulatorFixture {
protected:
    void SetUp() override
    {
        SimulatorFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(m_cache->Init(u"./Part1/Folder/"));
        ASSERT_TRUE(m_cache->CachePicture(u"./Part1/Folder/Pic0001.mos", false));
        m_commandsBefore = Received("FileCommand");
    }
    int Sent() const { return Received("FileCommand") - m_commandsBefore; }
    std::u16string Listing(std::u16string_view folder)
    {
        std::u16string listing;
        m_cache->GetFolderListing(folder, listing);
        return listing;
    }

    int m_commandsBefore = 0;
    std::u16string m_error;
};

}  // namespace

TEST_F(FileCommandTest, MoveRelinksTheNodeAndCarriesThePreview)
{
    ASSERT_TRUE(m_cache->SetCurrentFile(u"./Part1/Folder/Pic0001.mos", false));
    ASSERT_TRUE(m_cache->Move(u"./Part1/Folder/Pic0001.mos", u"./Part1/Empty/Pic0001.mos", m_error)) << storage::ToUtf8(m_error);
    EXPECT_EQ(Sent(), 1);
    EXPECT_TRUE(Exists(m_disk / "Part1/Empty/Pic0001.jpg"));
    EXPECT_FALSE(Exists(m_disk / "Part1/Folder/Pic0001.jpg"));
    EXPECT_EQ(Listing(u"./Part1/Empty/"), u"Pic0001.mos,f;");
    EXPECT_EQ(Listing(u"./Part1/Folder/"), u"Pic0002.mos,f;Pic0003.mos,f;");
    EXPECT_TRUE(Exists(m_root / "Part1/Empty/Pic0001.jpg"));
    EXPECT_FALSE(Exists(m_root / "Part1/Folder/Pic0001.jpg"));
    EXPECT_EQ(m_cache->GetCurrentFileName(), u"./Part1/Empty/Pic0001.mos") << "the current file moved with it";
}

TEST_F(FileCommandTest, MoveOntoAnotherNameRenamesTheNode)
{
    ASSERT_TRUE(m_cache->Move(u"./Part1/Folder/Pic0001.mos", u"./Part1/Folder/Pic0009.mos", m_error));
    EXPECT_EQ(Listing(u"./Part1/Folder/"), u"Pic0002.mos,f;Pic0003.mos,f;Pic0009.mos,f;");
    EXPECT_TRUE(Exists(m_root / "Part1/Folder/Pic0009.jpg"));
}

TEST_F(FileCommandTest, MoveChecksNamesBeforeSendingAnything)
{
    EXPECT_FALSE(m_cache->Move(u"Pic0001.mos", u"./Part1/Empty/x.mos", m_error));
    EXPECT_EQ(m_error, u"Invalid or empty source file name.");
    EXPECT_FALSE(m_cache->Move(u"./Part1/Folder/", u"./Part1/Empty/x.mos", m_error));
    EXPECT_EQ(m_error, u"Invalid or empty source file name.");
    EXPECT_FALSE(m_cache->Move(u"./Part1/Folder/Pic0001.mos", u"./Part1/Empty/", m_error));
    EXPECT_EQ(m_error, u"Invalid or empty target file name.");
    EXPECT_FALSE(m_cache->Move(u"./Part1/Folder/Pic0001.mos", u"./Part1/../../x.mos", m_error));
    EXPECT_EQ(m_error, u"Invalid or empty target file name.");
    EXPECT_FALSE(m_cache->Move(u"./Part1/Folder/Pic0001.mos", u"./Part1/Folder/Pic0002.mos", m_error));
    EXPECT_EQ(m_error, u"The folder \"Part1/Folder\" already contains the file \"Pic0002.mos\".");
    EXPECT_FALSE(m_cache->Move(u"./Part1/Folder/Pic0001.mos", u"./Part1/Nowhere/x.mos", m_error));
    EXPECT_FALSE(m_error.empty());
    EXPECT_FALSE(m_cache->Move(u"./Part1/Folder/Pic0001.mos", u"./Part1/Folder/Pic0002.mos/x.mos", m_error));
    EXPECT_EQ(Sent(), 0);
    EXPECT_TRUE(Exists(m_disk / "Part1/Folder/Pic0001.jpg"));
}

TEST_F(FileCommandTest, RefusedMoveLeavesTreeAndCacheAlone)
{
    // The picture went away on the camera behind the model's back.
    fs::remove(m_disk / "Part1/Folder/Pic0002.jpg");
    EXPECT_FALSE(m_cache->Move(u"./Part1/Folder/Pic0002.mos", u"./Part1/Empty/Pic0002.mos", m_error));
    EXPECT_EQ(m_error, u"Filename not found.");
    EXPECT_EQ(Listing(u"./Part1/Folder/"), u"Pic0001.mos,f;Pic0002.mos,f;Pic0003.mos,f;");
    EXPECT_EQ(Listing(u"./Part1/Empty/"), u"");
}

TEST_F(FileCommandTest, CopyAddsAFreshNodeAndCopiesThePreview)
{
    m_cache->SetMarking(MARK_GOOD, u"./Part1/Folder/Pic0001.mos");
    ASSERT_TRUE(m_cache->Copy(u"./Part1/Folder/Pic0001.mos", u"./Part2/Sub/Pic0001.mos", m_error));
    EXPECT_EQ(Sent(), 1);
    EXPECT_TRUE(Exists(m_disk / "Part1/Folder/Pic0001.jpg"));
    EXPECT_TRUE(Exists(m_disk / "Part2/Sub/Pic0001.jpg"));
    EXPECT_EQ(ReadFile(m_root / "Part2/Sub/Pic0001.jpg"), ReadFile(m_root / "Part1/Folder/Pic0001.jpg"));
    EXPECT_EQ(Listing(u"./Part2/Sub/"), u"Deep,d;Pic0001.mos,f;");
    auto* copy = static_cast<CDOSFile*>(m_cache->FindInTree(u"./Part2/Sub/Pic0001.mos"));
    EXPECT_FALSE(copy->Properties().m_bLoaded) << "a copy's properties are fetched afresh";
}

TEST_F(FileCommandTest, CameraRefusesANewNameWithoutItsPictureExtension)
{
    EXPECT_FALSE(m_cache->Copy(u"./Part1/Folder/Pic0001.mos", u"./Part1/Folder/Pic0001.jpg", m_error));
    EXPECT_EQ(m_error, u"Illegal pathname.");
    EXPECT_EQ(m_cache->FindInTree(u"./Part1/Folder/Pic0001.jpg"), nullptr);
    EXPECT_EQ(Sent(), 1);
}

TEST_F(FileCommandTest, CopyOntoAnExistingFileSendsNothing)
{
    EXPECT_FALSE(m_cache->Copy(u"./Part1/Folder/Pic0001.mos", u"./Part1/Folder/Pic0003.mos", m_error));
    EXPECT_EQ(m_error, u"The folder \"Part1/Folder\" already contains the file \"Pic0003.mos\".");
    EXPECT_EQ(Sent(), 0);
}

TEST_F(FileCommandTest, DeleteFileRemovesNodeAndBothPreviews)
{
    ASSERT_TRUE(m_cache->SetCurrentFile(u"./Part1/Folder/Pic0001.mos", false));
    WriteFile(m_root / "Part1/Folder/~Pic0001.jpg", "zoomed");
    ASSERT_TRUE(m_cache->Delete(u"./Part1/Folder/Pic0001.mos", m_error));
    EXPECT_EQ(Sent(), 1);
    EXPECT_FALSE(Exists(m_disk / "Part1/Folder/Pic0001.jpg"));
    EXPECT_FALSE(Exists(m_root / "Part1/Folder/Pic0001.jpg"));
    EXPECT_FALSE(Exists(m_root / "Part1/Folder/~Pic0001.jpg"));
    EXPECT_EQ(m_cache->GetCurrentFile(), nullptr);
    EXPECT_EQ(m_cache->FindInTree(u"./Part1/Folder/Pic0001.mos"), nullptr);
}

TEST_F(FileCommandTest, DeleteFolderTheCameraRefusesKeepsItsContents)
{
    EXPECT_FALSE(m_cache->Delete(u"./Part2/Sub/", m_error));
    EXPECT_EQ(m_error, u"Directory not empty.");
    EXPECT_NE(m_cache->FindInTree(u"./Part2/Sub/Deep/Pic0100.mos"), nullptr);
    EXPECT_TRUE(fs::is_directory(m_root / "Part2/Sub/Deep"));
}

TEST_F(FileCommandTest, DeleteEmptyFolderRemovesItsLocalFolder)
{
    ASSERT_TRUE(m_cache->SetCurrentDirectory(u"./Part1/Empty/"));
    ASSERT_TRUE(m_cache->Delete(u"./Part1/Empty", m_error)) << storage::ToUtf8(m_error);
    EXPECT_FALSE(Exists(m_disk / "Part1/Empty"));
    EXPECT_FALSE(Exists(m_root / "Part1/Empty"));
    EXPECT_EQ(m_cache->GetCurrentDirectory(), nullptr);
}

TEST_F(FileCommandTest, DeleteOfTheRootOrABadNameSendsNothing)
{
    EXPECT_FALSE(m_cache->Delete(u"./", m_error));
    EXPECT_FALSE(m_cache->Delete(u"Pic0001.mos", m_error));
    EXPECT_EQ(m_error, u"Invalid or empty source file name.");
    EXPECT_FALSE(m_cache->Delete(u"./Part1/../..", m_error));
    EXPECT_EQ(m_error, u"Invalid or empty source file name.");
    EXPECT_FALSE(m_cache->Delete(u"./Part1/Folder/Nothing.mos", m_error));
    EXPECT_EQ(Sent(), 0);
}

TEST_F(FileCommandTest, MakeDirAddsTheFolderAndRefusesAnExistingOne)
{
    ASSERT_TRUE(m_cache->MakeDir(u"./Part1/New", m_error)) << storage::ToUtf8(m_error);
    EXPECT_TRUE(fs::is_directory(m_disk / "Part1/New"));
    EXPECT_TRUE(fs::is_directory(m_root / "Part1/New"));
    EXPECT_EQ(Listing(u"./Part1/"), u"Empty,d;Folder,d;New,d;");
    EXPECT_EQ(Sent(), 1);
    EXPECT_FALSE(m_cache->MakeDir(u"./Part1/New/", m_error));
    EXPECT_EQ(m_error, u" already exists.");
    EXPECT_FALSE(m_cache->MakeDir(u"New", m_error));
    EXPECT_EQ(m_error, u"Invalid or empty source file name.");
    EXPECT_EQ(Sent(), 1);
}

TEST_F(FileCommandTest, MakeDirTheCameraRefusesAddsNothing)
{
    EXPECT_FALSE(m_cache->MakeDir(u"./Part3/", m_error));
    EXPECT_EQ(m_error, u"Illegal on system or directory file.");
    EXPECT_EQ(m_cache->FindInTree(u"./Part3/"), nullptr);
}

TEST_F(FileCommandTest, RecoverSendsThePartitionAndChangesNothing)
{
    ASSERT_TRUE(m_cache->Recover(u"./Part2/", m_error));
    EXPECT_EQ(Sent(), 1);
    EXPECT_FALSE(m_cache->Recover(u"./Part2/Sub/", m_error));
    EXPECT_EQ(m_error, u"Invalid drive specified in an argument.");
    EXPECT_NE(m_cache->FindInTree(u"./Part2/Sub/Deep/"), nullptr);
}

TEST_F(FileCommandTest, QuickFormatEmptiesThePartitionAndMakesItCurrent)
{
    ASSERT_TRUE(m_cache->SetCurrentFile(u"./Part1/Folder/Pic0001.mos", false));
    ASSERT_TRUE(m_cache->QuickFormat(u"./Part1/", m_error)) << storage::ToUtf8(m_error);
    EXPECT_EQ(m_cache->GetCurrentDirectoryName(), u"./Part1/");
    EXPECT_EQ(m_cache->GetCurrentFile(), nullptr);
    EXPECT_EQ(Listing(u"./Part1/"), u"");
    EXPECT_TRUE(fs::is_directory(m_root / "Part1"));
    EXPECT_TRUE(fs::is_empty(m_root / "Part1"));
    EXPECT_TRUE(fs::is_empty(m_disk / "Part1"));
    EXPECT_NE(m_cache->FindInTree(u"./Part2/Sub/"), nullptr);
}

TEST_F(FileCommandTest, QuickFormatOfTheRootOrAFileSendsNothing)
{
    EXPECT_FALSE(m_cache->QuickFormat(u"./", m_error));
    EXPECT_FALSE(m_cache->QuickFormat(u"./Part1/Folder/Pic0001.mos", m_error));
    EXPECT_EQ(Sent(), 0);
}
