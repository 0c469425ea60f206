#include "output_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace egm::io {

namespace fs = std::filesystem;

namespace {

// The temporary file of the output being written, removed by the signal
// handler on interruption. One at a time: the programs write one output.
char gPartial[4096];
std::atomic<bool> gPartialSet{false};

extern "C" void removePartialAndStop(int signal)
{
    if (gPartialSet.load()) {
        ::unlink(gPartial);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void registerPartial(const std::string& path)
{
    if (path.size() >= sizeof gPartial) {
        return;
    }
    std::memcpy(gPartial, path.c_str(), path.size() + 1);
    gPartialSet = true;
    static const bool installed = [] {
        std::signal(SIGINT, removePartialAndStop);
        std::signal(SIGTERM, removePartialAndStop);
        return true;
    }();
    (void)installed;
}

void unregisterPartial()
{
    gPartialSet = false;
}

// The file a path names once symbolic links are followed (up to 40 of
// them); the path itself when it is no link.
fs::path followLinks(const fs::path& path)
{
    fs::path p = path;
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) {
            return p;
        }
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) {
            return p;
        }
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return p;
}

mode_t creationMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

OutputFile::OutputFile(std::string path, std::string role) : path_(std::move(path)), role_(std::move(role))
{
    if (path_ == "-") {
        toStandardOutput_ = true;
        stream_ = stdout;
        return;
    }
    target_ = followLinks(path_).string();
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            fail(EISDIR);
        }
        // A device, a FIFO, a terminal: written as it is.
        errno = 0;
        stream_ = std::fopen(target_.c_str(), "w");
        if (stream_ == nullptr) {
            fail(errno);
        }
        return;
    }
    std::string pattern = target_ + ".XXXXXX.partial";
    errno = 0;
    const int fd = ::mkstemps(pattern.data(), static_cast<int>(std::strlen(".partial")));
    if (fd < 0) {
        fail(errno);
    }
    temporary_ = pattern;
    registerPartial(temporary_);
    ::fchmod(fd, exists ? (st.st_mode & 07777) : creationMode());
    stream_ = ::fdopen(fd, "w");
    if (stream_ == nullptr) {
        const int error = errno;
        ::close(fd);
        discard();
        fail(error);
    }
}

OutputFile::~OutputFile()
{
    if (stream_ != nullptr && !toStandardOutput_) {
        std::fclose(stream_);
    }
    discard();
}

void OutputFile::discard()
{
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        unregisterPartial();
        temporary_.clear();
    }
}

void OutputFile::fail(int error)
{
    throw FileError("cannot write " + role_ + " '" + path_ +
                    "': " + (error != 0 ? std::strerror(error) : "write error"));
}

void OutputFile::write(std::string_view text)
{
    if (error_ != 0 || text.empty()) {
        return;
    }
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) {
        error_ = errno != 0 ? errno : EIO;
    }
}

void OutputFile::commit()
{
    errno = 0;
    if (std::fflush(stream_) != 0 && error_ == 0) {
        error_ = errno != 0 ? errno : EIO;
    }
    if (toStandardOutput_) {
        if (error_ != 0) {
            fail(error_);
        }
        return;
    }
    std::FILE* stream = stream_;
    stream_ = nullptr;
    errno = 0;
    if (std::fclose(stream) != 0 && error_ == 0) {
        error_ = errno != 0 ? errno : EIO;
    }
    if (error_ != 0) {
        discard();
        fail(error_);
    }
    if (!temporary_.empty()) {
        errno = 0;
        if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
            const int error = errno;
            discard();
            fail(error);
        }
        unregisterPartial();
        temporary_.clear();
    }
}

void writeOutput(const std::string& path, std::string_view contents, const std::string& role)
{
    OutputFile out(path, role);
    out.write(contents);
    out.commit();
}

bool standardOutputWritten(std::string& reason)
{
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    const int error = errno;
    if (flushed) {
        return true;
    }
    reason = error != 0 ? std::strerror(error) : "write error";
    return false;
}

} // namespace egm::io
