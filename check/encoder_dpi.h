// How the encoder is DPI aware, from its manifest and from the compatibility
// settings that override it. An encoder that is not DPI aware sees a scaled
// desktop: its screen grabber then refuses regions on a monitor left of or
// above the primary one, whose far edges it scales while their near edges
// stay as given, and draws the cursor off its place.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zeltra::check {

enum class DpiAwareness { kUnaware, kSystem, kPerMonitor };

struct EncoderDpi {
  DpiAwareness awareness = DpiAwareness::kUnaware;
  std::string from;  // what says so, for the report
};

// From a manifest's text: the first value of its dpiAwareness list this
// Windows knows (a list falls back in order), else its dpiAware; unaware
// where neither says otherwise.
DpiAwareness manifestDpiAwareness(std::string_view manifest);

// What the compatibility layers (the program's AppCompatFlags\Layers value,
// blank-separated flags) make of it: DPIUNAWARE (also with GDIDPISCALING)
// scaled by the system, HIGHDPIAWARE scaled by the program itself; nullopt
// where they say nothing of DPI.
std::optional<DpiAwareness> layersDpiAwareness(std::string_view layers);

// Both together: the layers override the manifest.
EncoderDpi encoderDpi(std::optional<std::string_view> manifest,
                      std::optional<std::string_view> layers);

}  // namespace zeltra::check
