#include "symbol_names.h"

#include <iterator>

namespace quillon {

namespace {

// The symbol codes run from '!' to '~', one table entry each, in the order of
// the protocol reference's symbol tables (with the later revisions of the
// alternate table). An empty name: reserved, or free for future use.
constexpr char kFirstCode = '!';
constexpr std::size_t kCodes = '~' - '!' + 1;

// The tables are laid out by hand, a row of symbols to a comment.
// clang-format off
constexpr std::string_view kPrimary[] = {
    "police", "", "digipeater", "phone", "DX cluster", "HF gateway", "small aircraft",   // ! " # $ % & '
    "mobile satellite station", "wheelchair", "snowmobile", "Red Cross", "Boy Scouts",  // ( ) * + ,
    "house", "X", "red dot",                                                            // - . /
    "circle 0", "circle 1", "circle 2", "circle 3", "circle 4",                         // 0-4
    "circle 5", "circle 6", "circle 7", "circle 8", "circle 9",                         // 5-9
    "fire", "campground", "motorcycle", "railroad engine", "car", "file server",         // : ; < = > ?
    "hurricane prediction", "aid station", "BBS", "canoe", "", "eyeball",               // @ A B C D E
    "farm vehicle", "grid square", "hotel", "TCP/IP station", "", "school",             // F G H I J K
    "PC user", "MacAPRS", "NTS station", "balloon", "police", "",                       // L M N O P Q
    "recreational vehicle", "space shuttle", "SSTV", "bus", "ATV",                      // R S T U V
    "weather service site", "helicopter", "sailboat", "WinAPRS", "jogger",              // W X Y Z [
    "DF station", "post office", "large aircraft", "weather station", "dish antenna",  // \ ] ^ _ `
    "ambulance", "bicycle", "incident command post", "fire department", "horse",        // a b c d e
    "fire truck", "glider", "hospital", "IOTA", "jeep", "truck", "laptop",              // f g h i j k l
    "Mic-E repeater", "node", "EOC", "dog", "grid square", "repeater", "power boat",    // m n o p q r s
    "truck stop", "semi truck", "van", "water station", "xAPRS", "yagi at QTH", "",     // t u v w x y z
    "", "", "", "",                                                                     // { | } ~
};

constexpr std::string_view kAlternate[] = {
    "emergency", "", "digipeater", "bank", "power plant", "gateway", "crash site",      // ! " # $ % & '
    "cloudy", "firenet", "", "church", "Girl Scouts",                                   // ( ) * + ,
    "house", "ambiguous", "waypoint",                                                   // - . /
    "circle", "", "", "", "", "", "", "", "network node", "gas station",                // 0-9
    "", "park", "advisory", "", "vehicle", "info kiosk",                                // : ; < = > ?
    "hurricane", "box", "", "Coast Guard", "depot", "smoke",                            // @ A B C D E
    "", "", "haze", "rain shower", "", "Kenwood",                                       // F G H I J K
    "lighthouse", "MARS", "buoy", "rocket", "parking", "earthquake",                    // L M N O P Q
    "restaurant", "satellite", "thunderstorm", "sunny", "VORTAC",                       // R S T U V
    "NWS site", "pharmacy", "radio", "", "wall cloud",                                  // W X Y Z [
    "GPS", "", "aircraft", "weather site", "rain",                                      // \ ] ^ _ `
    "ARRL", "", "civil defense", "DX spot", "sleet",                                    // a b c d e
    "funnel cloud", "gale flags", "store", "point of interest", "work zone",            // f g h i j
    "special vehicle", "area", "value sign", "triangle", "small circle",                // k l m n o
    "", "", "restrooms", "ship", "tornado", "truck", "van",                             // p q r s t u v
    "flooding", "wreck", "Skywarn", "shelter",                                          // w x y z
    "", "", "", "",                                                                     // { | } ~
};
// clang-format on

static_assert(std::size(kPrimary) == kCodes && std::size(kAlternate) == kCodes);

bool IsOverlay(char table)
{
    return (table >= '0' && table <= '9') || (table >= 'A' && table <= 'Z') || (table >= 'a' && table <= 'j');
}

}  // namespace

std::string_view AprsSymbolName(char table, char code)
{
    if (code < kFirstCode || code > '~')
        return {};
    const auto at = static_cast<std::size_t>(code - kFirstCode);
    if (table == '/')
        return kPrimary[at];
    if (table == '\\' || IsOverlay(table))
        return kAlternate[at];
    return {};
}

std::string AprsSymbolText(char table, char code)
{
    if (code == 0)
        return {};
    std::string text{table, code};
    if (const std::string_view name = AprsSymbolName(table, code); !name.empty())
        text.append(" ").append(name);
    return text;
}

}  // namespace quillon
