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

// The temporary files of the outputs being written, removed by the signal
// handler on interruption. Each open output holds one entry of its own; an
// entry is read by the handler only once its name is whole, and the table
// is fixed in size so that the handler touches no allocated memory.
constexpr int kPartialSlots = 64;
constexpr int kSlotFree = 0;
constexpr int kSlotFilling = 1;
constexpr int kSlotSet = 2;

struct PartialSlot {
    std::atomic<int> state{kSlotFree};
    char path[4096];
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slots' states");

PartialSlot gPartials[kPartialSlots];

// The line written on interruption, if the program set one.
std::atomic<const char*> gInterruptLine{nullptr};

extern "C" void removePartialsAndStop(int signal)
{
    for (PartialSlot& slot : gPartials) {
        if (slot.state.load() == kSlotSet) {
            ::unlink(slot.path);
        }
    }
    if (const char* line = gInterruptLine.load()) {
        const ssize_t written = ::write(STDERR_FILENO, line, std::strlen(line));
        (void)written; // nothing more to do about a failed write here
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void installHandlers()
{
    static const bool installed = [] {
        std::signal(SIGINT, removePartialsAndStop);
        std::signal(SIGTERM, removePartialsAndStop);
        return true;
    }();
    (void)installed;
}

} // namespace

void onInterrupt(const char* line)
{
    gInterruptLine = line;
    installHandlers();
}

namespace {

// Takes a free entry for a temporary file yet to be named; -1 when every
// entry is taken.
int claimPartialSlot()
{
    installHandlers();
    for (int i = 0; i < kPartialSlots; ++i) {
        int expected = kSlotFree;
        if (gPartials[i].state.compare_exchange_strong(expected, kSlotFilling)) {
            return i;
        }
    }
    return -1;
}

// Names the temporary file of a claimed entry; from here on an interruption
// removes it.
void setPartial(int slot, const std::string& path)
{
    if (path.size() >= sizeof gPartials[slot].path) {
        return; // longer than any name the system accepts: never created
    }
    std::memcpy(gPartials[slot].path, path.c_str(), path.size() + 1);
    gPartials[slot].state = kSlotSet;
}

void releasePartialSlot(int& slot)
{
    if (slot >= 0) {
        gPartials[slot].state = kSlotFree;
        slot = -1;
    }
}

// SIGINT and SIGTERM held back on this thread between creating a temporary
// file and registering it, so that an interruption cannot fall in between.
class InterruptionsHeld {
  public:
    InterruptionsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        sigaddset(&held, SIGINT);
        sigaddset(&held, SIGTERM);
        ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~InterruptionsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

  private:
    sigset_t previous_;
};

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

// The absolute name of path with symbolic links, "." and ".." resolved as
// far as the path exists; false when it cannot be worked out.
bool resolved(const std::string& path, fs::path& name)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(followLinks(path), ec);
    if (ec) {
        return false;
    }
    name = fs::weakly_canonical(absolute, ec);
    return !ec;
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
    if (exists) {
        // The rename below needs only the folder's permission; the file's
        // own is honoured here, as opening it for writing would. Root keeps
        // root's rights.
        errno = 0;
        if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
            fail(errno);
        }
    }
    partialSlot_ = claimPartialSlot();
    if (partialSlot_ < 0) {
        throw FileError("cannot write " + role_ + " '" + path_ + "': more than " +
                        std::to_string(kPartialSlots) + " output files open at once");
    }
    std::string pattern = target_ + ".XXXXXX.partial";
    int fd = -1;
    int createError = 0;
    {
        const InterruptionsHeld held;
        errno = 0;
        fd = ::mkstemps(pattern.data(), static_cast<int>(std::strlen(".partial")));
        createError = errno;
        if (fd >= 0) {
            setPartial(partialSlot_, pattern);
        }
    }
    if (fd < 0) {
        releasePartialSlot(partialSlot_);
        fail(createError);
    }
    temporary_ = pattern;
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
        temporary_.clear();
    }
    releasePartialSlot(partialSlot_);
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
        releasePartialSlot(partialSlot_);
        temporary_.clear();
    }
}

bool sameFile(const std::string& output, const std::string& input)
{
    struct stat in {};
    const bool inputExists = ::stat(input.c_str(), &in) == 0;
    struct stat out {};
    // "-" is standard output, which may itself be the input file.
    const bool outputExists =
        output == "-" ? ::fstat(STDOUT_FILENO, &out) == 0 : ::stat(output.c_str(), &out) == 0;
    if (outputExists) {
        return inputExists && out.st_dev == in.st_dev && out.st_ino == in.st_ino;
    }
    if (output == "-") {
        return false;
    }
    // Not there yet: the same name once the folders, ".", ".." and symbolic
    // links on the way are resolved (a link to a name not yet taken included).
    fs::path resolvedOutput;
    fs::path resolvedInput;
    return resolved(output, resolvedOutput) && resolved(input, resolvedInput) &&
           resolvedOutput == resolvedInput;
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
