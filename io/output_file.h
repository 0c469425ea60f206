// Writing a program's output file so that nothing half-written is ever left
// where the user asked for the file, and every path is honoured: a regular
// file, or a name not yet taken, is replaced whole through a temporary file
// beside it that is renamed into place (a symbolic link is followed to its
// target, which is replaced and keeps its permissions; the link stays); a
// device, a FIFO or /dev/stdout is written directly; "-" is standard output.
// An existing file the user may not write is refused as the shell's ">"
// refuses it ("Permission denied"), although the rename would be allowed.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace egm::io {

// A failure from the system, one line: "cannot write results file 'x': No
// such file or directory".
class FileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class OutputFile {
  public:
    // Opens the output at once, so that a path that cannot be written fails
    // before any work is done. role names the file in messages ("results
    // file"). The temporary file is removed if the program is interrupted
    // (SIGINT, SIGTERM) before commit; each open output registers its own,
    // so any number of outputs open at once are all cleaned up.
    OutputFile(std::string path, std::string role);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view text);
    // Flushes and closes; renames the temporary file into place. Throws
    // FileError; without commit nothing replaces the target.
    void commit();

    const std::string& path() const { return path_; }

  private:
    [[noreturn]] void fail(int error);
    void discard();

    std::string path_;
    std::string role_;
    std::string target_;    // where the file goes: path_ with links followed
    std::string temporary_; // empty when written directly
    int partialSlot_ = -1;  // this output's entry among the temporary files to remove on interruption
    std::FILE* stream_ = nullptr;
    bool toStandardOutput_ = false;
    int error_ = 0; // first write error
};

// From now on an interruption (SIGINT, SIGTERM) writes line (kept by the
// caller for the program's life, ending in a newline) to standard error,
// after removing the temporary files of the outputs being written.
void onInterrupt(const char* line);

// Whether output would be the same file as input: the same device and
// inode, or, where output does not exist yet, the same resolved path.
bool sameFile(const std::string& output, const std::string& input);

// The whole of contents to path, as OutputFile writes it.
void writeOutput(const std::string& path, std::string_view contents, const std::string& role);

// Flushes and checks standard output; returns false (and why, in reason)
// when what was written to it did not all arrive.
bool standardOutputWritten(std::string& reason);

} // namespace egm::io
