// `rimbrel-host info`: a plug-in's identity and its answers to the requests
// that only read.
#pragma once

#include <ostream>

#include "tools/rimbrel-host/PluginLoader.h"

namespace rimbrel::host {

void printInfo(const Plugin& plugin, std::ostream& out);

}  // namespace rimbrel::host
