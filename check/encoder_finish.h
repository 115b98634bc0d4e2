// What finished the launcher's encoder, read from the key the launcher puts
// in its one line saying so (launcher/encoder_finish.h), never from the
// line's words.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "launcher/encoder_finish.h"

namespace zeltra::check {

// The text of one of the launcher's diagnostic lines, without its prefix and
// line end; nullopt when the line is not one of the launcher's.
std::optional<std::string> launcherLineText(const std::string& debugOutput);

// The key of the last of the launcher's lines (texts as launcherLineText
// gives them) that carries one; nullopt when none does.
std::optional<FinishKey> readEncoderFinish(const std::vector<std::string>& launcherLines);

// Whether that way of finishing leaves a finished file.
bool finishedTheFile(EncoderFinish how);

}  // namespace zeltra::check
