// Reading the encoder's answers to -version, -encoders and -devices.
//
// FFmpeg lists encoders and devices as a legend, a line of dashes, then one
// line each: a column of flag letters, the name (or several, joined by
// commas), a description. " V..... libxvid  libxvidcore MPEG-4 part 2" is a
// video encoder; " D  gdigrab  GDI API Windows frame grabber" an input
// ("demuxing") device. A device that only writes has a blank where the D
// stands, so the flags are read as the first word, never by column.
#pragma once

#include <string>
#include <string_view>

namespace zeltra::check {

// The first line that is not blank, without its line end; empty when none.
std::string versionLine(std::string_view versionOutput);

// Whether the listing holds an entry of that name whose flags hold that
// letter ('V' for a video encoder, 'D' for an input device).
bool listsEntry(std::string_view listing, std::string_view name, char flag);

// Where to get an encoder build that carries what this one lacks.
std::string buildsCarrying(std::string_view name);

}  // namespace zeltra::check
