#include "launcher/program_name_skip.h"

#include <gtest/gtest.h>

#include <string>

namespace zeltra {
namespace {

TEST(ProgramNameSkipTest, LeavesExactlyTheInvocation) {
  const struct {
    const char* commandLine;
    const char* invocation;
  } cases[] = {
      {"\"C:\\Tools\\Z.exe\" Demo#C:\\rec\\#a.avi", "Demo#C:\\rec\\#a.avi"},
      {"C:\\Tools\\Z.exe Demo#x", "Demo#x"},
      {"\"C:\\Program Files\\Z.exe\" Demo#x", "Demo#x"},
      {"\"C:\\Program Files\\Z.exe Demo#x", ""},  // no closing quote: all of it is the name
      {"Z.exe\tDemo#x", "Demo#x"},
      {"\"Z.exe\"\t \x01\x1f Demo#x", "Demo#x"},
      {"\"Z.exe\"Demo#x", "Demo#x"},
      {"\"Z.exe\" \xC4pfel Fenster#x", "\xC4pfel Fenster#x"},
      {"Z.exe \xD6l#x", "\xD6l#x"},
      {"Z.exe \xA0#x", "\xA0#x"},
      {"C:\\\xC4pfel\\Z.exe \xFF#x", "\xFF#x"},  // not cut at the name's first such byte
      {"\"C:\\\xC4pfel\\Z.exe\" Demo#x", "Demo#x"},
      {"\xC4.exe Demo#x", "Demo#x"},  // such a byte first is no quote
      {"Z.exe  Demo  #x  ", "Demo  #x  "},
      {"", ""},
      {"Z.exe", ""},
      {"\"Z.exe\"", ""},
      {"Z.exe   ", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(std::string(skipProgramName(c.commandLine)), c.invocation) << c.commandLine;
  }
}

}  // namespace
}  // namespace zeltra
