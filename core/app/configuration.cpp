#include "app/configuration.h"

#include <charconv>

#include "text/lines.h"

namespace quillon {

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
        {"LOG_ROTATE", &ConfigurationRecord::LOG_ROTATE},
        {"JSONFILE", &ConfigurationRecord::JSONFILE},
    };
    for (const Entry& e : kKeys)
        if (e.name == key)
            return &(c.*e.field);
    return nullptr;
}

}  // namespace

std::optional<std::int16_t> ParsePortNumber(std::string_view field)
{
    std::int16_t n = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), n);
    if (error != std::errc() || end != field.data() + field.size() || n < 1)
        return std::nullopt;
    return n;
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

}  // namespace quillon
