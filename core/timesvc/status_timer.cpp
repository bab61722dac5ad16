#include "status_timer.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace quillon {

namespace {

// The counters are 32 bits wide; a clock off by more than 68 years is held
// at the limit rather than wrapped into a count of the wrong sign.
std::int32_t WholeSecondsBetween(DateTime from, DateTime to)
{
    using Limits = std::numeric_limits<std::int32_t>;
    const auto seconds = (to - from).count();
    return std::int32_t(std::clamp<decltype(seconds)>(seconds, Limits::min(), Limits::max()));
}

}  // namespace

std::optional<std::string> StatusTimerTick(StatusTimerState& state, DateTime lastFrameTime, DateTime now)
{
    state.IdleSeconds = WholeSecondsBetween(lastFrameTime, now);
    if (state.IdleSeconds == 0) {
        state.PreviousGapSeconds = state.LastIdleSeconds;
        return std::nullopt;
    }
    std::string line =
        std::to_string(state.IdleSeconds) + " sec since last packet [" + std::to_string(state.PreviousGapSeconds) + "]";
    state.LastIdleSeconds = state.IdleSeconds;
    return line;
}

std::optional<std::string> SilenceTick(SilenceWatch& watch, DateTime lastFrameTime, DateTime now)
{
    using std::chrono::floor;
    using std::chrono::minutes;
    if (watch.limit <= minutes(0))
        return std::nullopt;
    if (watch.silentSince) {
        if (lastFrameTime == *watch.silentSince)
            return std::nullopt;
        const auto silence = floor<minutes>(lastFrameTime - *watch.silentSince);
        watch.silentSince.reset();
        return "frames received again after " + std::to_string(silence.count()) + " min";
    }
    if (now - lastFrameTime < watch.limit)
        return std::nullopt;
    watch.silentSince = lastFrameTime;
    return "no frame received for " + std::to_string(watch.limit.count()) + " min";
}

std::chrono::milliseconds DelayToNextTick(std::chrono::system_clock::time_point now, DateTime lastTick)
{
    using namespace std::chrono;
    constexpr auto kTickInSecond = 900ms;
    constexpr auto kMargin = 50ms;
    auto next = floor<seconds>(now) + kTickInSecond;
    if (next - now <= kMargin || floor<seconds>(next) == lastTick)
        next += 1s;
    return ceil<milliseconds>(next - now);
}

}  // namespace quillon
