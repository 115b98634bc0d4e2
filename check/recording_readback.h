// Reading a recording back: the facts FFmpeg prints about it, and its
// pictures, decoded to raw RGB (three bytes a pixel, row by row, frame after
// frame), held against the test picture.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeltra::check {

struct StreamFacts {
  int width = 0;
  int height = 0;
  double fps = 0;
  std::optional<double> durationSeconds;
};

// From FFmpeg's description of its input on standard error: the first video
// stream's size and rate ("Stream #0:0: Video: mpeg4 (...), yuv420p, 400x300
// [SAR 1:1 DAR 4:3], 30 fps, ...") and the "Duration: 00:00:02.03" line.
// nullopt when there is no video stream line.
std::optional<StreamFacts> readStreamFacts(std::string_view ffmpegErrorOutput);

struct Point {
  int x = 0;
  int y = 0;
};

struct PictureFindings {
  int frames = 0;
  int pointsChecked = 0;
  std::vector<std::string> mismatches;  // "at x,y: r,g,b where r,g,b belongs"
  // The middle frame's mean difference per channel from the picture, and
  // the least of it with the picture moved a few pixels any way: a frame of
  // the right rectangle is close to the one and far from the other.
  double difference = 0;
  double shiftedDifference = 0;
  bool aligned = false;
  std::vector<int> barPositions;  // in a few frames spread over the file; -1: not seen
  bool barMoved = false;
};

// The frames against the test picture of a window of windowWidth by
// windowHeight whose top left corner the frames start at. Points near the
// cursor (in window coordinates) are left out: the encoder draws it in.
PictureFindings checkPictures(std::string_view rgb, int frameWidth, int frameHeight,
                              int windowWidth, int windowHeight, Point cursor);

}  // namespace zeltra::check
