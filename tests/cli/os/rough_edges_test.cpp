// The tool where the Linux world is unkind (these need POSIX calls, so they run natively only):
// nohup, FIFOs and other odd files, sizes past the signed range, file systems without the usual
// rename and link, a killed join, a full disk.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <thread>

#include "tests/cli/test_support.h"

namespace {

// A signal's disposition for the length of a scope.
class SignalDisposition {
 public:
  SignalDisposition(int number, void (*handler)(int)) : number_(number) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(number, &action, &old_);
  }
  ~SignalDisposition() { sigaction(number_, &old_, nullptr); }

 private:
  int number_;
  struct sigaction old_;
};

int HangUpWhileCopying(OsCall call) {
  if (call == OsCallCopy) {
    raise(SIGHUP);
    raise(SIGINT);
  }
  return 0;
}

TEST_F(CliTest, SignalsIgnoredAtStartStayIgnored) {
  WriteSet("s", "out.bin", {"ab", "cde", "fghi"});
  OsFaultHook = HangUpWhileCopying;
  {
    // As under nohup, or in a background job of a shell: the hang-up and Ctrl-C go unheard.
    SignalDisposition hangUp(SIGHUP, SIG_IGN), interrupt(SIGINT, SIG_IGN);
    EXPECT_EQ(Run({"join", "s.exe", "-q"}), ExitComplete) << Err();
    EXPECT_EQ(Read("out.bin"), "abcdefghi");
    struct sigaction now;
    sigaction(SIGHUP, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
  }
  ASSERT_EQ(unlink(Path("out.bin").c_str()), 0);
  {
    SignalDisposition hangUp(SIGHUP, SIG_DFL), interrupt(SIGINT, SIG_DFL);
    EXPECT_EQ(Run({"join", "s.exe", "-q"}), ExitInterrupted);
    EXPECT_EQ(List(), (std::set<std::string>{"s.exe", "s.c001", "s.c002"}));
  }
}

void NoAlarm(int) {}

class OddFiles : public CliTest {
 protected:
  // Runs the tool with an alarm: an open that would wait forever is broken off (the handler has
  // no SA_RESTART), so a fault shows as a wrong answer, not as a test that never ends.
  int RunWithAlarm(std::vector<std::string> args) {
    SignalDisposition alarmHandler(SIGALRM, NoAlarm);
    alarm(5);
    int code = Run(std::move(args));
    alarm(0);
    return code;
  }
};

struct OddPiece {
  const char* what;
  int code;
  std::string joinText;
  std::string infoText;
};

TEST_F(OddFiles, GetOneAnswerFromJoinAndInfoAndNeverAWait) {
  Write("s.exe", ContainerBytes(Texts("out.bin", "9"), "ab"));
  Mkdir("out");
  const OddPiece cases[] = {
      {"fifo", ExitFileError, "file system error: s.c001 is not a regular file",
       "file-system error: s.c001 is not a regular file"},
      {"folder", ExitFileError, "file system error: s.c001 is not a regular file",
       "file-system error: s.c001 is not a regular file"},
      {"link to nothing", ExitMissingPiece, "piece 1 is missing: s.c001 not found",
       "missing (looked for s.c001)"},
  };
  for (const OddPiece& c : cases) {
    std::string what = c.what;
    if (what == "fifo") ASSERT_EQ(mkfifo(Path("s.c001").c_str(), 0644), 0);
    if (what == "folder") Mkdir("s.c001");
    if (what == "link to nothing") ASSERT_EQ(symlink("nowhere", Path("s.c001").c_str()), 0);
    EXPECT_EQ(RunWithAlarm({"join", "s.exe", "-o", "out"}), c.code) << what;
    EXPECT_NE(Err().find(c.joinText), std::string::npos) << what << ": " << Err();
    EXPECT_EQ(RunWithAlarm({"info", "s.exe"}), c.code) << what;
    EXPECT_NE(Out().find(c.infoText), std::string::npos) << what << ": " << Out();
    EXPECT_EQ(remove(Path("s.c001").c_str()), 0);
  }
  // A pieces folder past PATH_MAX: the same file-system error from both.
  std::string deep;
  for (int i = 0; i < 2100; i++) deep += "d/";
  EXPECT_EQ(Run({"join", "s.exe", "-o", "out", "-p", deep}), ExitFileError);
  EXPECT_NE(Err().find("File name too long"), std::string::npos) << Err();
  EXPECT_EQ(Run({"info", "s.exe", "-p", deep}), ExitFileError);
  EXPECT_NE(Out().find("File name too long"), std::string::npos) << Out();
  EXPECT_EQ(List("out"), std::set<std::string>{});

  // A FIFO as the container is refused; as the file to split it is read as a stream, once a
  // writer comes: until then split waits, and Ctrl+C ends the wait with nothing made.
  ASSERT_EQ(mkfifo(Path("f.exe").c_str(), 0644), 0);
  EXPECT_EQ(RunWithAlarm({"join", "f.exe"}), ExitBadContainer);
  EXPECT_NE(Err().find("f.exe: not a container: not a regular file"), std::string::npos) << Err();
  EXPECT_EQ(RunWithAlarm({"info", "f.exe"}), ExitBadContainer);
  ASSERT_EQ(mkfifo(Path("in.bin").c_str(), 0644), 0);
  {
    SignalDisposition alarmHandler(SIGALRM, [](int) { CliInterrupted = 1; });
    alarm(1);
    EXPECT_EQ(Run({"split", "in.bin"}), ExitInterrupted) << Err();
    alarm(0);
    CliInterrupted = 0;
  }
  EXPECT_EQ(List(), (std::set<std::string>{"s.exe", "out", "f.exe", "in.bin"}));
}

// Reads a FIFO to its end on a thread of its own, as a program at the other end of a pipe does.
class FifoReader {
 public:
  explicit FifoReader(const std::string& path)
      : fifo_(open(path.c_str(), O_PATH | O_CLOEXEC)),
        thread_([this] { ReadFileBytes(Reopened(), &bytes_); }) {}
  // What came through. A reader still waiting for a writer is let go first (the writer never came,
  // or the FIFO lost its name meanwhile: it is reached through the descriptor held from the start).
  std::string Finish() {
    int writer = open(Reopened().c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer >= 0) close(writer);
    thread_.join();
    close(fifo_);
    return bytes_;
  }

 private:
  std::string Reopened() const { return "/proc/self/fd/" + std::to_string(fifo_); }
  int fifo_;
  std::string bytes_;
  std::thread thread_;
};

bool IsKind(const std::string& path, mode_t kind) {
  struct stat info = {};
  return lstat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == kind;
}

// An output that is a character device or a FIFO (or a link to one) is written into as it is,
// --force or not: every byte in order, zeros too, and nothing beside it. It is never replaced
// (as root, a rename over /dev/null would remove the device); nor is anything but a regular file.
TEST_F(OddFiles, AnOutputThatIsADeviceOrAFifoIsWrittenIntoNeverReplaced) {
  const std::string data =
      std::string(40000, '\0') + Pattern(150000, 9) + std::string(300000, '\0');
  Write("data.bin", data);
  ASSERT_EQ(Run({"split", "data.bin", "--size", "100000", "-q"}), ExitComplete)
      << Err();  // with digests
  Remove("data.bin");
  WriteSet("plain", "plain.bin", {data.substr(0, 200000), data.substr(200000)});  // without
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink("fifo", Path("to-fifo").c_str()), 0);
  const std::set<std::string> set = List();
  for (const char* container : {"data.exe", "plain.exe"}) {
    for (const char* output : {"fifo", "to-fifo"}) {
      for (const char* force : {"-q", "--force"}) {
        SCOPED_TRACE(std::string(container) + " -o " + output + " " + force);
        FifoReader reader(Path("fifo"));
        EXPECT_EQ(RunWithAlarm({"join", container, "-o", output, "-q", force}), ExitComplete)
            << Err();
        EXPECT_TRUE(reader.Finish() == data);
        EXPECT_TRUE(IsKind(Path("fifo"), S_IFIFO) && IsKind(Path("to-fifo"), S_IFLNK));
        EXPECT_EQ(List(), set) << "nothing beside it";
      }
    }
  }
  // /dev/null without --force (with it, a fault would cost the machine its /dev/null); a device
  // of our own with it, where one can be made.
  EXPECT_EQ(Run({"join", "data.exe", "-o", "/dev/null"}), ExitComplete) << Err();
  EXPECT_NE(Out().find("/dev/null: complete, 490000 bytes from 6 files"), std::string::npos)
      << Out();
  EXPECT_TRUE(IsKind("/dev/null", S_IFCHR));
  if (mknod(Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    EXPECT_EQ(Run({"join", "data.exe", "-o", "null", "--force", "-q"}), ExitComplete) << Err();
    EXPECT_TRUE(IsKind(Path("null"), S_IFCHR));
    Remove("null");
  }
  // A link to a regular file is not one: it is not replaced, --force or not.
  Write("target", "kept");
  ASSERT_EQ(symlink("target", Path("to-file").c_str()), 0);
  EXPECT_EQ(Run({"join", "data.exe", "-o", "to-file", "--force"}), ExitRefused);
  EXPECT_NE(Err().find("to-file is not a regular file, and nothing else is replaced"),
            std::string::npos)
      << Err();
  EXPECT_TRUE(IsKind(Path("to-file"), S_IFLNK));
  EXPECT_EQ(Read("target"), "kept");
  // Nor does a forced split replace a FIFO under a name of its set.
  Write("d.bin", data);
  ASSERT_EQ(mkfifo(Path("d.c002").c_str(), 0644), 0);
  EXPECT_EQ(RunWithAlarm({"split", "d.bin", "--size", "100000", "--force"}), ExitRefused);
  EXPECT_NE(Err().find("d.c002 is not a regular file, and nothing else is replaced"),
            std::string::npos)
      << Err();
  EXPECT_TRUE(IsKind(Path("d.c002"), S_IFIFO));
}

// Three sparse files of 2^62 bytes: their data adds up past 2^63 - 1.
TEST_F(CliTest, SizesPastTheSignedRangeAreNotAValidSet) {
  char folder[] = "/dev/shm/tarnovell-huge-XXXXXX";
  if (mkdtemp(folder) == nullptr) GTEST_SKIP() << "no /dev/shm (tmpfs) here: " << strerror(errno);
  struct Remover {
    std::string path;
    ~Remover() { scratch::RemoveFolder(path); }
  } remover{folder};
  const std::string set = std::string(folder) + "/h";
  ASSERT_TRUE(
      WriteWholeFile(set + ".exe", ContainerBytes(Texts("huge.bin", "9223372036854775807"), "")));
  ASSERT_TRUE(WriteWholeFile(set + ".c001", "") && WriteWholeFile(set + ".c002", ""));
  for (const char* name : {".exe", ".c001", ".c002"}) {
    if (truncate((set + name).c_str(), 1ll << 62) != 0) {
      ASSERT_EQ(errno, EFBIG) << strerror(errno);
      GTEST_SKIP() << "the file system of /dev/shm refuses a file of 2^62 bytes";
    }
  }
  Mkdir("out");
  EXPECT_EQ(Run({"join", set + ".exe", "-o", "out", "-q"}), ExitBadContainer);
  EXPECT_NE(Err().find("not a valid set: with " + set +
                       ".c002 its files hold more than 9223372036854775807 bytes"),
            std::string::npos)
      << Err();
  EXPECT_EQ(List("out"), std::set<std::string>{});
  EXPECT_EQ(Run({"info", set + ".exe"}), ExitBadContainer);
  EXPECT_NE(Out().find("h.c001" + std::string(23, ' ') + "4611686018427387904 bytes\n"),
            std::string::npos)
      << Out();
  EXPECT_NE(Out().find("Result:    not a valid set"), std::string::npos) << Out();
}

// As some FUSE mounts: renameat2 knows no RENAME_NOREPLACE, and there are no hard links. A file
// that appears under the output's name while the join runs shows whether the last step replaces.
std::string AppearingFile;

int NoNoReplaceNorLinks(OsCall call) {
  if (call == OsCallCopy && !AppearingFile.empty()) WriteWholeFile(AppearingFile, "appeared");
  if (call == OsCallRenameNoReplace) return EINVAL;
  if (call == OsCallLink) return EPERM;
  return 0;
}

TEST_F(CliTest, WithoutNoReplaceRenamesOrHardLinksNothingIsReplaced) {
  OsFaultHook = NoNoReplaceNorLinks;
  AppearingFile.clear();
  std::string data = Pattern(100000);
  Write("data.bin", data);
  ASSERT_EQ(Run({"split", "data.bin", "--size", "40000", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(List(),
            (std::set<std::string>{"data.bin", "data.exe", "data.c001", "data.c002", "data.c003"}));
  Mkdir("out");
  ASSERT_EQ(Run({"join", "data.exe", "-o", "out", "-q"}), ExitComplete) << Err();
  EXPECT_TRUE(Read("out/data.bin") == data);

  AppearingFile = Path("out/late.bin");
  EXPECT_EQ(Run({"join", "data.exe", "-o", "out/late.bin"}), ExitRefused);
  EXPECT_NE(Err().find("cannot write out/late.bin: it exists"), std::string::npos) << Err();
  EXPECT_EQ(Read("out/late.bin"), "appeared");
  EXPECT_EQ(List("out"), (std::set<std::string>{"data.bin", "late.bin"}))
      << "no temporary file is left";
  AppearingFile.clear();
}

// The third file of a forced split cannot be put in place: the two before it, which replaced an
// older set's, go again, and the message does not claim that nothing changed. The pieces go in
// place before the container: the older container is left, never a new one.
int FailTheThirdReplacingRename(OsCall call) {
  static int renames = 0;
  if (call != OsCallRenameReplace) return 0;
  if (++renames < 3) return 0;
  renames = 0;
  return EIO;
}

// Where nothing is replaced: the third file put in place fails, by a rename or by the link that
// names a nameless file (not those that test the folder, right after a nameless create).
int FailTheThirdPutInPlace(OsCall call) {
  static int placed = 0;
  static bool probing = false;
  if (call == OsCallNamelessCreate) probing = true;
  if (call == OsCallCopy) probing = false;
  bool placing = call == OsCallRenameReplace || (call == OsCallLink && !probing);
  if (!placing || ++placed < 3) return 0;
  placed = 0;
  return EIO;
}

TEST_F(CliTest, AForcedSplitThatFailsInPlaceSaysWhatItReplaced) {
  Write("data.bin", Pattern(100000));
  ASSERT_EQ(Run({"split", "data.bin", "--size", "40000", "-q"}), ExitComplete) << Err();
  std::string older3 = Read("data.c003"), olderContainer = Read("data.exe");
  Write("data.bin", Pattern(100000, 5));
  OsFaultHook = FailTheThirdReplacingRename;
  EXPECT_EQ(Run({"split", "data.bin", "--size", "40000", "-q", "--force"}), ExitFileError);
  EXPECT_NE(Err().find("data.c003: "), std::string::npos) << Err();
  EXPECT_NE(Err().find("and the 2 files of an older set that it had replaced are gone"),
            std::string::npos)
      << Err();
  EXPECT_EQ(List(), (std::set<std::string>{"data.bin", "data.exe", "data.c003"}));
  EXPECT_TRUE(Read("data.c003") == older3) << "the older set's piece 3 is left as it was";
  EXPECT_TRUE(Read("data.exe") == olderContainer) << "the older container is left as it was";
  // Into an empty folder nothing is replaced, and nothing is left.
  Mkdir("fresh");
  OsFaultHook = FailTheThirdPutInPlace;
  EXPECT_EQ(Run({"split", "data.bin", "--size", "40000", "-q", "--force", "-d", "fresh"}),
            ExitFileError);
  EXPECT_NE(Err().find("; nothing was left behind"), std::string::npos) << Err();
  EXPECT_EQ(List("fresh"), std::set<std::string>{});
}

int KillOnThirdChunk(OsCall call) {
  static int chunks = 0;
  if (call == OsCallCopy && ++chunks == 3) raise(SIGKILL);
  return 0;
}

TEST_F(CliTest, AKilledJoinLeavesNothing) {
  int probe = open(dir_.c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (probe < 0)
    GTEST_SKIP() << "no nameless files (O_TMPFILE) on this file system: " << strerror(errno);
  close(probe);
  Write("data.bin", Pattern(100000));
  ASSERT_EQ(Run({"split", "data.bin", "--size", "40000", "-q"}), ExitComplete) << Err();
  Mkdir("out");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    OsFaultHook = KillOnThirdChunk;
    RunCliArgs({"tarnovell", "join", "data.exe", "-o", "out", "-q"});
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
  EXPECT_EQ(List("out"), std::set<std::string>{});
}

bool HasNamelessFiles(const std::string& folder) {
  int probe = open(folder.c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (probe < 0) return false;
  close(probe);
  return true;
}

// Runs the command in a child that the hook kills; true when it was killed.
bool RunKilled(const std::vector<std::string>& args, int (*hook)(OsCall)) {
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    OsFaultHook = hook;
    RunCliArgs(args);
    _exit(0);
  }
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// Where the file system has nameless files, a split killed while it writes leaves no file.
TEST_F(CliTest, AKilledSplitLeavesNothing) {
  if (!HasNamelessFiles(dir_)) GTEST_SKIP() << "no nameless files (O_TMPFILE) on this file system";
  Write("data.bin", Pattern(100000));
  ASSERT_TRUE(
      RunKilled({"tarnovell", "split", "data.bin", "--size", "40000", "-q"}, KillOnThirdChunk));
  EXPECT_EQ(List(), std::set<std::string>{"data.bin"});
}

int KillBeforeReplacingRename(OsCall call) {
  if (call == OsCallRenameReplace) raise(SIGKILL);
  return 0;
}

// A join --force killed between naming its file and renaming it over the older one leaves a
// temporary file of a process that is gone: the next output made in that folder removes it, and
// nothing else (a temporary file of a live process, a file merely named like the tool's).
TEST_F(CliTest, TheNextCommandRemovesWhatAKilledOneLeft) {
  if (!HasNamelessFiles(dir_)) GTEST_SKIP() << "no nameless files (O_TMPFILE) on this file system";
  std::string data = Pattern(100000);
  Write("data.bin", data);
  ASSERT_EQ(Run({"split", "data.bin", "--size", "40000", "-q"}), ExitComplete) << Err();
  Mkdir("out");
  Write("out/data.bin", "older");
  ASSERT_TRUE(RunKilled({"tarnovell", "join", "data.exe", "-o", "out", "-q", "--force"},
                        KillBeforeReplacingRename));
  std::set<std::string> left = List("out");
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left.begin()->rfind(".tarnovell-link-", 0), 0u) << *left.begin();
  EXPECT_EQ(Read("out/data.bin"), "older");
  std::string live = ".tarnovell-join-" + std::to_string(getpid()) + "-abcdefgh";
  Write("out/" + live, "a live process's");
  Write("out/.tarnovell-notes", "mine");
  ASSERT_EQ(Run({"join", "data.exe", "-o", "out", "-q", "--force"}), ExitComplete) << Err();
  EXPECT_EQ(List("out"), (std::set<std::string>{"data.bin", live, ".tarnovell-notes"}));
  EXPECT_TRUE(Read("out/data.bin") == data);
}

// A file that cannot be written (RLIMIT_FSIZE stands for a full disk) leaves nothing behind.
TEST_F(CliTest, WriteFailuresLeaveNothing) {
  Write("data.bin", Pattern(300000));
  ASSERT_EQ(Run({"split", "data.bin", "--size", "100000", "-q"}), 0);
  Mkdir("out");
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit limit = old;
  limit.rlim_cur = 150000;
  setrlimit(RLIMIT_FSIZE, &limit);
  int join = Run({"join", "data.exe", "-o", "out"});
  std::string joinErr = Err();
  int split = Run({"split", "data.bin", "--size", "200000", "-d", "out"});
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(join, ExitFileError);
  EXPECT_NE(joinErr.find("file system error"), std::string::npos) << joinErr;
  EXPECT_EQ(split, ExitFileError);
  EXPECT_EQ(List("out"), std::set<std::string>{});
}

}  // namespace
