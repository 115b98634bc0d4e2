// The caller header's judgements: an AVI file's finish from its bytes (files
// the real encoder wrote, their truncations, chains of RIFFs past 1 GiB), the
// output file against its state before the start, and where the launcher
// lands when jobs can or cannot be made, broken away from or nested.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "caller/zeltra_screentool.h"

namespace zeltra::caller {
namespace {

using detail::ContainerFinish;
using detail::FileSnapshot;
using detail::judgeAvi;
using detail::judgeOutput;
using Bytes = std::vector<unsigned char>;

Bytes fixture(const char* name) {
  std::ifstream file(std::string(ZELTRA_FIXTURE_DIR) + "/" + name, std::ios::binary);
  EXPECT_TRUE(file.good()) << name;
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

ContainerFinish judge(const Bytes& bytes) {
  return judgeAvi(bytes.size(), [&bytes](std::uint64_t offset, unsigned char* out, std::size_t n) {
    if (offset > bytes.size() || bytes.size() - offset < n) return false;
    std::memcpy(out, bytes.data() + offset, n);
    return true;
  });
}

void put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// A RIFF of the form with one chunk of that tag and body length inside.
Bytes riff(const char* form, const char* inner, std::uint32_t innerLength) {
  Bytes bytes(20 + innerLength, 0);
  std::memcpy(bytes.data(), "RIFF", 4);
  put32(bytes, 4, 12 + innerLength);
  std::memcpy(bytes.data() + 8, form, 4);
  std::memcpy(bytes.data() + 12, inner, 4);
  put32(bytes, 16, innerLength);
  return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes cut(Bytes bytes, std::size_t length) {
  bytes.resize(length);
  return bytes;
}

Bytes withSize(Bytes bytes, std::size_t at, std::uint32_t size) {
  put32(bytes, at, size);
  return bytes;
}

TEST(CallerOutputTest, JudgesAnAviFilesFinishFromItsBytes) {
  const Bytes stopped = fixture("stopped.avi");  // the real encoder, stopped: closed
  const Bytes ended = fixture("ended.avi");      // the real encoder, ended mid-recording
  ASSERT_GT(stopped.size(), 100u);
  ASSERT_GT(ended.size(), 100u);
  const Bytes first = riff("AVI ", "idx1", 16);
  const Bytes next = riff("AVIX", "LIST", 8);
  const struct {
    const char* what = nullptr;
    Bytes bytes;
    ContainerFinish finish = ContainerFinish::kNotJudged;
  } cases[] = {
      {"stopped by the encoder's own close", stopped, ContainerFinish::kFinished},
      {"ended: open sizes", ended, ContainerFinish::kUnfinished},
      {"the closed file cut short by a byte", cut(stopped, stopped.size() - 1),
       ContainerFinish::kUnfinished},
      {"the closed file with a byte after it", stopped + Bytes{0}, ContainerFinish::kUnfinished},
      {"cut inside the first header", cut(stopped, 8), ContainerFinish::kUnfinished},
      {"a closed RIFF without idx1", riff("AVI ", "LIST", 16), ContainerFinish::kUnfinished},
      {"a closed RIFF, then a closed AVIX", first + next, ContainerFinish::kFinished},
      {"a closed RIFF, then an open AVIX", first + withSize(next, 4, 0xFFFFFFFFu),
       ContainerFinish::kUnfinished},
      {"a closed RIFF, then an AVIX cut short", first + cut(next, next.size() - 2),
       ContainerFinish::kUnfinished},
      {"a closed RIFF, then a second AVI ", first + first, ContainerFinish::kUnfinished},
      {"another RIFF form", riff("WAVE", "data", 4), ContainerFinish::kNotJudged},
      {"no RIFF at all", Bytes(64, 'x'), ContainerFinish::kNotJudged},
      {"a few bytes", Bytes{'R', 'I'}, ContainerFinish::kNotJudged},
  };
  for (const auto& c : cases) EXPECT_EQ(judge(c.bytes), c.finish) << c.what;
}

// A first RIFF of that many empty chunks before its index; a chain of that
// many RIFFs after a finished first one.
Bytes manyChunks(int chunks) {
  Bytes body;
  for (int i = 0; i < chunks; ++i) body = body + Bytes{'J', 'U', 'N', 'K', 0, 0, 0, 0};
  Bytes file = cut(riff("AVI ", "idx1", 0), 12) + body + Bytes{'i', 'd', 'x', '1', 0, 0, 0, 0};
  put32(file, 4, static_cast<std::uint32_t>(file.size() - 8));
  return file;
}

TEST(CallerOutputTest, AFileMadeToCostARead8BytesIsNotJudgedPastTheBounds) {
  // The index is the bound's last chunk, or the one after it.
  EXPECT_EQ(judge(manyChunks(detail::kMostChunksInFirstRiff - 1)), ContainerFinish::kFinished);
  EXPECT_EQ(judge(manyChunks(detail::kMostChunksInFirstRiff)), ContainerFinish::kNotJudged);
  Bytes chain = riff("AVI ", "idx1", 0);
  const Bytes next = cut(riff("AVIX", "JUNK", 0), 12);
  Bytes tail;
  for (int i = 1; i < detail::kMostRiffs; ++i) tail = tail + withSize(next, 4, 4);
  EXPECT_EQ(judge(chain + tail), ContainerFinish::kFinished);
  EXPECT_EQ(judge(chain + tail + withSize(next, 4, 4)), ContainerFinish::kNotJudged);
}

TEST(CallerOutputTest, JudgesTheOutputAgainstItsStateBeforeTheStart) {
  const FileSnapshot none;
  const FileSnapshot old{true, 5860, 1000};
  const FileSnapshot later{true, 5860, 1001};
  const FileSnapshot resized{true, 6000, 1000};
  const struct {
    const char* what = nullptr;
    FileSnapshot before, now;
    ContainerFinish finish = ContainerFinish::kNotJudged;
    OutputFile output = OutputFile::kMissing;
  } cases[] = {
      {"an old file removed", old, none, ContainerFinish::kNotJudged, OutputFile::kMissing},
      {"an old file untouched", old, old, ContainerFinish::kFinished, OutputFile::kNotThisRun},
      {"the same size, written later", old, later, ContainerFinish::kFinished,
       OutputFile::kFinished},
      // File systems that keep times to 2 s: the size tells.
      {"the same time, another size", old, resized, ContainerFinish::kUnfinished,
       OutputFile::kUnfinished},
      {"cut to 0 bytes", old, {true, 0, 2000}, ContainerFinish::kNotJudged, OutputFile::kEmpty},
      {"a new file not judged", none, later, ContainerFinish::kNotJudged, OutputFile::kWritten},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(judgeOutput(c.before, c.now, c.finish), c.output) << c.what;
  }
}

// What a machine allows.
struct Rules {
  bool breakawayAllowed;  // the caller's job lets a child leave it
  bool nestingWorks;      // Windows 8 and later
  bool callerInJob;
  bool creationWorks = true;
};

// Plays that machine: whether each start and the job's assignment work.
struct Machine {
  Rules rules;
  std::vector<bool> starts;  // breakaway asked, per start that worked

  int running = 0;  // launchers created and not ended

  bool create(bool breakaway) {
    if (!rules.creationWorks || (breakaway && !rules.breakawayAllowed)) return false;
    starts.push_back(breakaway);
    ++running;
    return true;
  }
  bool assign() const { return !rules.callerInJob || starts.back() || rules.nestingWorks; }
  void endCreated() { --running; }
};

TEST(CallerOutputTest, PlacesTheLauncherInTheRecordingsJobWhereWindowsAllows) {
  using Starts = std::vector<bool>;  // breakaway asked, per start that worked
  const Rules outOfJobs{true, true, false};
  const Rules nesting{true, true, true};
  const Rules windows7{true, false, true};
  const Rules windows7Closed{false, false, true};  // its job lets no child leave
  const struct {
    const char* what = nullptr;
    Rules rules{};
    bool haveJob = false;
    std::optional<LauncherJob> placed;
    Starts starts;
  } cases[] = {
      {"a caller in no job", outOfJobs, true, LauncherJob::kOwn, {false}},
      // Nested first: the caller's job keeps its limits and clean-up over the launcher.
      {"jobs nest (Windows 8)", nesting, true, LauncherJob::kOwnNested, {false}},
      {"no nesting, breakaway (Windows 7)", windows7, true, LauncherJob::kBrokeAway, {false, true}},
      {"neither (Windows 7)", windows7Closed, true, LauncherJob::kCallersOnly, {false, false}},
      {"no job could be made", outOfJobs, false, LauncherJob::kNone, {false}},
      {"no job made, the caller in one", nesting, false, LauncherJob::kCallersOnly, {false}},
      {"no start works", {true, true, true, false}, true, std::nullopt, {}},
  };
  for (const auto& c : cases) {
    Machine machine{c.rules, {}};
    EXPECT_EQ(detail::placeLauncher(machine, c.haveJob, c.rules.callerInJob), c.placed) << c.what;
    EXPECT_EQ(machine.starts, c.starts) << c.what;
    // Every launcher but the placed one was ended before it ran.
    EXPECT_EQ(machine.running, c.placed ? 1 : 0) << c.what;
  }
}

}  // namespace
}  // namespace zeltra::caller
