// The Windows implementation of the platform boundary, made by the program's
// entry. Windows only.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/platform.h"

namespace zeltra {

// The platform for this process, whose module instance registers the
// control window's class. One at a time: Windows calls its window procedure
// and its window watch without a context of their own.
std::unique_ptr<Platform> makeWin32Platform(HINSTANCE instance);

}  // namespace zeltra
