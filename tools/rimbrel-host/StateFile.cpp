#include "tools/rimbrel-host/StateFile.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "platform/Files.h"

namespace rimbrel::host {

bool loadStateFile(Plugin& plugin, const std::string& path, std::string& error) {
    std::ifstream in(platform::pathFromUtf8(path), std::ios::binary);
    if (!in) {
        error = path + ": cannot be opened";
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = path + ": cannot be read";
        return false;
    }
    if (bytes.size() > 0x7fffffffu) {
        error = path + ": too large for a chunk";
        return false;
    }
    plugin.dispatch(effSetChunk, 0, VstIntPtr(bytes.size()), bytes.empty() ? nullptr : bytes.data());
    return true;
}

bool saveStateFile(Plugin& plugin, const std::string& path, std::string& error) {
    void* data = nullptr;
    const VstIntPtr size = plugin.dispatch(effGetChunk, 0, 0, &data);
    if (size <= 0 || !data) {
        error = "the plug-in handed over no state";
        return false;
    }
    std::ofstream out(platform::pathFromUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), std::streamsize(size));
    out.close();
    if (!out) {
        error = path + ": cannot be written";
        return false;
    }
    return true;
}

}  // namespace rimbrel::host
