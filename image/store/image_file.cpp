#include "image/image_file.h"

#include "image/file_publish.h"
#include "vrx4kapi.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kMostNamesPerStamp = 9999;
constexpr int kTemporaryNameAttempts = 100;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // Hands the descriptor over; this one closes nothing afterwards.
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes now, for the caller to see the result. Returns 0 or errno.
    int Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        // Linux releases the descriptor even when close reports EINTR.
        return close(fd) == 0 || errno == EINTR ? 0 : errno;
    }

private:
    int m_fd;
};

// "The folder /x" when the current directory can be named; once it has been
// removed it has no name left, so "The destination folder".
std::string FolderForMessages()
{
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::current_path(error);
    return error ? std::string("The destination folder") : "The folder " + folder.string();
}

std::string DescribeFailure(int error)
{
    const std::string folder = FolderForMessages();
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return folder + " is not writable.";
    case ENOENT:
        return folder + " no longer exists.";
    default:
        return folder + " cannot take the picture: " + std::generic_category().message(error) + ".";
    }
}

// A hidden name that no picture can have, so a half-written file never shows
// under a picture's name. It carries the picture's stamp and extension, so
// that one left behind by a crash can be recognised:
// .tavren-20261208_101530_4.JPG-x7Qa2k
std::string RandomTemporaryName(const std::string &timeStamp, const std::string &extension)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof(kLetters) - 2);
    std::string name = ".tavren-" + timeStamp + extension + "-";
    for (int i = 0; i < 6; ++i)
        name += kLetters[pick(generator)];
    return name;
}

// Created with 0666 so that the kernel applies the umask (and any default
// ACL) as for any new file.
int CreateTemporaryFile(int directory, const std::string &timeStamp, const std::string &extension,
                        std::string &name)
{
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        name = RandomTemporaryName(timeStamp, extension);
        const int fd =
            openat(directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

enum class PublishWay { Rename, Link, Copy };

image::PublishOutcome PublishOneWay(PublishWay way, int directory, const std::string &temporaryName,
                                    const std::string &name, const uint8_t *bytes,
                                    uint32_t byteCount, int &error)
{
    switch (way) {
    case PublishWay::Rename:
        return image::PublishByRename(directory, temporaryName.c_str(), name.c_str(), error);
    case PublishWay::Link:
        return image::PublishByLink(directory, temporaryName.c_str(), name.c_str(), error);
    case PublishWay::Copy:
        break;
    }
    return image::PublishByCopy(directory, name.c_str(), bytes, byteCount, error);
}

// Tries <stamp>.EXT, <stamp>_2.EXT, ... from the name's number on, and
// returns the name used (its number updated), or sets error.
std::string PublishUnderFreeName(int directory, const std::string &temporaryName, image::PictureName &candidate,
                                 const uint8_t *bytes, uint32_t byteCount, int &error)
{
    using image::PublishOutcome;
    PublishWay way = PublishWay::Rename;
    for (int &number = candidate.number; number <= kMostNamesPerStamp;) {
        const std::string name = candidate.FileName();
        const PublishOutcome outcome =
            PublishOneWay(way, directory, temporaryName, name, bytes, byteCount, error);
        switch (outcome) {
        case PublishOutcome::Published:
            if (way != PublishWay::Rename)
                unlinkat(directory, temporaryName.c_str(), 0);
            return name;
        case PublishOutcome::NameTaken:
            ++number;
            break;
        case PublishOutcome::Unsupported:
            if (way == PublishWay::Copy)
                return {};
            way = way == PublishWay::Rename ? PublishWay::Link : PublishWay::Copy;
            break;
        case PublishOutcome::Failed:
            return {};
        }
    }
    error = EEXIST;
    return {};
}

// Makes the new name survive a crash. An O_PATH descriptor cannot be synced,
// so the folder is opened again for reading; a folder that may not be read
// (write-only, a drop folder) cannot be, and is left to the filesystem. The
// picture is stored either way, so a failure here is not reported.
void SyncFolder(int directory)
{
    FileDescriptor readable(openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (readable.IsOpen())
        fsync(readable.Get());
}

} // namespace

std::string FormatTimeStamp(const platform::LocalTime &time)
{
    char stamp[260];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d_%02d%02d%02d_%01d", time.year, time.month,
                  time.day, time.hour, time.minute, time.second, time.milliseconds / 100);
    return stamp;
}

const char *ImageFileExtension(int32_t imageType)
{
    return imageType == CAMERA_IMAGE_RAW ? ".RWQ" : ".JPG";
}

StagedImageFile::StagedImageFile(StagedImageFile &&other) noexcept
    : m_directory(other.m_directory), m_temporaryName(std::move(other.m_temporaryName)),
      m_error(std::move(other.m_error))
{
    other.m_directory = -1;
    other.m_temporaryName.clear();
}

StagedImageFile &StagedImageFile::operator=(StagedImageFile &&other) noexcept
{
    if (this != &other) {
        Discard();
        m_directory = other.m_directory;
        m_temporaryName = std::move(other.m_temporaryName);
        m_error = std::move(other.m_error);
        other.m_directory = -1;
        other.m_temporaryName.clear();
    }
    return *this;
}

StagedImageFile::~StagedImageFile()
{
    Discard();
}

void StagedImageFile::Discard()
{
    if (m_directory >= 0) {
        if (!m_temporaryName.empty())
            unlinkat(m_directory, m_temporaryName.c_str(), 0);
        close(m_directory);
    }
    m_directory = -1;
    m_temporaryName.clear();
}

StagedImageFile StageImageBytes(const std::string &timeStamp, const std::string &extension, const uint8_t *bytes,
                                uint32_t byteCount)
{
    StagedImageFile staged;
    if (bytes == nullptr && byteCount != 0) {
        staged.m_error = "There are no picture bytes to store.";
        return staged;
    }

    // One descriptor for the folder, so that every step lands in the same
    // folder even if the current directory changes meanwhile. O_PATH needs no
    // read permission: a folder one may write into but not list works too.
    FileDescriptor directory(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!directory.IsOpen()) {
        staged.m_error = DescribeFailure(errno);
        return staged;
    }

    std::string temporaryName;
    FileDescriptor file(CreateTemporaryFile(directory.Get(), timeStamp, extension, temporaryName));
    if (!file.IsOpen()) {
        staged.m_error = DescribeFailure(errno);
        return staged;
    }

    int error = image::WriteAll(file.Get(), bytes, byteCount);
    if (error == 0 && fsync(file.Get()) != 0)
        error = errno;
    const int closeError = file.Close();
    if (error == 0)
        error = closeError;
    if (error != 0) {
        unlinkat(directory.Get(), temporaryName.c_str(), 0);
        staged.m_error = DescribeFailure(error);
        return staged;
    }
    staged.m_directory = directory.Release();
    staged.m_temporaryName = std::move(temporaryName);
    return staged;
}

SaveResult PublishStagedImage(StagedImageFile &staged, const image::PictureName &name, const uint8_t *bytes,
                              uint32_t byteCount)
{
    SaveResult result;
    if (!staged.Staged()) {
        result.error = staged.m_error.empty() ? "The picture could not be stored." : staged.m_error;
        staged.Discard();
        return result;
    }
    image::PictureName candidate = name;
    if (candidate.number < 1)
        candidate.number = 1;
    int error = 0;
    result.fileName =
        PublishUnderFreeName(staged.m_directory, staged.m_temporaryName, candidate, bytes, byteCount, error);
    if (result.fileName.empty()) {
        result.error = DescribeFailure(error);
        staged.Discard(); // removes the temporary file
        return result;
    }
    SyncFolder(staged.m_directory);
    // Renamed, or linked or copied and the temporary file removed: nothing left to discard.
    staged.m_temporaryName.clear();
    staged.Discard();
    // Nothing from here on may throw: the picture is stored, and a failure
    // reported now would have it kept and stored a second time.
    result.name = std::move(candidate);
    result.saved = true;
    return result;
}

SaveResult SaveImageBytes(const image::PictureName &name, const uint8_t *bytes, uint32_t byteCount)
{
    StagedImageFile staged = StageImageBytes(name.timeStamp, name.extension, bytes, byteCount);
    return PublishStagedImage(staged, name, bytes, byteCount);
}

SaveResult SaveImageBytes(const std::string &timeStamp, int32_t imageType, const uint8_t *bytes,
                          uint32_t byteCount)
{
    return SaveImageBytes(image::PictureName{timeStamp, 1, ImageFileExtension(imageType)}, bytes, byteCount);
}
