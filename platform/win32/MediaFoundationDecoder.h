// Sound files decoded by the system's Media Foundation (IMFSourceReader):
// the first audio stream as 32-bit float frames.
#pragma once

#include "platform/SoundFileDecoder.h"

#include <memory>

namespace rimbrel::platform::win32 {

// A decoder for the file behind fd (a descriptor from openForReading), or
// null when Media Foundation cannot read it. The descriptor stays the
// caller's; the decoder opens the file again by its path.
std::unique_ptr<SoundFileDecoder> openMediaFoundationFile(int fd);

}  // namespace rimbrel::platform::win32
