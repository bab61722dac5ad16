#include "packet_filter.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "aprs/aprs.h"
#include "decoder/ax25_control.h"
#include "text/console_text.h"

namespace quillon {

namespace {

constexpr int kAprsTypeCount = static_cast<int>(AprsType::Unknown) + 1;

std::string Upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Fills in the keyed term `key:value`; an error text when it cannot be one.
std::string ReadKeyed(std::string_view token, std::size_t colon, FilterTerm& term)
{
    using Key = FilterTerm::Key;
    const std::string key = Upper(token.substr(0, colon));
    const std::string_view value = token.substr(colon + 1);
    static constexpr std::array<std::pair<std::string_view, Key>, 6> kKeys{{
        {"FROM", Key::From},
        {"TO", Key::To},
        {"VIA", Key::Via},
        {"PORT", Key::Port},
        {"TYPE", Key::Type},
        {"APRS", Key::Aprs},
    }};
    const auto known = std::find_if(kKeys.begin(), kKeys.end(), [&](const auto& k) { return k.first == key; });
    if (known == kKeys.end())
        return "unknown key \"" + std::string(token.substr(0, colon)) + "\" in " + std::string(token);
    if (value.empty())
        return "nothing after the colon: " + std::string(token);
    term.key = known->second;
    switch (term.key) {
    case Key::Port: {
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), term.number);
        if (error != std::errc() || end != value.data() + value.size() || term.number < 0 || term.number > 15)
            return "port takes 0 to 15: " + std::string(token);
        return {};
    }
    case Key::Type: {
        term.value = Upper(value);
        for (int c = 0; c < 256; ++c)
            if (ControlFieldName(static_cast<std::uint8_t>(c)) == term.value)
                return {};
        return "unknown frame type: " + std::string(token);
    }
    case Key::Aprs: {
        if (value == "*") {
            term.number = -1;
            return {};
        }
        const std::string name = FoldCase(value);
        for (int t = 0; t < kAprsTypeCount; ++t)
            if (AprsTypeName(static_cast<AprsType>(t)) == name) {
                term.number = t;
                return {};
            }
        return "unknown APRS type: " + std::string(token);
    }
    default: term.value = Upper(value); return {};
    }
}

}  // namespace

std::string_view ControlFieldName(std::uint8_t control)
{
    static const std::array<std::string, 256> kNames = [] {
        std::array<std::string, 256> names;
        for (int c = 0; c < 256; ++c) {
            std::string& name = names[static_cast<std::size_t>(c)];
            NameControlByte(static_cast<std::uint8_t>(c), name);
            name.erase(std::find_if(name.begin(), name.end(), [](char ch) { return ch < 'A' || ch > 'Z'; }),
                       name.end());
        }
        return names;
    }();
    return kNames[control];
}

FilterParse ParsePacketFilter(std::string_view text)
{
    PacketFilter filter;
    std::size_t i = 0;
    while (true) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        if (i == text.size())
            break;
        FilterTerm term;
        if (text[i] == '-' && i + 1 < text.size() && !IsBlank(text[i + 1])) {
            term.exclude = true;
            ++i;
        }
        if (text[i] == '"') {
            const std::size_t close = text.find('"', i + 1);
            if (close == std::string_view::npos)
                return {std::nullopt, "unclosed quote: " + std::string(text.substr(i))};
            term.value = FoldCase(text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            std::size_t end = i;
            while (end < text.size() && !IsBlank(text[end]))
                ++end;
            const std::string_view token = text.substr(i, end - i);
            i = end;
            if (const std::size_t colon = token.find(':'); colon != std::string_view::npos) {
                if (std::string error = ReadKeyed(token, colon, term); !error.empty())
                    return {std::nullopt, std::move(error)};
            } else {
                term.value = FoldCase(token);
            }
        }
        if (term.key != FilterTerm::Key::Word || !term.value.empty())
            filter.terms.push_back(std::move(term));
    }
    return {std::move(filter), {}};
}

}  // namespace quillon
