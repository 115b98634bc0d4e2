// The machine check's logic: the encoder's answers, what finished the
// encoder, the recording read back, and the verdict.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <string>
#include <vector>

#include "check/encoder_answers.h"
#include "check/encoder_dpi.h"
#include "check/encoder_finish.h"
#include "check/file_judgement.h"
#include "check/recording_readback.h"
#include "check/report.h"
#include "check/test_picture.h"

namespace zeltra::check {
namespace {

// FFmpeg 4.2.1's own answers, line ends as on Windows; all exit with 0.
const char kGdigrab[] =
    "Demuxer gdigrab [GDI API Windows frame grabber]:\r\nGDIgrab indev AVOptions:\r\n"
    "  -draw_mouse        <int>        .D....... draw the mouse pointer (from 0 to 1)\r\n";
const char kLibxvid[] =
    "Encoder libxvid [libxvidcore MPEG-4 part 2]:\r\n    General capabilities: none\r\n"
    "libxvid AVOptions:\r\n";
const char kNoDemuxer[] = "Unknown format 'gdigrab'.\r\n";
const char kNoEncoder[] = "Codec 'libxvid' is not recognized by FFmpeg.\r\n";

TEST(EncoderAnswersTest, ReadsWhatTheHelpAnswerSaysOfTheOneNameAsked) {
  struct Row {
    std::string answer;
    Component component;
    const char* name;
    HelpAnswer reading;
  };
  const Row rows[] = {
      {kGdigrab, Component::kDemuxer, "gdigrab", HelpAnswer::kDescribes},
      {kLibxvid, Component::kEncoder, "libxvid", HelpAnswer::kDescribes},
      {kNoDemuxer, Component::kDemuxer, "gdigrab", HelpAnswer::kUnknown},
      {kNoEncoder, Component::kEncoder, "libxvid", HelpAnswer::kUnknown},
      // Another name or another kind describes nothing asked about.
      {kGdigrab, Component::kDemuxer, "gdi", HelpAnswer::kUnclear},
      {kGdigrab, Component::kEncoder, "gdigrab", HelpAnswer::kUnclear},
      {"Encoder libxvidx [x]:\r\n", Component::kEncoder, "libxvid", HelpAnswer::kUnclear},
      // Quoted by another line, the opening line is not the answer's.
      {"  Demuxer gdigrab [x]\r\n", Component::kDemuxer, "gdigrab", HelpAnswer::kUnclear},
      // The banner on standard error before the answer.
      {std::string(kLibxvid) + "ffmpeg version 4.2.1\r\n", Component::kEncoder, "libxvid",
       HelpAnswer::kDescribes},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(readHelpAnswer(row.answer, row.component, row.name), row.reading) << row.answer;
  }
  EXPECT_EQ(helpQuestion(Component::kDemuxer, "gdigrab"), "-hide_banner -h demuxer=gdigrab");
  EXPECT_EQ(helpQuestion(Component::kEncoder, "libxvid"), "-hide_banner -h encoder=libxvid");
  EXPECT_EQ(versionLine("\r\n  \nffmpeg version 4.2.1 Copyright\r\nbuilt with gcc\r\n"),
            "ffmpeg version 4.2.1 Copyright");
  EXPECT_EQ(versionLine(""), "");
}

TEST(EncoderDpiTest, TheCompatibilitySettingsOverrideTheManifest) {
  const std::string v2 =
      "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
      "PerMonitorV2, PerMonitor</dpiAwareness>";
  const struct {
    std::optional<std::string> manifest, layers;
    DpiAwareness awareness{};
  } cases[] = {
      {std::nullopt, std::nullopt, DpiAwareness::kUnaware},
      {v2, std::nullopt, DpiAwareness::kPerMonitor},
      {"<dpiAwareness> Unaware, System </dpiAwareness><dpiAware>true/pm</dpiAware>", std::nullopt,
       DpiAwareness::kUnaware},  // the list's first known value, not the older setting
      {"<dpiAwareness>Future, System</dpiAwareness>", std::nullopt, DpiAwareness::kSystem},
      {"<dpiAware>True</dpiAware>", std::nullopt, DpiAwareness::kSystem},
      {"<dpiAware>true/PM</dpiAware>", std::nullopt, DpiAwareness::kPerMonitor},
      {v2, "~ GDIDPISCALING DPIUNAWARE", DpiAwareness::kUnaware},
      {std::nullopt, "~ HIGHDPIAWARE", DpiAwareness::kPerMonitor},
      {v2, "~ RUNASADMIN", DpiAwareness::kPerMonitor},
  };
  for (const auto& c : cases) {
    const EncoderDpi dpi = encoderDpi(c.manifest, c.layers);
    EXPECT_EQ(dpi.awareness, c.awareness)
        << c.manifest.value_or("") << " | " << c.layers.value_or("");
  }
}

TEST(EncoderFinishTest, ReadsTheKeyOfTheLauncherLineThatSaysIt) {
  const std::vector<std::string> lines = {
      "asking every ffmpeg.exe to close: taskkill /IM ffmpeg.exe",
      "the encoder finished 640 ms after the stop command, on the launcher's Ctrl+C "
      "[finish=ctrl-c ms=640]"};
  const std::optional<FinishKey> finish = readEncoderFinish(lines);
  ASSERT_TRUE(finish);
  EXPECT_EQ(finish->finish, zeltra::EncoderFinish::kCtrlC);
  EXPECT_EQ(finish->msAfterStopCommand, 640u);
  EXPECT_EQ(readEncoderFinish({lines[0]}), std::nullopt);
  EXPECT_TRUE(finishedTheFile(zeltra::EncoderFinish::kStopCommand));
  EXPECT_TRUE(finishedTheFile(zeltra::EncoderFinish::kStopKey));
  EXPECT_TRUE(finishedTheFile(zeltra::EncoderFinish::kCtrlC));
  EXPECT_FALSE(finishedTheFile(zeltra::EncoderFinish::kExitedAtLimit));
  EXPECT_EQ(launcherLineText("ZELTRA_ScreenTool: found the window\r\n"), "found the window");
  EXPECT_EQ(launcherLineText("err:ole: ZELTRA_ScreenTool: x\n"), std::nullopt);
}

TEST(FileJudgementTest, ExitCodesAScriptCanTellApartAndTheNotedFileRead) {
  EXPECT_EQ(judgementExitCode(Judgement::kFinished), 0);
  EXPECT_EQ(judgementExitCode(Judgement::kUnfinished), 1);
  EXPECT_EQ(judgementExitCode(Judgement::kNotJudged), 2);
  EXPECT_EQ(judgementExitCode(Judgement::kMissing), 3);
  EXPECT_EQ(judgementExitCode(Judgement::kEmpty), 3);
  EXPECT_EQ(judgementExitCode(Judgement::kNotThisRun), 4);
  EXPECT_EQ(judgementLine(Judgement::kNotThisRun).rfind("not-this-run: ", 0), 0u);
  const std::optional<NotedFile> noted = readNotedFile("0,18446744073709551615");
  ASSERT_TRUE(noted);
  EXPECT_EQ(noted->size, 0u);
  EXPECT_EQ(noted->lastWrite, UINT64_MAX);
  for (const char* text :
       {"", "1", "1,", ",1", "1,2,3", "-1,2", "1,18446744073709551616", "1, 2"}) {
    EXPECT_FALSE(readNotedFile(text)) << text;
  }
}

TEST(ReadBackTest, ReadsTheVideoStreamsFacts) {
  const std::string errors =
      "Input #0, avi, from 'C:\\rec\\check-recording.avi':\r\n"
      "  Duration: 00:00:02.13, start: 0.000000, bitrate: 712 kb/s\r\n"
      "    Stream #0:0: Video: mpeg4 (Simple Profile) (xvid / 0x64697678), yuv420p, 400x300 "
      "[SAR 1:1 DAR 4:3], 706 kb/s, 30 fps, 30 tbr, 30 tbn, 30 tbc\r\n";
  const std::optional<StreamFacts> facts = readStreamFacts(errors);
  ASSERT_TRUE(facts.has_value());
  EXPECT_EQ(facts->width, 400);
  EXPECT_EQ(facts->height, 300);
  EXPECT_DOUBLE_EQ(facts->fps, 30);
  ASSERT_TRUE(facts->durationSeconds.has_value());
  EXPECT_NEAR(*facts->durationSeconds, 2.13, 1e-9);
  EXPECT_FALSE(readStreamFacts("C:\\x.avi: No such file or directory\r\n").has_value());
}

// Frames of the test picture as the encoder would give them back: the
// window's top left corner, the bar at the given steps, shifted by dx.
std::string frames(int width, int height, int windowWidth, int windowHeight,
                   const std::vector<int>& barSteps, int dx = 0) {
  std::string rgb;
  for (const int step : barSteps) {
    const int bar = step < 0 ? -1000 : barLeftAt(step, windowWidth);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const int wx = x + dx;
        const Colour c = wx >= bar && wx < bar + kBarWidth
                             ? kBarColour
                             : pictureColourAt(wx, y, windowWidth, windowHeight);
        rgb += {static_cast<char>(c.r), static_cast<char>(c.g), static_cast<char>(c.b)};
      }
    }
  }
  return rgb;
}

TEST(ReadBackTest, HoldsTheFramesAgainstThePicture) {
  struct Row {
    const char* name;
    std::vector<int> barSteps;
    int dx;
    Point cursor;
    bool matches;  // at the known points
    bool aligned;
    int pointsChecked;
    bool moved;
  };
  const Point away{-100, -100};
  const std::vector<int> moving{0, 10, 20, 30, 40, 50};
  const Row rows[] = {
      {"the window, moving", moving, 0, away, true, true, 5, true},
      {"the bar on the centre, then off", {30, 30, 30, 30, 31, 40}, 0, away, true, true, 5, true},
      {"a rectangle 4 pixels off", moving, 4, away, true, false, 5, true},
      {"a rectangle 9 pixels off", moving, 9, away, false, false, 5, true},
      {"a frozen picture", {7, 7, 7, 7, 7, 7}, 0, away, true, true, 5, false},
      {"no bar at all", {-1, -1, -1, -1, -1, -1}, 0, away, true, true, 5, false},
      {"the cursor on the centre", moving, 0, Point{201, 150}, true, true, 4, true},
  };
  for (const Row& row : rows) {
    const PictureFindings findings = checkPictures(frames(400, 300, 403, 301, row.barSteps, row.dx),
                                                   400, 300, 403, 301, row.cursor);
    EXPECT_EQ(findings.frames, static_cast<int>(row.barSteps.size())) << row.name;
    EXPECT_EQ(findings.mismatches.empty(), row.matches) << row.name;
    EXPECT_EQ(findings.aligned, row.aligned) << row.name;
    EXPECT_EQ(findings.pointsChecked, row.pointsChecked) << row.name;
    EXPECT_EQ(findings.barMoved, row.moved) << row.name;
  }
  for (int step = 0; step < 200; ++step) {
    EXPECT_GE(barLeftAt(step, 403), 0);
    EXPECT_LE(barLeftAt(step, 403) + kBarWidth, 403) << "the bar stays inside the window";
  }
}

TEST(ReportTest, OneVerdictFromTheSteps) {
  struct Row {
    const char* name;
    std::function<void(Report&)> steps;
    std::string verdict;
  };
  const Row rows[] = {
      {"all passed",
       [](Report& r) {
         r.beginStep("A");
         r.warn("odd", "fix it");
       },
       "verdict: passed: every step passed"},
      {"one not run",
       [](Report& r) {
         r.beginStep("A");
         r.beginStep("B");
         r.notRun("held");
       },
       "verdict: passed; not run: step 2 (B)"},
      {"the first failure named",
       [](Report& r) {
         r.beginStep("A");
         r.notRun("held");
         r.beginStep("B");
         r.fail("first", "do this");
         r.fail("second");
       },
       "verdict: FAILED at step 2 (B): first"},
      {"interrupted after a failure",
       [](Report& r) {
         r.beginStep("A");
         r.fail("first");
         r.beginStep("B");
         r.interrupt("interrupted by Ctrl+C");
       },
       "verdict: interrupted at step 2 (B)"},
  };
  for (const Row& row : rows) {
    Report report([](const std::string&) {});
    row.steps(report);
    EXPECT_EQ(report.verdict(), row.verdict) << row.name;
    EXPECT_EQ(report.exitCode(), row.verdict.find("passed") != std::string::npos ? 0 : 1)
        << row.name;
  }
  std::vector<std::string> printed;
  Report report([&printed](const std::string& line) { printed.push_back(line); });
  report.beginStep("The encoder");
  report.fail("no ffmpeg.exe", "place one");
  EXPECT_EQ(printed, (std::vector<std::string>{"1. The encoder", "   [FAIL] no ffmpeg.exe",
                                               "          what to do: place one"}));
}

}  // namespace
}  // namespace zeltra::check
