// How the encoder is DPI aware (see encoder_dpi.h).
#include "check/encoder_dpi.h"

#include <cctype>
#include <sstream>

namespace zeltra::check {
namespace {

std::string lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

// The text between <tag ...> and </tag>, lowered; nullopt where there is none.
std::optional<std::string> element(const std::string& manifest, const std::string& tag) {
  const size_t open = manifest.find("<" + tag);
  if (open == std::string::npos) return std::nullopt;
  const size_t begin = manifest.find('>', open);
  const size_t end = manifest.find("</" + tag, begin);
  if (begin == std::string::npos || end == std::string::npos) return std::nullopt;
  return manifest.substr(begin + 1, end - begin - 1);
}

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

DpiAwareness manifestDpiAwareness(std::string_view manifest) {
  const std::string text = lower(manifest);
  if (const std::optional<std::string> list = element(text, "dpiawareness")) {
    std::stringstream values(*list);
    for (std::string value; std::getline(values, value, ',');) {
      value = trimmed(value);
      if (value == "permonitorv2" || value == "permonitor") return DpiAwareness::kPerMonitor;
      if (value == "system") return DpiAwareness::kSystem;
      if (value == "unaware") return DpiAwareness::kUnaware;
    }
  }
  if (const std::optional<std::string> aware = element(text, "dpiaware")) {
    const std::string value = trimmed(*aware);
    if (value == "true/pm" || value == "per monitor") return DpiAwareness::kPerMonitor;
    if (value == "true") return DpiAwareness::kSystem;
  }
  return DpiAwareness::kUnaware;
}

std::optional<DpiAwareness> layersDpiAwareness(std::string_view layers) {
  std::stringstream flags(lower(layers));
  std::optional<DpiAwareness> awareness;
  for (std::string flag; flags >> flag;) {
    if (flag == "dpiunaware") awareness = DpiAwareness::kUnaware;
    if (flag == "highdpiaware") awareness = DpiAwareness::kPerMonitor;
  }
  return awareness;
}

EncoderDpi encoderDpi(std::optional<std::string_view> manifest,
                      std::optional<std::string_view> layers) {
  if (layers) {
    if (const std::optional<DpiAwareness> overridden = layersDpiAwareness(*layers)) {
      return {*overridden, "its compatibility settings say so"};
    }
  }
  if (!manifest) return {DpiAwareness::kUnaware, "it has no manifest saying otherwise"};
  const DpiAwareness awareness = manifestDpiAwareness(*manifest);
  return {awareness, awareness == DpiAwareness::kUnaware ? "its manifest does not say otherwise"
                                                         : "its manifest says so"};
}

}  // namespace zeltra::check
