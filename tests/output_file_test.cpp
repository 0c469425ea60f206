// The output writer every program uses, and the number and word readers.
#include <csignal>
#include <grp.h>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bits.h"
#include "numbers.h"
#include "output_file.h"
#include "program_run.h"

namespace {

using egm::io::FileError;
using egm::io::OutputFile;
using egm::io::writeOutput;

TEST(Numbers, WholeWordsOnly)
{
    struct Case {
        const char* text;
        bool number;
        double value;
    };
    const Case cases[] = {
        {"23.5", true, 23.5}, {"-1e3", true, -1000.0}, {"0x1.8p+1", true, 3.0}, {"inf", true, kInf},
        {"10kA", false, 0},   {"50m", false, 0},       {"1,5", false, 0},       {"", false, 0},
        {" 1", false, 0},     {"1 ", false, 0},        {"#", false, 0},         {"nan(1)x", false, 0},
    };
    for (const Case& c : cases) {
        double v = -7.0;
        EXPECT_EQ(c.number, egm::io::parseReal(c.text, v)) << c.text;
        if (c.number) {
            EXPECT_SAME_BITS(c.value, v) << c.text;
        }
    }
    double v = 0.0;
    EXPECT_FALSE(egm::io::parseReal(std::string("1\0"
                                                "2",
                                                3),
                                    v)); // a NUL inside
    EXPECT_TRUE(egm::io::parseReal("nan", v));
    EXPECT_TRUE(std::isnan(v));
}

TEST(Numbers, WordsSkipAByteOrderMarkOnlyAtTheStart)
{
    ScratchDir dir;
    const struct {
        std::string text;
        std::vector<std::string> words;
    } cases[] = {
        {"\xEF\xBB\xBF"
         "a b\n c",
         {"a", "b", "c"}},
        {"a \xEF\xBB\xBF"
         "b",
         {"a", "\xEF\xBB\xBF"
               "b"}},
        {"\xEF\xBB"
         "x y",
         {"\xEF\xBB"
          "x",
          "y"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        dir.write("words", c.text);
        std::FILE* f = std::fopen((dir / "words").c_str(), "r");
        egm::io::WordReader reader(f);
        std::vector<std::string> words;
        std::string w;
        while (reader.next(w)) {
            words.push_back(w);
        }
        std::fclose(f);
        EXPECT_EQ(c.words, words) << c.text;
    }
    EXPECT_EQ("a\\x00b\\xff", egm::io::printable(std::string("a\0b\xff", 4)));
}

TEST(OutputFiles, RegularFileReplacedWholeKeepingItsPermissions)
{
    ScratchDir dir;
    dir.write("out.csv", "old");
    ::chmod((dir / "out.csv").c_str(), 0640);
    fs::create_hard_link(dir / "out.csv", dir / "other-name");
    writeOutput((dir / "out.csv").string(), "new", "results file");
    EXPECT_EQ("new", dir.read("out.csv"));
    EXPECT_EQ("old", dir.read("other-name")); // a new file, not the old one rewritten
    struct stat st {};
    ::stat((dir / "out.csv").c_str(), &st);
    EXPECT_EQ(0640u, st.st_mode & 07777);
    EXPECT_EQ((std::vector<std::string>{"other-name", "out.csv"}), dir.entries());
}

TEST(OutputFiles, SymbolicLinkStaysAndItsTargetIsReplaced)
{
    ScratchDir dir;
    fs::create_directory(dir / "real");
    dir.write("real/out.csv", "old");
    fs::create_symlink("real/out.csv", dir / "link.csv");
    fs::create_symlink("link.csv", dir / "link-to-link.csv");
    writeOutput((dir / "link-to-link.csv").string(), "new", "results file");
    EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
    EXPECT_TRUE(fs::is_symlink(dir / "link-to-link.csv"));
    EXPECT_EQ("new", dir.read("real/out.csv"));
    EXPECT_EQ((std::vector<std::string>{"out.csv"}), ScratchDirEntries(dir / "real"));
    // A link to a name not yet taken creates the target.
    fs::create_symlink("real/fresh.csv", dir / "dangling.csv");
    writeOutput((dir / "dangling.csv").string(), "fresh", "results file");
    EXPECT_EQ("fresh", dir.read("real/fresh.csv"));
}

TEST(OutputFiles, FifoIsWrittenAsItIs)
{
    ScratchDir dir;
    ASSERT_EQ(0, ::mkfifo((dir / "pipe").c_str(), 0600));
    const pid_t reader = ::fork();
    if (reader == 0) {
        std::FILE* in = std::fopen((dir / "pipe").c_str(), "r");
        char text[16] = {};
        const std::size_t n = std::fread(text, 1, sizeof text - 1, in);
        ::_exit(n == 5 && std::string(text) == "hello" ? 0 : 1);
    }
    writeOutput((dir / "pipe").string(), "hello", "results file");
    int status = 0;
    ::waitpid(reader, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
    EXPECT_EQ((std::vector<std::string>{"pipe"}), dir.entries());
}

TEST(OutputFiles, FailuresNameTheFileAndTheSystemsReason)
{
    ScratchDir dir;
    fs::create_directory(dir / "folder");
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {(dir / "no" / "such" / "o.csv").string(), "No such file or directory"},
        {(dir / "folder").string(), "Is a directory"},
        {"/dev/full", "No space left on device"},
    };
    for (const auto& c : cases) {
        try {
            writeOutput(c.path, "text", "results file");
            ADD_FAILURE() << c.path << " was written";
        } catch (const FileError& e) {
            EXPECT_EQ("cannot write results file '" + c.path + "': " + c.reason, std::string(e.what()));
        }
    }
    if (::geteuid() != 0) {
        fs::create_directory(dir / "read-only");
        fs::permissions(dir / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_THROW(writeOutput((dir / "read-only" / "o.csv").string(), "x", "results file"), FileError);
        EXPECT_TRUE(fs::is_empty(dir / "read-only"));
    }
    EXPECT_EQ((std::vector<std::string>{"folder"}), dir.entries());
}

TEST(OutputFiles, NothingIsLeftWithoutCommitOrOnInterruption)
{
    ScratchDir dir;
    dir.write("kept.csv", "kept");
    {
        OutputFile out((dir / "kept.csv").string(), "results file");
        out.write("half of it");
        EXPECT_EQ(2u, dir.entries().size()); // the temporary file beside it
    }
    EXPECT_EQ("kept", dir.read("kept.csv"));
    EXPECT_EQ((std::vector<std::string>{"kept.csv"}), dir.entries());

    for (const int signal : {SIGINT, SIGTERM}) {
        const pid_t child = ::fork();
        if (child == 0) {
            OutputFile out((dir / "batch.csv").string(), "results file");
            out.write("rows");
            ::raise(signal);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
        EXPECT_EQ((std::vector<std::string>{"kept.csv"}), dir.entries()) << "signal " << signal;
    }
}

TEST(OutputFiles, AnInterruptionSaysSoInOneLineWhenTheProgramAsks)
{
    ScratchDir dir;
    int pipe[2];
    ASSERT_EQ(0, ::pipe(pipe));
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipe[1], STDERR_FILENO);
        egm::io::onInterrupt("egm-test: interrupted\n");
        OutputFile out((dir / "batch.csv").string(), "results file");
        out.write("rows");
        ::raise(SIGINT);
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string said;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) {
        said.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    EXPECT_EQ("egm-test: interrupted\n", said);
    EXPECT_TRUE(dir.entries().empty());
}

// Any number of outputs may be open at once (egm-study writes a picture and
// its results together); an interruption removes the temporary file of every
// one still open, whichever were opened, finished or abandoned before.
TEST(OutputFiles, InterruptionRemovesTheTemporaryFileOfEveryOpenOutput)
{
    enum class Before { nothing, commitFirst, abandonFirst, abandonLast };
    struct Case {
        const char* name;
        int outputs;
        Before before;
        std::vector<std::string> left; // besides kept.csv
    };
    const Case cases[] = {
        {"two open", 2, Before::nothing, {}},
        {"three open", 3, Before::nothing, {}},
        {"the last of two abandoned", 2, Before::abandonLast, {}},
        {"the first of three abandoned", 3, Before::abandonFirst, {}},
        {"the first of two finished", 2, Before::commitFirst, {"out0.csv"}},
    };
    for (const Case& c : cases) {
        for (const int signal : {SIGINT, SIGTERM}) {
            SCOPED_TRACE(std::string(c.name) + ", signal " + std::to_string(signal));
            ScratchDir dir;
            dir.write("kept.csv", "kept");
            const pid_t child = ::fork();
            if (child == 0) {
                std::vector<std::unique_ptr<OutputFile>> outs;
                for (int i = 0; i < c.outputs; ++i) {
                    outs.push_back(std::make_unique<OutputFile>(
                        (dir / ("out" + std::to_string(i) + ".csv")).string(), "results file"));
                    outs.back()->write("rows");
                }
                if (c.before == Before::commitFirst) {
                    outs.front()->commit();
                } else if (c.before == Before::abandonFirst) {
                    outs.front().reset();
                } else if (c.before == Before::abandonLast) {
                    outs.back().reset();
                }
                ::raise(signal);
                ::_exit(0);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
            std::vector<std::string> left = c.left;
            left.push_back("kept.csv");
            std::sort(left.begin(), left.end());
            EXPECT_EQ(left, dir.entries());
        }
    }
}

// An output is the same file as an input when both names reach one inode
// (links of either kind, another spelling of the path), or, before the
// output exists, when both names resolve to one path.
TEST(OutputFiles, SameFileIsOneInodeOrOneResolvedPath)
{
    ScratchDir dir;
    dir.write("a.txt", "same text");
    dir.write("b.txt", "same text");
    fs::create_directory(dir / "sub");
    fs::create_hard_link(dir / "a.txt", dir / "hard-a.txt");
    fs::create_symlink("a.txt", dir / "link-a.txt");
    fs::create_symlink("sub/new.txt", dir / "dangling.txt");
    const struct {
        const char* output;
        const char* input;
        bool same;
    } cases[] = {
        {"a.txt", "a.txt", true},
        {"sub/../a.txt", "a.txt", true},
        {"./sub/.././a.txt", "sub/../a.txt", true},
        {"hard-a.txt", "a.txt", true},
        {"link-a.txt", "a.txt", true},
        {"a.txt", "link-a.txt", true},
        {"b.txt", "a.txt", false}, // the same text is not the same file
        {"a.txt", "sub", false},
        {"new.txt", "new.txt", true},
        {"sub/../new.txt", "new.txt", true},
        {"dangling.txt", "sub/new.txt", true},
        {"sub/new.txt", "dangling.txt", true},
        {"new.txt", "a.txt", false},
        {"new.txt", "sub/new.txt", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.output) + " over " + c.input);
        EXPECT_EQ(c.same, egm::io::sameFile((dir / c.output).string(), (dir / c.input).string()));
    }
    // Relative names are taken from the working folder.
    const fs::path was = fs::current_path();
    fs::current_path(dir.path());
    EXPECT_TRUE(egm::io::sameFile("sub/../a.txt", (dir / "a.txt").string()));
    EXPECT_TRUE(egm::io::sameFile("fresh.txt", (dir / "fresh.txt").string()));
    EXPECT_FALSE(egm::io::sameFile("fresh.txt", (dir / "sub" / "fresh.txt").string()));
    fs::current_path(was);
}

// An existing file the user may not write is refused as the shell's ">"
// refuses it, although the folder would allow the rename; root keeps root's
// rights. Each case runs in a child process under the user it names.
TEST(OutputFiles, FileTheUserMayNotWriteIsRefused)
{
    const OrdinaryUser user = ordinaryUser("/bin/sh");
    if (!user.unavailable.empty()) {
        GTEST_SKIP() << user.unavailable;
    }
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const struct {
        const char* name;
        bool asRoot;
        fs::perms mode;
        bool refused;
    } cases[] = {
        {"read-only, ordinary user", false, readOnly, true},
        {"no permission, ordinary user", false, fs::perms::none, true},
        {"writable, ordinary user", false, readOnly | fs::perms::owner_write, false},
        {"read-only, root", true, readOnly, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.asRoot && ::geteuid() != 0) {
            continue; // root's rights can only be seen as root
        }
        ScratchDir dir;
        dir.write("r.txt", "old");
        const std::string path = (dir / "r.txt").string();
        const bool switchUser = !c.asRoot && ::geteuid() == 0;
        if (switchUser) {
            ASSERT_EQ(0, ::chown(dir.path().c_str(), user.uid, user.gid));
            ASSERT_EQ(0, ::chown(path.c_str(), user.uid, user.gid));
        }
        fs::permissions(path, c.mode);
        int pipeEnds[2];
        ASSERT_EQ(0, ::pipe(pipeEnds));
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipeEnds[0]);
            if (switchUser &&
                (::setgroups(0, nullptr) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0)) {
                ::_exit(2);
            }
            std::string message;
            try {
                writeOutput(path, "new", "result file");
            } catch (const FileError& e) {
                message = e.what();
            }
            (void)!::write(pipeEnds[1], message.data(), message.size());
            ::_exit(0);
        }
        ::close(pipeEnds[1]);
        std::string message;
        char buffer[256];
        for (ssize_t n = 0; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
            message.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(pipeEnds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could not become the user";
        fs::permissions(path, fs::perms::owner_read, fs::perm_options::add);
        if (c.refused) {
            EXPECT_EQ("cannot write result file '" + path + "': Permission denied", message);
            EXPECT_EQ("old", dir.read("r.txt"));
        } else {
            EXPECT_EQ("", message);
            EXPECT_EQ("new", dir.read("r.txt"));
        }
        EXPECT_EQ((std::vector<std::string>{"r.txt"}), dir.entries());
    }
}

} // namespace
