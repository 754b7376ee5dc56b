// Finding the update scripts of a migration folder.
#include "Discovery.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "entry/UpdateSession.h"

namespace vantrel {

namespace {

// The version a file name starts with, if it starts with one.
std::optional<int64_t> VersionOfName(const std::string &name) {
    size_t at = !name.empty() && (name[0] == 'V' || name[0] == 'v') ? 1 : 0;
    const size_t digits = at;
    int64_t version = 0;
    for (; at < name.size() && name[at] >= '0' && name[at] <= '9'; ++at) {
        // Anything past a 32-bit integer is too large alike; stop counting there.
        version = std::min<int64_t>(version * 10 + (name[at] - '0'), int64_t{std::numeric_limits<int32_t>::max()} + 1);
    }
    if (at == digits) return std::nullopt;
    return version;
}

bool HasSqlExtension(const std::string &name) {
    if (name.size() < 4) return false;
    std::string end = name.substr(name.size() - 4);
    std::transform(end.begin(), end.end(), end.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return end == ".sql";
}

bool IsUtf8(const std::string &text) { return FirstInvalidUtf8(text) == std::string::npos; }

// A name for a message: bytes other than printable ASCII as \xNN.
std::string Printable(const std::string &name) {
    static const char digits[] = "0123456789abcdef";
    std::string shown;
    for (unsigned char c : name) {
        if (c >= 0x20 && c < 0x7F) shown += static_cast<char>(c);
        else shown += std::string("\\x") + digits[c >> 4] + digits[c & 15];
    }
    return shown;
}

}  // namespace

MigrationFolder FindMigrationFolder(const std::string &folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error) throw std::runtime_error("cannot read the folder " + folder + ": " + error.message());
    MigrationFolder found;
    for (const fs::directory_entry &entry : entries) {
        const std::string name = entry.path().filename().string();
        const std::optional<int64_t> version = VersionOfName(name);
        if (!version || !entry.is_regular_file(error)) continue;
        if (!HasSqlExtension(name)) {
            // Reported by name, in text that reads as UTF-8 whatever the name.
            found.Ignored.push_back(IsUtf8(name) ? name : Printable(name));
            continue;
        }
        // Script names travel on as UTF-8 (into the library, messages, the
        // history and JSON); a name in another encoding would be changed on
        // the way and its file not found again.
        if (!IsUtf8(name))
            throw std::runtime_error(Printable(name) + ": the file name is not UTF-8; rename the file (for example "
                                     "with convmv) before it can run");
        if (*version == 0) throw std::runtime_error(name + ": version 0 is never applied (versions start at 1)");
        if (*version > std::numeric_limits<int32_t>::max())
            throw std::runtime_error(name + ": the version number is too large (VER keeps a 32-bit integer)");
        found.Scripts.push_back({static_cast<int32_t>(*version), name, entry.path().string()});
    }
    std::vector<MigrationScript> &scripts = found.Scripts;
    std::sort(scripts.begin(), scripts.end(), [](const MigrationScript &a, const MigrationScript &b) {
        return a.Version != b.Version ? a.Version < b.Version : a.Name < b.Name;
    });
    std::sort(found.Ignored.begin(), found.Ignored.end());
    for (size_t i = 1; i < scripts.size(); ++i)
        if (scripts[i].Version == scripts[i - 1].Version)
            throw std::runtime_error("two scripts of version " + std::to_string(scripts[i].Version) + ": " +
                                     scripts[i - 1].Name + " and " + scripts[i].Name);
    return found;
}

std::vector<VersionGap> VersionGaps(const std::vector<MigrationScript> &scripts) {
    std::vector<VersionGap> gaps;
    for (size_t i = 1; i < scripts.size(); ++i)
        if (scripts[i].Version > scripts[i - 1].Version + 1)
            gaps.push_back({scripts[i - 1].Version + 1, scripts[i].Version - 1});
    return gaps;
}

}  // namespace vantrel
