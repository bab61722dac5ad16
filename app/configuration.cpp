#include "app/configuration.h"

#include <fstream>
#include <sstream>

namespace quillon {

std::string UpperCase(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return out;
}

namespace {

std::string_view TrimBlanks(std::string_view s)
{
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

std::string* FieldFor(ConfigurationRecord& c, std::string_view key)
{
    struct Entry {
        std::string_view name;
        std::string ConfigurationRecord::*field;
    };
    static constexpr Entry kKeys[] = {
        {"COM_PORT", &ConfigurationRecord::COM_PORT},
        {"COM_SETTINGS", &ConfigurationRecord::COM_SETTINGS},
        {"COM_HANDSHAKING", &ConfigurationRecord::COM_HANDSHAKING},
        {"MIRROR_COM_PORT", &ConfigurationRecord::MIRROR_COM_PORT},
        {"MIRROR_COM_SETTINGS", &ConfigurationRecord::MIRROR_COM_SETTINGS},
        {"MIRROR_COM_HANDSHAKING", &ConfigurationRecord::MIRROR_COM_HANDSHAKING},
        {"TIMESERVER", &ConfigurationRecord::TIMESERVER},
        {"TIMEFRAMES", &ConfigurationRecord::TIMEFRAMES},
        {"HEXFILE", &ConfigurationRecord::HEXFILE},
        {"MIRROR", &ConfigurationRecord::MIRROR},
    };
    for (const Entry& e : kKeys)
        if (e.name == key)
            return &(c.*e.field);
    return nullptr;
}

}  // namespace

std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

ConfigurationRecord ParseConfiguration(std::string_view text)
{
    ConfigurationRecord config;
    for (std::string_view raw : SplitLines(text)) {
        const std::string line = UpperCase(raw);
        if (line.empty() || line[0] == '#')
            continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string_view view(line);
        if (std::string* field = FieldFor(config, TrimBlanks(view.substr(0, equals))))
            *field = std::string(TrimBlanks(view.substr(equals + 1)));
    }
    return config;
}

bool ReadWholeFile(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream contents;
    contents << in.rdbuf();
    text = std::move(contents).str();
    return !in.bad();
}

}  // namespace quillon
