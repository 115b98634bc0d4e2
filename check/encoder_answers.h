// Reading the encoder's answers to -version and to -h questions.
//
// "-hide_banner -h demuxer=gdigrab" describes that input, opening with the
// line "Demuxer gdigrab [GDI API Windows frame grabber]:"; "-h encoder=libxvid"
// opens with "Encoder libxvid [libxvidcore MPEG-4 part 2]:". For a name the
// build lacks, it says "Unknown format 'gdigrab'." or "Codec 'libxvid' is not
// recognized by FFmpeg." instead, and exits with 0 either way: only the text
// tells. A question is asked about the one thing the launcher uses rather than
// read from a listing, because builds differ in what they list: some leave
// gdigrab out of -devices although they have it.
#pragma once

#include <string>
#include <string_view>

namespace zeltra::check {

// The first line that is not blank, without its line end; empty when none.
std::string versionLine(std::string_view versionOutput);

// What the encoder can be asked about: the kind as its -h answer names it,
// and the word its -h question takes.
enum class Component { kDemuxer, kEncoder };

// "-hide_banner -h demuxer=gdigrab", "-hide_banner -h encoder=libxvid".
std::string helpQuestion(Component component, std::string_view name);

enum class HelpAnswer {
  kDescribes,  // the build has it
  kUnknown,    // the build says it has no such thing
  kUnclear,    // neither: an answer this reading does not know
};

// Reads the answer to helpQuestion(component, name), standard output and
// standard error alike.
HelpAnswer readHelpAnswer(std::string_view answer, Component component, std::string_view name);

// Where to get an encoder build that carries what this one lacks.
std::string buildsCarrying(std::string_view name);

}  // namespace zeltra::check
