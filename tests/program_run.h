// Running a built program end to end in a scratch folder of its own.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

// Names of the entries in a folder, sorted.
inline std::vector<std::string> ScratchDirEntries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the test.
class ScratchDir {
  public:
    ScratchDir()
    {
        std::string pattern = (fs::temp_directory_path() / "egm-test-XXXXXX").string();
        path_ = fs::path(::mkdtemp(pattern.data()));
    }
    ~ScratchDir()
    {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

    void write(const std::string& name, const std::string& contents) const
    {
        std::ofstream(path_ / name, std::ios::binary) << contents;
    }
    std::string read(const std::string& name) const { return readFile(path_ / name); }

    // Names of the entries in the folder, sorted.
    std::vector<std::string> entries() const { return ScratchDirEntries(path_); }

    static std::string readFile(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

  private:
    fs::path path_;
};

struct ProgramRun {
    std::string out;
    std::string err;
    int status = -1;
};

inline std::string shellQuoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') {
            q += "'\\''";
        } else {
            q += c;
        }
    }
    return q + "'";
}

// Runs program with args in dir, started through launcher (a command that
// runs the rest of its words, such as setpriv; none when empty). Standard
// output and error are captured in files outside dir, so that dir holds only
// what the program leaves. Standard output goes to stdoutPath instead when
// one is given.
inline ProgramRun runProgramThrough(const std::vector<std::string>& launcher, const std::string& program,
                                    const fs::path& dir, const std::vector<std::string>& args,
                                    const std::string& input = "", const std::string& stdoutPath = "")
{
    static int counter = 0;
    const fs::path capture = fs::temp_directory_path() /
                             ("egm-run-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::create_directories(capture);
    std::string command = "cd " + shellQuoted(dir.string()) + " &&";
    for (const std::string& word : launcher) {
        command += ' ' + shellQuoted(word);
    }
    command += ' ' + shellQuoted(program);
    for (const std::string& a : args) {
        command += ' ';
        command += shellQuoted(a);
    }
    if (!input.empty()) {
        std::ofstream(capture / "in", std::ios::binary) << input;
        command += " <" + shellQuoted((capture / "in").string());
    } else {
        command += " </dev/null";
    }
    command += " >" + shellQuoted(stdoutPath.empty() ? (capture / "out").string() : stdoutPath) + " 2>" +
               shellQuoted((capture / "err").string());
    const int raw = std::system(command.c_str());
    ProgramRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ScratchDir::readFile(capture / "out");
    run.err = ScratchDir::readFile(capture / "err");
    fs::remove_all(capture);
    return run;
}

inline ProgramRun runProgram(const std::string& program, const fs::path& dir,
                             const std::vector<std::string>& args, const std::string& input = "",
                             const std::string& stdoutPath = "")
{
    return runProgramThrough({}, program, dir, args, input, stdoutPath);
}

// An ordinary user's identity to run programs under, so that tests of file
// permissions mean what they say when the tests themselves run as root.
struct OrdinaryUser {
    std::vector<std::string> launcher; // words that run a command as that user; none when already one
    uid_t uid = 0;
    gid_t gid = 0;
    std::string unavailable; // why no such user can be had; empty when one can
};

// The user the tests run as when it is not root; as root, "nobody" (65534)
// through setpriv, when setpriv can switch to it and that user can run
// program (the build folder may be closed to it).
inline OrdinaryUser ordinaryUser(const std::string& program)
{
    OrdinaryUser user;
    user.uid = ::geteuid();
    user.gid = ::getegid();
    if (user.uid != 0) {
        return user;
    }
    user.uid = 65534;
    user.gid = 65534;
    user.launcher = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    std::string probe = "cd / &&";
    for (const std::string& word : user.launcher) {
        probe += ' ' + shellQuoted(word);
    }
    const std::string quiet = " >/dev/null 2>&1";
    if (std::system((probe + " true" + quiet).c_str()) != 0) {
        user.unavailable = "running as root, and setpriv cannot switch to user 65534";
    } else if (std::system((probe + " test -x " + shellQuoted(program) + quiet).c_str()) != 0) {
        user.unavailable = "running as root, and user 65534 cannot run " + program;
    }
    return user;
}

inline int lineCount(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}
