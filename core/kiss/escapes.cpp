#include "escapes.h"

namespace quillon {

void AppendKissEscaped(ByteString& out, std::span<const std::uint8_t> data)
{
    for (const std::uint8_t b : data) {
        if (b == FEND) {
            out.push_back(FESC);
            out.push_back(TFEND);
        } else if (b == FESC) {
            out.push_back(FESC);
            out.push_back(TFESC);
        } else {
            out.push_back(b);
        }
    }
}

ByteString EncodeKissFrame(std::uint8_t command, std::span<const std::uint8_t> data)
{
    ByteString out{FEND};
    out.reserve(data.size() + data.size() / 8 + 4);
    const std::uint8_t head[] = {command};
    AppendKissEscaped(out, head);
    AppendKissEscaped(out, data);
    out.push_back(FEND);
    return out;
}

Unescaped UnescapeKiss(std::span<const std::uint8_t> raw, std::span<std::uint8_t> out)
{
    Unescaped result;
    for (std::uint8_t b : raw) {
        if (b == FESC) {
            result.escapePending = true;
            continue;
        }
        if (result.escapePending && (b == TFESC || b == TFEND)) {
            b = (b == TFESC) ? FESC : FEND;
            result.escapePending = false;
        }
        out[result.length++] = b;
    }
    return result;
}

EscapeCounts CountKissEscapes(std::span<const std::uint8_t> frame)
{
    EscapeCounts counts;
    for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
        if (frame[i] != FESC)
            continue;
        if (frame[i + 1] == TFESC)
            ++counts.tfesc;
        else if (frame[i + 1] == TFEND)
            ++counts.tfend;
    }
    return counts;
}

}  // namespace quillon
