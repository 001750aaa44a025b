#pragma once
// The iambic keyer: turns the two paddles of a keyer paddle into key-downs
// and key-ups of exact length at the target speed (dot one dot, dash three,
// one dot between elements), as an electronic keyer does. It holds the dot
// and dash memories and the two iambic modes: with both paddles squeezed the
// elements alternate; when the squeeze is let go, mode A ends after the
// element in progress and mode B sends one more opposite element. The key
// sources put it between their paddle lines and the key sink, so the side
// tone and the analyser get what it forms. Time comes through IClock and
// one ITimer; the transitions carry the moments they were due, so a late
// timer does not change what the analyser measures.

#include "devices/Timer.h"
#include "session/KeySource.h"

#include <cstdint>
#include <functional>
#include <memory>

class TIambicKeyer {
public:
    enum Mode : int { Straight = 0, IambicA = 1, IambicB = 2 };

    TIambicKeyer(const IClock& clock, ITimerFactory& timers);
    ~TIambicKeyer();
    TIambicKeyer(const TIambicKeyer&) = delete;
    TIambicKeyer& operator=(const TIambicKeyer&) = delete;

    // IambicA or IambicB; Straight is taken as IambicA (a source that keys
    // straight does not use the keyer).
    void SetMode(int mode) { modeB_ = mode == IambicB; }
    bool ModeB() const { return modeB_; }
    // The dit paddle sends dashes and the dah paddle dots.
    void SetSwap(bool swap) { swap_ = swap; }
    bool Swap() const { return swap_; }
    // Target speed in CpM (one dot = 6000 div CpM ms, at least 1 ms); the
    // element in progress keeps its length.
    void SetSpeed(int32_t cpm);
    uint32_t DotMs() const { return dotMs_; }

    // A paddle closed or opened (dit: the dit paddle as wired, before Swap).
    void Paddle(bool dit, bool down);
    // Lets go of everything: a mark in progress ends now, memories cleared.
    void Stop();
    bool Busy() const { return state_ != State::Idle; }
    bool KeyDown() const { return state_ == State::Mark; }

    // The key went down or up; stampMs on the keyer's own scale (never 0,
    // differences are exact milliseconds); markMs: on a key-down the mark's
    // length, 0 on a key-up.
    std::function<void(bool down, uint64_t stampMs, uint32_t markMs)> OnKey;
    // Hands a transition to a key sink, a key-down as a mark of known length.
    static void Forward(IKeySink& sink, bool down, uint64_t stampMs, uint32_t markMs) {
        if (down && markMs > 0)
            sink.KeyMarkStarted(stampMs, markMs);
        else
            sink.KeyChanged(down, stampMs);
    }

private:
    enum class State { Idle, Mark, Space };
    uint64_t Now();
    void RunDue();
    void Decide(uint64_t at);
    void StartElement(bool dash, uint64_t at);
    void Schedule();
    bool DitHeld() const { return swap_ ? dahPaddle_ : ditPaddle_; }
    bool DahHeld() const { return swap_ ? ditPaddle_ : dahPaddle_; }

    const IClock& clock_;
    std::unique_ptr<ITimer> timer_;
    uint32_t dotMs_ = 100;
    bool modeB_ = false;
    bool swap_ = false;
    bool ditPaddle_ = false, dahPaddle_ = false;  // as wired
    bool ditMemory_ = false, dahMemory_ = false;
    State state_ = State::Idle;
    bool lastDash_ = false;  // the element in progress or last sent
    uint64_t due_ = 0;       // end of the mark or of the space after it
    // 64-bit scale over the wrapping 32-bit clock, starting above 0.
    uint32_t lastClock_ = 0;
    uint64_t high_ = uint64_t(1) << 32;
    bool clockRead_ = false;
};
