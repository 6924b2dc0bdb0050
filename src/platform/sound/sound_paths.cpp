// Where the handheld's sound paths are found on this system.
#include <algorithm>

#include "platform/core/configuration.h"
#include "platform/core/home_directory.h"
#include "platform/sound/sound_alsa.h"
#include "platform/storage/files.h"

namespace qv::platform {

std::optional<std::string> ParseSoundConfig(std::string_view value) {
    if (value == "alsa") return "default";
    constexpr std::string_view kPrefix = "alsa:";
    if (!value.starts_with(kPrefix) || value.size() == kPrefix.size()) return std::nullopt;
    return std::string(value.substr(kPrefix.size()));
}

std::vector<std::string> SoundSearchDirectories() {
    std::vector<std::string> dirs = {ApplicationDirectoryUtf8()};
    // A relative XDG_DATA_HOME is invalid and ignored, as XDG asks.
    if (const auto xdg = ReadEnvironment("XDG_DATA_HOME"); xdg && xdg->front() == '/') {
        dirs.push_back(*xdg + "/qvimager/sounds");
    } else if (const std::string home = HomeDirectory(); !home.empty()) {
        dirs.push_back(home + "/.local/share/qvimager/sounds");
    }
    dirs.push_back("/usr/local/share/qvimager/sounds");
    dirs.push_back("/usr/share/qvimager/sounds");
    return dirs;
}

std::vector<std::string> SoundFileCandidates(std::string_view path,
                                             const std::vector<std::string>& dirs) {
    const std::string appDir = dirs.empty() ? "" : dirs.front();
    std::string file(path);
    std::replace(file.begin(), file.end(), '\\', '/');
    if (file.empty()) return {};
    auto within = [](const std::string& dir, const std::string& name) {
        return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
    };
    std::vector<std::string> candidates;
    auto add = [&candidates](std::string candidate) {
        if (std::find(candidates.begin(), candidates.end(), candidate) == candidates.end()) {
            candidates.push_back(std::move(candidate));
        }
    };
    if (file.front() == '/') {
        add(file);
    } else if (!appDir.empty()) {
        add(within(appDir, file));
    }
    const std::string name = file.substr(file.rfind('/') + 1);
    // A name that is a directory step would leave the search directories.
    if (name.empty() || name == "." || name == "..") return candidates;
    for (const std::string& dir : dirs) {
        if (!dir.empty()) add(within(dir, name));
    }
    return candidates;
}

}  // namespace qv::platform
