// The editor subcommand of a build without a window platform of its own.
#include "tools/rimbrel-host/EditorHost.h"

namespace rimbrel::host {

int runEditor(const EditorOptions&, std::string& error) {
    error = "this build of rimbrel-host has no editor window";
    return 2;
}

}  // namespace rimbrel::host
