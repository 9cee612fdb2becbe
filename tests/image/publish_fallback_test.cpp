// Saving on filesystems that lack an atomic no-replace rename (FUSE, network
// filesystems) or hard links (FAT). This program defines renameat2 and linkat
// itself, so the saver linked into it calls these and they can answer as such
// a filesystem does.
#include "folder_files.h"
#include "image/image_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
int g_renameError = 0; // 0: the real call
int g_linkError = 0;
int g_renameCalls = 0;
int g_linkCalls = 0;
} // namespace

extern "C" int renameat2(int oldDirectory, const char *oldName, int newDirectory, const char *newName,
                         unsigned int flags)
{
    ++g_renameCalls;
    if (g_renameError != 0) {
        errno = g_renameError;
        return -1;
    }
    return int(syscall(SYS_renameat2, oldDirectory, oldName, newDirectory, newName, flags));
}

extern "C" int linkat(int oldDirectory, const char *oldName, int newDirectory, const char *newName,
                      int flags)
{
    ++g_linkCalls;
    if (g_linkError != 0) {
        errno = g_linkError;
        return -1;
    }
    return int(syscall(SYS_linkat, oldDirectory, oldName, newDirectory, newName, flags));
}

namespace {

class PublishFallbackTest : public InFreshFolderTest {
protected:
    void SetUp() override
    {
        InFreshFolderTest::SetUp();
        g_renameError = g_linkError = g_renameCalls = g_linkCalls = 0;
    }
    void TearDown() override
    {
        g_renameError = g_linkError = 0;
        std::error_code error;
        fs::current_path(m_previous, error);
        umount2(m_folder.c_str(), MNT_DETACH); // when a test mounted one there
        InFreshFolderTest::TearDown();
    }

    // Three pictures with one stamp: each whole, none replaced, nothing else left.
    void SaveThreeAndCheck()
    {
        const std::vector<uint8_t> pictures[] = {Bytes(5000, 1), Bytes(7000, 2), Bytes(1, 3)};
        const char *expected[] = {"20200101_000000_0.JPG", "20200101_000000_0_2.JPG",
                                  "20200101_000000_0_3.JPG"};
        for (int i = 0; i < 3; ++i) {
            const SaveResult result = SaveImageBytes("20200101_000000_0", 2, pictures[i].data(),
                                                     uint32_t(pictures[i].size()));
            ASSERT_TRUE(result.saved) << result.error;
            EXPECT_EQ(result.fileName, expected[i]);
        }
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(ReadFile(m_folder / expected[i]), pictures[i]) << expected[i];
        EXPECT_EQ(FolderEntries(m_folder), (std::set<std::string>{expected, expected + 3}));
    }
};

TEST_F(PublishFallbackTest, WithoutNoReplaceRenameAHardLinkIsUsed)
{
    for (int error : {EINVAL, ENOSYS}) {
        SCOPED_TRACE(error);
        fs::remove_all(m_folder);
        fs::create_directory(m_folder);
        fs::current_path(m_folder);
        g_renameError = error;
        g_linkCalls = 0;
        SaveThreeAndCheck();
        EXPECT_GT(g_linkCalls, 0);
    }
}

TEST_F(PublishFallbackTest, WithoutRenameOrLinksTheFinalNameIsCreatedExclusively)
{
    g_renameError = EINVAL;
    g_linkError = EPERM;
    const mode_t previous = umask(022);
    SaveThreeAndCheck();
    umask(previous);
    EXPECT_GT(g_linkCalls, 0);
    struct stat info {};
    ASSERT_EQ(stat((m_folder / "20200101_000000_0_2.JPG").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(PublishFallbackTest, ACopyThatRunsOutOfSpaceLeavesNoFileUnderAnyName)
{
    // A 1 MiB filesystem in a mount namespace of this process only.
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "no mount namespace here";
    fs::current_path(m_previous);
    ASSERT_EQ(mount("tavren-test", m_folder.c_str(), "tmpfs", 0, "size=1m,mode=0777"), 0);
    fs::current_path(m_folder);

    g_renameError = EINVAL;
    g_linkError = EPERM;
    const std::vector<uint8_t> earlier = Bytes(100, 9);
    ASSERT_TRUE(SaveImageBytes("20200101_000000_0", 2, earlier.data(), 100).saved);
    // The temporary file fits; a second copy of it does not.
    const std::vector<uint8_t> large = Bytes(600'000, 4);
    const SaveResult failed = SaveImageBytes("20200101_000000_0", 2, large.data(), 600'000);

    EXPECT_FALSE(failed.saved);
    EXPECT_NE(failed.error.find("No space left on device"), std::string::npos) << failed.error;
    EXPECT_EQ(FolderEntries(m_folder), std::set<std::string>{"20200101_000000_0.JPG"});
    EXPECT_EQ(ReadFile(m_folder / "20200101_000000_0.JPG"), earlier);
}

TEST_F(PublishFallbackTest, OtherRenameFailuresAreReportedWithoutFallingBack)
{
    g_renameError = EIO;
    const std::vector<uint8_t> bytes = Bytes(100, 1);
    const SaveResult result = SaveImageBytes("20200101_000000_0", 1, bytes.data(), 100);
    EXPECT_FALSE(result.saved);
    EXPECT_NE(result.error.find("Input/output error"), std::string::npos) << result.error;
    EXPECT_EQ(g_linkCalls, 0);
    EXPECT_TRUE(FolderEntries(m_folder).empty());
}

} // namespace
