// Reading the editor subcommand's actions from the command line: the same on
// every window system.
#include "tools/rimbrel-host/EditorHost.h"

#include <cstdlib>

namespace rimbrel::host {

bool parseClickSpec(const std::string& text, EditorAction& action, std::string& error) {
    action = EditorAction{};
    action.kind = EditorAction::Click;
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == ',' || c == '+') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    auto number = [](const std::string& s, int& v) {
        if (s.empty())
            return false;
        char* end = nullptr;
        const long n = std::strtol(s.c_str(), &end, 10);
        v = static_cast<int>(n);
        return *end == 0 && n >= -32768 && n < 32768;
    };
    bool ok = parts.size() >= 2 && number(parts[0], action.x) && number(parts[1], action.y);
    for (std::size_t i = 2; ok && i < parts.size(); ++i) {
        if (parts[i] == "shift")
            action.shift = true;
        else if (parts[i] == "ctrl" || parts[i] == "control")
            action.control = true;
        else if (parts[i] == "alt")
            action.alt = true;
        else
            ok = false;
    }
    if (!ok)
        error = "bad --click '" + text + "' (X,Y[,shift][,ctrl][,alt])";
    return ok;
}

}  // namespace rimbrel::host
