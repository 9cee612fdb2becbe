#include "folder_files.h"
#include "image/file_publish.h"
#include "image/image_file.h"
#include "image/pending_pictures.h"
#include "image/picture_naming.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <cstring>
#include <array>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sched.h>
#include <set>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What this program's fsync calls were given: the saver linked into it calls
// the fsync below, which notes each descriptor and then syncs for real.
struct SyncedEntry {
    bool directory = false;
    ino_t inode = 0;
    std::string path; // as /proc names the open file
};
std::vector<SyncedEntry> g_synced;
std::mutex g_syncedLock; // several tests save from many threads

} // namespace

extern "C" int fsync(int fd)
{
    SyncedEntry entry;
    struct stat info {};
    if (fstat(fd, &info) == 0) {
        entry.directory = S_ISDIR(info.st_mode);
        entry.inode = info.st_ino;
    }
    char path[4096] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    if (const ssize_t length = readlink(link.c_str(), path, sizeof path - 1); length > 0)
        entry.path.assign(path, size_t(length));
    {
        std::lock_guard guard(g_syncedLock);
        g_synced.push_back(entry);
    }
    return int(syscall(SYS_fsync, fd));
}

namespace {

constexpr int32_t kRaw = 1;
constexpr int32_t kJpeg = 2;
constexpr int32_t kJpegAlt = 3;

platform::LocalTime At(int year, int month, int day, int hour, int minute, int second, int ms)
{
    platform::LocalTime time;
    time.year = year;
    time.month = month;
    time.day = day;
    time.hour = hour;
    time.minute = minute;
    time.second = second;
    time.milliseconds = ms;
    return time;
}

TEST(FormatTimeStamp, FormatsEveryFieldWithTheTenthOfASecond)
{
    EXPECT_EQ(FormatTimeStamp(At(2006, 12, 31, 23, 59, 59, 999)), "20061231_235959_9");
    EXPECT_EQ(FormatTimeStamp(At(2006, 3, 7, 9, 5, 4, 50)), "20060307_090504_0");
    EXPECT_EQ(FormatTimeStamp(At(987, 1, 2, 0, 0, 0, 0)), "09870102_000000_0");
}

TEST(FormatTimeStamp, DropsTheRemainderOfTheMilliseconds)
{
    const std::pair<int, char> cases[] = {{0, '0'},   {99, '0'},  {100, '1'}, {199, '1'},
                                          {550, '5'}, {900, '9'}, {999, '9'}};
    for (const auto &[ms, tenth] : cases) {
        const std::string stamp = FormatTimeStamp(At(2020, 5, 6, 7, 8, 9, ms));
        ASSERT_EQ(stamp.size(), 17u);
        EXPECT_EQ(stamp.back(), tenth) << ms << " ms";
    }
}

TEST(ImageFileExtension, RawOnlyForTypeOne)
{
    EXPECT_STREQ(ImageFileExtension(kRaw), ".RWQ");
    for (int32_t type : {0, kJpeg, kJpegAlt, 4, 5, -1})
        EXPECT_STREQ(ImageFileExtension(type), ".JPG") << type;
}

// Each test works in a fresh folder that is the current directory.
class SaveImageBytesTest : public InFreshFolderTest {};

TEST_F(SaveImageBytesTest, StoresTheBytesUnchangedUnderTheStampAndTypeExtension)
{
    const std::string stamp = FormatTimeStamp(At(2006, 12, 31, 23, 59, 59, 999));
    const std::vector<uint8_t> jpeg = Bytes(300'001, 1);
    const std::vector<uint8_t> raw = Bytes(4097, 2);
    const std::vector<uint8_t> alt = Bytes(3, 3);

    const SaveResult first = SaveImageBytes(stamp, kJpeg, jpeg.data(), uint32_t(jpeg.size()));
    const SaveResult second = SaveImageBytes(stamp, kRaw, raw.data(), uint32_t(raw.size()));
    ASSERT_TRUE(first.saved) << first.error;
    ASSERT_TRUE(second.saved) << second.error;
    EXPECT_EQ(first.fileName, "20061231_235959_9.JPG");
    EXPECT_EQ(second.fileName, "20061231_235959_9.RWQ");
    EXPECT_TRUE(first.error.empty());

    const SaveResult third = SaveImageBytes("20060307_090504_0", kJpegAlt, alt.data(), 3);
    ASSERT_TRUE(third.saved) << third.error;
    EXPECT_EQ(third.fileName, "20060307_090504_0.JPG");

    EXPECT_EQ(ReadFile(m_folder / first.fileName), jpeg);
    EXPECT_EQ(ReadFile(m_folder / second.fileName), raw);
    EXPECT_EQ(ReadFile(m_folder / third.fileName), alt);
    // No temporary file stays behind.
    EXPECT_EQ(FolderEntries(m_folder),
              (std::set<std::string>{"20061231_235959_9.JPG", "20061231_235959_9.RWQ",
                                     "20060307_090504_0.JPG"}));
}

TEST_F(SaveImageBytesTest, ATakenNameGetsTheNextFreeNumberAndTheEarlierFileIsKept)
{
    const std::vector<uint8_t> a = Bytes(1000, 10), b = Bytes(1000, 20), c = Bytes(1000, 30);
    const SaveResult first = SaveImageBytes("20200101_000000_0", kJpeg, a.data(), 1000);
    const SaveResult second = SaveImageBytes("20200101_000000_0", kJpeg, b.data(), 1000);
    const SaveResult third = SaveImageBytes("20200101_000000_0", kJpeg, c.data(), 1000);
    ASSERT_TRUE(first.saved && second.saved && third.saved);
    EXPECT_EQ(first.fileName, "20200101_000000_0.JPG");
    EXPECT_EQ(second.fileName, "20200101_000000_0_2.JPG");
    EXPECT_EQ(third.fileName, "20200101_000000_0_3.JPG");
    EXPECT_EQ(ReadFile(m_folder / first.fileName), a);
    EXPECT_EQ(ReadFile(m_folder / second.fileName), b);
    EXPECT_EQ(ReadFile(m_folder / third.fileName), c);

    // A raw picture of the same stamp has its own name sequence.
    const SaveResult raw = SaveImageBytes("20200101_000000_0", kRaw, a.data(), 1000);
    EXPECT_EQ(raw.fileName, "20200101_000000_0.RWQ");
}

// The 32 bytes a camera library writes before ImageType.
std::array<uint8_t, 32> Leading(const char *marker, std::initializer_list<uint8_t> extension, uint32_t shot)
{
    std::array<uint8_t, 32> bytes{};
    std::memcpy(bytes.data(), marker, 4);
    std::copy(extension.begin(), extension.end(), bytes.begin() + 4);
    for (int i = 0; i < 4; ++i)
        bytes[12 + i] = static_cast<uint8_t>(shot >> (8 * i));
    return bytes;
}

TEST(ReadAnnouncement, OnlyACompleteValidAnnouncementCounts)
{
    const auto read = [](const std::array<uint8_t, 32> &bytes) { return image::ReadAnnouncement(bytes.data(), 32); };
    const auto cr3 = read(Leading("TVRN", {'C', 'R', '3'}, 0x01020304));
    ASSERT_TRUE(cr3);
    EXPECT_EQ(cr3->extension, "CR3");
    EXPECT_EQ(cr3->shot, 0x01020304u);
    EXPECT_EQ(read(Leading("TVRN", {'A', 'b', '1', '2', '3', '4', '5', 'Z'}, 1))->extension, "Ab12345Z");
    const auto none = read(Leading("TVRN", {}, 9));
    ASSERT_TRUE(none) << "no extension, a shot number";
    EXPECT_EQ(none->extension, "");
    EXPECT_EQ(none->shot, 9u);

    EXPECT_FALSE(read(Leading("TVRX", {'C', 'R', '3'}, 1))) << "wrong marker";
    EXPECT_FALSE(read(Leading("tvrn", {'C', 'R', '3'}, 1))) << "marker in lower case";
    EXPECT_FALSE(read(Leading("TVRN", {'C', '-', '3'}, 1))) << "another character";
    EXPECT_FALSE(read(Leading("TVRN", {'C', 'R', '3', 0xC3}, 1))) << "not ASCII";
    EXPECT_FALSE(read(Leading("TVRN", {'C', 0, 'R'}, 1))) << "a gap";
    EXPECT_FALSE(read(Leading("TVRN", {0, 'N', 'E', 'F'}, 1))) << "a gap first";
    for (size_t reserved : {16u, 23u, 31u}) {
        std::array<uint8_t, 32> bytes = Leading("TVRN", {'N', 'E', 'F'}, 1);
        bytes[reserved] = 1;
        EXPECT_FALSE(read(bytes)) << "reserved byte " << reserved;
    }
    const std::array<uint8_t, 32> whole = Leading("TVRN", {'N', 'E', 'F'}, 1);
    EXPECT_FALSE(image::ReadAnnouncement(whole.data(), 31)) << "cut short";
    EXPECT_FALSE(image::ReadAnnouncement(nullptr, 32));
    EXPECT_FALSE(read(std::array<uint8_t, 32>{})) << "a record zeroed and left alone";
}

TEST(PictureNaming, ARawKeepsItsExtensionAndAShotSharesOneName)
{
    using image::Announcement;
    image::PictureNaming naming;
    const auto named = [&](const char *stamp, int32_t type, std::optional<Announcement> announcement) {
        const image::PictureName name = naming.NameFor(stamp, type, announcement);
        naming.Received(name, announcement);
        return name.FileName();
    };
    EXPECT_EQ(named("S1", kRaw, Announcement{"cr3", 4}), "S1.CR3");
    EXPECT_EQ(named("S2", kJpeg, Announcement{"JPG", 4}), "S1.JPG") << "the JPEG of the same shot";
    EXPECT_EQ(named("S3", kJpeg, Announcement{"JPG", 5}), "S3.JPG") << "another shot";
    EXPECT_EQ(named("S4", kJpegAlt, Announcement{"NEF", 5}), "S3.JPG") << "a JPEG keeps .JPG";
    EXPECT_EQ(named("S5", kRaw, Announcement{"", 5}), "S3.RWQ") << "no extension announced";
    EXPECT_EQ(named("S6", kRaw, Announcement{"NEF", 0}), "S6.NEF");
    EXPECT_EQ(named("S7", kJpeg, Announcement{"JPG", 0}), "S7.JPG") << "shot 0 is unknown, never shared";
    EXPECT_EQ(named("S8", kRaw, std::nullopt), "S8.RWQ") << "nothing announced";
    EXPECT_EQ(named("S9", kRaw, Announcement{"ARW", 6}), "S9.ARW");
    EXPECT_EQ(named("S10", kRaw, std::nullopt), "S10.RWQ");
    EXPECT_EQ(named("S11", kJpeg, Announcement{"JPG", 6}), "S11.JPG") << "only the picture just before counts";

    // The whole base name, its number included.
    image::PictureNaming numbered;
    numbered.Received(image::PictureName{"S", 3, ".CR3"}, Announcement{"CR3", 8});
    EXPECT_EQ(numbered.NameFor("T", kJpeg, Announcement{"JPG", 8}).FileName(), "S_3.JPG");
}

TEST_F(SaveImageBytesTest, APictureOfTheSameShotTakesTheNextFreeNumberWhenItsNameIsTaken)
{
    const std::vector<uint8_t> a = Bytes(100, 1), b = Bytes(100, 2), c = Bytes(100, 3);
    const SaveResult raw = SaveImageBytes(image::PictureName{"20200101_000000_0", 1, ".CR3"}, a.data(), 100);
    ASSERT_TRUE(raw.saved) << raw.error;
    EXPECT_EQ(raw.fileName, "20200101_000000_0.CR3");
    EXPECT_EQ(raw.name.BaseName(), "20200101_000000_0");
    std::ofstream("20200101_000000_0.JPG").put('x');
    const SaveResult jpeg = SaveImageBytes(image::PictureName{"20200101_000000_0", 1, ".JPG"}, b.data(), 100);
    ASSERT_TRUE(jpeg.saved) << jpeg.error;
    EXPECT_EQ(jpeg.fileName, "20200101_000000_0_2.JPG");
    EXPECT_EQ(jpeg.name.number, 2);
    // A base with a number goes on from there.
    const SaveResult later = SaveImageBytes(image::PictureName{"20200101_000000_0", 2, ".JPG"}, c.data(), 100);
    ASSERT_TRUE(later.saved) << later.error;
    EXPECT_EQ(later.fileName, "20200101_000000_0_3.JPG");
    EXPECT_EQ(ReadFile(m_folder / "20200101_000000_0.JPG"), std::vector<uint8_t>{'x'});
    EXPECT_EQ(ReadFile(m_folder / "20200101_000000_0_2.JPG"), b);
    EXPECT_EQ(ReadFile(m_folder / "20200101_000000_0_3.JPG"), c);
}

TEST_F(SaveImageBytesTest, NamesHeldByOtherKindsOfEntryAreSkippedUntouched)
{
    fs::create_directory(m_folder / "20200101_000000_0.JPG");
    fs::create_symlink("/nonexistent/target", m_folder / "20200101_000000_0_2.JPG");
    const std::vector<uint8_t> bytes = Bytes(10, 1);
    const SaveResult result = SaveImageBytes("20200101_000000_0", kJpeg, bytes.data(), 10);
    ASSERT_TRUE(result.saved) << result.error;
    EXPECT_EQ(result.fileName, "20200101_000000_0_3.JPG");
    EXPECT_TRUE(fs::is_directory(m_folder / "20200101_000000_0.JPG"));
    EXPECT_TRUE(fs::is_symlink(m_folder / "20200101_000000_0_2.JPG"));
    EXPECT_FALSE(fs::exists("/nonexistent/target"));
}

TEST_F(SaveImageBytesTest, FileModeIsEverybodyReadWriteLessTheUmask)
{
    const std::vector<uint8_t> bytes = Bytes(10, 1);
    const mode_t previous = umask(022);
    const SaveResult usual = SaveImageBytes("20200101_000000_0", kJpeg, bytes.data(), 10);
    umask(077);
    const SaveResult strict = SaveImageBytes("20200101_000000_1", kJpeg, bytes.data(), 10);
    umask(previous);
    ASSERT_TRUE(usual.saved && strict.saved);
    struct stat info {};
    ASSERT_EQ(stat(usual.fileName.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    ASSERT_EQ(stat(strict.fileName.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(SaveImageBytesTest, AFolderThatWasRemovedIsReportedAndNothingIsCreated)
{
    const fs::path gone = m_folder / "gone";
    fs::create_directory(gone);
    fs::current_path(gone);
    fs::remove(gone);
    const std::vector<uint8_t> bytes = Bytes(10, 1);
    const SaveResult result = SaveImageBytes("20200101_000000_0", kJpeg, bytes.data(), 10);
    EXPECT_FALSE(result.saved);
    EXPECT_TRUE(result.fileName.empty());
    EXPECT_EQ(result.error, "The destination folder no longer exists.");
    fs::current_path(m_folder);
    EXPECT_TRUE(FolderEntries(m_folder).empty());
}

TEST_F(SaveImageBytesTest, AShortWriteLeavesNoFileAndIsReported)
{
    const std::vector<uint8_t> bytes = Bytes(200'000, 5);
    SaveResult result;
    {
        const FileSizeLimit limit(65536);
        ASSERT_TRUE(limit.Active());
        result = SaveImageBytes("20200101_000000_0", kJpeg, bytes.data(), uint32_t(bytes.size()));
    }

    EXPECT_FALSE(result.saved);
    EXPECT_TRUE(result.fileName.empty());
    EXPECT_NE(result.error.find("File too large"), std::string::npos) << result.error;
    EXPECT_NE(result.error.find(m_folder.string()), std::string::npos) << result.error;
    EXPECT_TRUE(FolderEntries(m_folder).empty());
}

TEST_F(SaveImageBytesTest, StagedOnAHelperThreadAndNamedLaterOrLeftNoTrace)
{
    const std::vector<uint8_t> bytes = Bytes(70'000, 7);
    StagedImageFile staged;
    std::thread helper(
        [&] { staged = StageImageBytes("20260201_100000_0", ".JPG", bytes.data(), uint32_t(bytes.size())); });
    helper.join();
    ASSERT_TRUE(staged.Staged()) << staged.Error();
    const std::set<std::string> hidden = FolderEntries(m_folder);
    ASSERT_EQ(hidden.size(), 1u);
    EXPECT_EQ(hidden.begin()->rfind(".tavren-", 0), 0u) << "named before publishing: " << *hidden.begin();
    const SaveResult result = PublishStagedImage(staged, image::PictureName{"20200101_000000_0", 1, ".JPG"}, bytes.data(),
                                                 uint32_t(bytes.size()));
    ASSERT_TRUE(result.saved) << result.error;
    EXPECT_FALSE(staged.Staged());
    EXPECT_EQ(FolderEntries(m_folder), std::set<std::string>{"20200101_000000_0.JPG"});
    EXPECT_EQ(ReadFile(m_folder / result.fileName), bytes);

    // Staged, then abandoned (moved from, then dropped): no file remains.
    {
        StagedImageFile abandoned =
            StageImageBytes("20260201_100000_0", ".JPG", bytes.data(), uint32_t(bytes.size()));
        StagedImageFile taken = std::move(abandoned);
        EXPECT_TRUE(taken.Staged());
        EXPECT_EQ(FolderEntries(m_folder).size(), 2u);
    }
    EXPECT_EQ(FolderEntries(m_folder), std::set<std::string>{"20200101_000000_0.JPG"});

    // A folder gone before staging: the reason comes out of publishing.
    fs::remove_all(m_folder);
    StagedImageFile failed = StageImageBytes("20260201_100000_0", ".JPG", bytes.data(), uint32_t(bytes.size()));
    EXPECT_FALSE(failed.Staged());
    const SaveResult notSaved = PublishStagedImage(failed, image::PictureName{"20200101_000000_0", 1, ".JPG"}, bytes.data(),
                                                   uint32_t(bytes.size()));
    EXPECT_FALSE(notSaved.saved);
    EXPECT_NE(notSaved.error.find("no longer exists"), std::string::npos) << notSaved.error;
}

TEST_F(SaveImageBytesTest, ManyThreadsWithOneStampNeverOverwriteEachOther)
{
    constexpr int kThreads = 8, kEach = 6;
    std::vector<std::vector<uint8_t>> pictures;
    for (int i = 0; i < kThreads * kEach; ++i)
        pictures.push_back(Bytes(20'000 + size_t(i), uint8_t(i)));
    std::vector<SaveResult> results(pictures.size());
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < kEach; ++k) {
                const size_t i = size_t(t * kEach + k);
                results[i] = SaveImageBytes("20200101_000000_0", kJpeg, pictures[i].data(),
                                            uint32_t(pictures[i].size()));
            }
        });
    }
    for (auto &thread : threads)
        thread.join();

    std::set<std::string> names;
    for (size_t i = 0; i < pictures.size(); ++i) {
        ASSERT_TRUE(results[i].saved) << results[i].error;
        names.insert(results[i].fileName);
        EXPECT_EQ(ReadFile(m_folder / results[i].fileName), pictures[i]) << results[i].fileName;
    }
    std::set<std::string> expected{"20200101_000000_0.JPG"};
    for (size_t n = 2; n <= pictures.size(); ++n)
        expected.insert("20200101_000000_0_" + std::to_string(n) + ".JPG");
    EXPECT_EQ(names, expected);
    EXPECT_EQ(FolderEntries(m_folder), expected);
}

TEST_F(SaveImageBytesTest, SeveralProcessesWithOneStampNeverOverwriteEachOther)
{
    constexpr int kProcesses = 4, kEach = 5;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int failures = 0;
            for (int k = 0; k < kEach; ++k) {
                const std::vector<uint8_t> bytes = Bytes(50'000, uint8_t(p * kEach + k));
                failures += !SaveImageBytes("20200101_000000_0", kJpeg, bytes.data(), 50'000).saved;
            }
            _exit(failures);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    // Every picture is there exactly once, each whole.
    std::set<uint8_t> seeds;
    const std::set<std::string> names = FolderEntries(m_folder);
    EXPECT_EQ(names.size(), size_t(kProcesses * kEach));
    for (const std::string &name : names) {
        const std::vector<uint8_t> content = ReadFile(m_folder / name);
        ASSERT_EQ(content.size(), 50'000u) << name;
        EXPECT_EQ(content, Bytes(50'000, content[0])) << name;
        seeds.insert(content[0]);
    }
    EXPECT_EQ(seeds.size(), size_t(kProcesses * kEach));
}

TEST_F(SaveImageBytesTest, TheTemporaryFileNamesThePictureAndTheFolderIsSyncedAfterPublishing)
{
    g_synced.clear();
    const std::vector<uint8_t> bytes = Bytes(1000, 4);
    const SaveResult result = SaveImageBytes("20261208_101530_4", kJpeg, bytes.data(), 1000);
    ASSERT_TRUE(result.saved) << result.error;

    // The file is synced under its hidden name, which a user can tell apart
    // from any other file left by a crash; then the folder holding its new name.
    ASSERT_EQ(g_synced.size(), 2u);
    EXPECT_FALSE(g_synced[0].directory);
    const std::string hidden = fs::path(g_synced[0].path).filename().string();
    EXPECT_EQ(hidden.rfind(".tavren-20261208_101530_4.JPG-", 0), 0u) << hidden;
    EXPECT_EQ(hidden.size(), std::string(".tavren-20261208_101530_4.JPG-").size() + 6) << hidden;
    EXPECT_EQ(fs::path(g_synced[0].path).parent_path(), m_folder);
    struct stat folder {};
    ASSERT_EQ(stat(m_folder.c_str(), &folder), 0);
    EXPECT_TRUE(g_synced[1].directory);
    EXPECT_EQ(g_synced[1].inode, folder.st_ino);
    EXPECT_EQ(FolderEntries(m_folder), std::set<std::string>{"20261208_101530_4.JPG"});

    g_synced.clear();
    ASSERT_TRUE(SaveImageBytes("20261208_101530_4", kRaw, bytes.data(), 1000).saved);
    ASSERT_FALSE(g_synced.empty());
    EXPECT_EQ(fs::path(g_synced[0].path).filename().string().rfind(".tavren-20261208_101530_4.RWQ-", 0), 0u);
}

// A drop folder (mode 0733): whoever is not its owner may create files in it
// but not list it. Root reads every folder, so the saving runs in a child
// process that has become the unprivileged user nobody.
TEST_F(SaveImageBytesTest, AFolderThatMayBeWrittenButNotListedTakesThePictureUnsynced)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user (run as root, or see the end-to-end test)";
    constexpr uid_t kNobody = 65534;
    const fs::path drop = m_folder / "drop";
    fs::create_directory(drop);
    ASSERT_EQ(chmod(m_folder.c_str(), 0711), 0);
    ASSERT_EQ(chmod(drop.c_str(), 0733), 0);
    const std::vector<uint8_t> bytes = Bytes(70'000, 8);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0 || chdir(drop.c_str()) != 0)
            _exit(10);
        if (open(".", O_RDONLY | O_DIRECTORY) >= 0)
            _exit(11); // still allowed to list it: the case is not set up
        g_synced.clear();
        const SaveResult result = SaveImageBytes("20200101_000000_0", kJpeg, bytes.data(), 70'000);
        if (!result.saved || !result.error.empty())
            _exit(1);
        if (result.fileName != "20200101_000000_0.JPG")
            _exit(2);
        for (const SyncedEntry &entry : g_synced)
            if (entry.directory)
                _exit(3);
        _exit(g_synced.size() == 1 ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    // 1: not stored, 2: another name, 3: the folder was synced, 4: the file was not.
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(FolderEntries(drop), std::set<std::string>{"20200101_000000_0.JPG"});
    EXPECT_TRUE(ReadFile(drop / "20200101_000000_0.JPG") == bytes);
}

// Folders on a filesystem of our own: a mount namespace private to this test
// process, so nothing outlives it. Skipped where mounting is not allowed.
class SaveOnOwnFilesystemTest : public SaveImageBytesTest {
protected:
    void TearDown() override
    {
        std::error_code error;
        fs::current_path(m_previous, error);
        umount2(m_folder.c_str(), MNT_DETACH);
        SaveImageBytesTest::TearDown();
    }

    void MountHere(const char *options)
    {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            GTEST_SKIP() << "no mount namespace here";
        fs::current_path(m_previous);
        ASSERT_EQ(mount("tavren-test", m_folder.c_str(), "tmpfs", 0, options), 0);
        fs::current_path(m_folder);
    }
};

TEST_F(SaveOnOwnFilesystemTest, AReadOnlyFolderIsReportedAsNotWritable)
{
    MountHere("size=1m,mode=0777");
    if (IsSkipped())
        return;
    ASSERT_EQ(mount(nullptr, m_folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    const std::vector<uint8_t> bytes = Bytes(10, 1);
    const SaveResult result = SaveImageBytes("20200101_000000_0", kJpeg, bytes.data(), 10);
    EXPECT_FALSE(result.saved);
    EXPECT_EQ(result.error, "The folder " + m_folder.string() + " is not writable.");
    EXPECT_TRUE(FolderEntries(m_folder).empty());
}

TEST_F(SaveOnOwnFilesystemTest, AFullDiskLeavesNeitherPictureNorTemporaryFile)
{
    MountHere("size=1m,mode=0777");
    if (IsSkipped())
        return;
    const std::vector<uint8_t> earlier = Bytes(100'000, 3);
    const SaveResult kept = SaveImageBytes("20200101_000000_0", kJpeg, earlier.data(), 100'000);
    ASSERT_TRUE(kept.saved) << kept.error;

    const std::vector<uint8_t> large = Bytes(2'000'000, 4);
    const SaveResult result =
        SaveImageBytes("20200101_000000_0", kJpeg, large.data(), uint32_t(large.size()));
    EXPECT_FALSE(result.saved);
    EXPECT_NE(result.error.find("No space left on device"), std::string::npos) << result.error;
    EXPECT_EQ(FolderEntries(m_folder), std::set<std::string>{kept.fileName});
    EXPECT_EQ(ReadFile(m_folder / kept.fileName), earlier);

    // The space of the failed attempt is given back.
    const SaveResult after = SaveImageBytes("20200101_000000_0", kJpeg, earlier.data(), 100'000);
    EXPECT_TRUE(after.saved) << after.error;
    EXPECT_EQ(after.fileName, "20200101_000000_0_2.JPG");
}

// The three ways of giving a finished file its name, each on its own.
class PublishTest : public SaveImageBytesTest {
protected:
    void SetUp() override
    {
        SaveImageBytesTest::SetUp();
        m_directory = open(m_folder.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(m_directory, 0);
        Write("taken", Bytes(100, 1));
        Write(".temporary", Bytes(200, 2));
    }
    void TearDown() override
    {
        close(m_directory);
        SaveImageBytesTest::TearDown();
    }
    void Write(const char *name, const std::vector<uint8_t> &bytes)
    {
        std::ofstream(m_folder / name, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    }
    int m_directory = -1;
};

TEST_F(PublishTest, EachWayRefusesATakenNameAndLeavesItAlone)
{
    int error = 0;
    EXPECT_EQ(image::PublishByRename(m_directory, ".temporary", "taken", error),
              image::PublishOutcome::NameTaken);
    EXPECT_EQ(image::PublishByLink(m_directory, ".temporary", "taken", error),
              image::PublishOutcome::NameTaken);
    const std::vector<uint8_t> other = Bytes(50, 9);
    EXPECT_EQ(image::PublishByCopy(m_directory, "taken", other.data(), other.size(), error),
              image::PublishOutcome::NameTaken);
    EXPECT_EQ(ReadFile(m_folder / "taken"), Bytes(100, 1));
    EXPECT_EQ(ReadFile(m_folder / ".temporary"), Bytes(200, 2));
}

TEST_F(PublishTest, EachWayPutsTheWholeFileUnderTheFreeName)
{
    int error = 0;
    EXPECT_EQ(image::PublishByLink(m_directory, ".temporary", "linked", error),
              image::PublishOutcome::Published);
    EXPECT_EQ(ReadFile(m_folder / "linked"), Bytes(200, 2));

    const std::vector<uint8_t> copied = Bytes(70'000, 6);
    EXPECT_EQ(image::PublishByCopy(m_directory, "copied", copied.data(), copied.size(), error),
              image::PublishOutcome::Published);
    EXPECT_EQ(ReadFile(m_folder / "copied"), copied);

    EXPECT_EQ(image::PublishByRename(m_directory, ".temporary", "renamed", error),
              image::PublishOutcome::Published);
    EXPECT_EQ(ReadFile(m_folder / "renamed"), Bytes(200, 2));
    EXPECT_FALSE(fs::exists(m_folder / ".temporary"));
}

TEST_F(PublishTest, AFailedCopyRemovesWhatItCreated)
{
    const std::vector<uint8_t> bytes = Bytes(200'000, 5);
    int error = 0;
    image::PublishOutcome outcome;
    {
        const FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.Active());
        outcome = image::PublishByCopy(m_directory, "copied", bytes.data(), bytes.size(), error);
    }
    EXPECT_EQ(outcome, image::PublishOutcome::Failed);
    EXPECT_EQ(error, EFBIG);
    EXPECT_FALSE(fs::exists(m_folder / "copied"));
}

// Pictures kept after a failed save, stored later under their arrival names.
class PendingPicturesTest : public SaveImageBytesTest {
protected:
    static FailedSave Failed(const std::vector<uint8_t> &bytes, const char *stamp)
    {
        return FailedSave{kRaw, bytes.data(), static_cast<uint32_t>(bytes.size()), stamp, "The disk is away.", "", 1};
    }
    const std::vector<uint8_t> m_first = Bytes(5, 1);
    const std::vector<uint8_t> m_second = Bytes(6, 2);
    const std::vector<uint8_t> m_third = Bytes(7, 3);
};

TEST_F(PendingPicturesTest, KeptPicturesAreStoredOldestFirstUnderTheirNamesOnceStoringWorks)
{
    image::PendingPictures pending;
    const std::string said = pending.Keep(Failed(m_first, "20260201_100000_0"));
    EXPECT_NE(said.find("20260201_100000_0.RWQ could not be stored.\nThe disk is away."), std::string::npos) << said;
    EXPECT_NE(said.find("It is kept in memory"), std::string::npos) << said;
    pending.Keep(Failed(m_second, "20260201_100000_1"));
    EXPECT_EQ(pending.Count(), 2u);
    EXPECT_EQ(pending.Bytes(), 11u);

    // The folder goes away: nothing is stored, nothing is lost.
    const fs::path gone = m_folder / "gone";
    fs::create_directory(gone);
    fs::current_path(gone);
    fs::remove(gone);
    EXPECT_EQ(pending.RetrySaving(), 2u);

    // Another folder, holding a file of the first picture's name already.
    fs::current_path(m_folder);
    std::ofstream(m_folder / "20260201_100000_0.RWQ") << "older";
    EXPECT_EQ(pending.RetrySaving(), 0u);
    EXPECT_EQ(pending.Bytes(), 0u);
    EXPECT_EQ(FolderEntries(m_folder), (std::set<std::string>{"20260201_100000_0.RWQ", "20260201_100000_0_2.RWQ",
                                                               "20260201_100000_1.RWQ"}));
    EXPECT_EQ(ReadFile(m_folder / "20260201_100000_0_2.RWQ"), m_first);
    EXPECT_EQ(ReadFile(m_folder / "20260201_100000_1.RWQ"), m_second);
    const auto older = ReadFile(m_folder / "20260201_100000_0.RWQ");
    EXPECT_EQ(std::string(older.begin(), older.end()), "older");
}

TEST_F(PendingPicturesTest, AKeptPictureKeepsItsAnnouncedNameAndExtension)
{
    image::PendingPictures pending;
    FailedSave failed = Failed(m_first, "20260201_100000_0");
    failed.extension = ".NEF";
    failed.number = 2;
    const std::string said = pending.Keep(failed);
    EXPECT_NE(said.find("20260201_100000_0_2.NEF could not be stored."), std::string::npos) << said;
    EXPECT_EQ(pending.RetrySaving(), 0u);
    EXPECT_EQ(FolderEntries(m_folder), (std::set<std::string>{"20260201_100000_0_2.NEF"}));
    EXPECT_EQ(ReadFile(m_folder / "20260201_100000_0_2.NEF"), m_first);
}

TEST_F(PendingPicturesTest, PicturesBeyondBothLimitsAreDroppedAndSaidSo)
{
    // Two pictures, or more while they take at most 12 bytes.
    image::PendingPictures pending(2, 12);
    pending.Keep(Failed(m_first, "a"));  // 5 bytes
    pending.Keep(Failed(m_second, "b")); // 11 bytes
    const std::string dropped = pending.Keep(Failed(m_first, "c")); // a third, and 16 bytes
    EXPECT_EQ(pending.Count(), 2u);
    EXPECT_EQ(pending.Bytes(), 11u);
    EXPECT_NE(dropped.find("c.RWQ"), std::string::npos) << dropped;
    EXPECT_NE(dropped.find("It is lost: 2 unsaved pictures"), std::string::npos) << dropped;

    // Within the byte limit more pictures than the count limit are kept,
    image::PendingPictures byBytes(2, 100);
    for (const char *stamp : {"a", "b", "c"})
        EXPECT_EQ(byBytes.Keep(Failed(m_third, stamp)).find("It is lost"), std::string::npos);
    EXPECT_EQ(byBytes.Count(), 3u);
    // and one over the byte limit while the count allows it.
    image::PendingPictures byCount(2, 1);
    byCount.Keep(Failed(m_third, "a"));
    EXPECT_EQ(byCount.Count(), 1u);
}

} // namespace
