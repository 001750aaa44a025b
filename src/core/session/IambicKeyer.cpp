#include "session/IambicKeyer.h"

TIambicKeyer::TIambicKeyer(const IClock& clock, ITimerFactory& timers)
    : clock_(clock), timer_(timers.CreateTimer()) {
    timer_->OnTimer = [this] {
        // Used as a one-shot: each stage sets the time to its own end.
        timer_->Stop();
        RunDue();
        Schedule();
    };
}

TIambicKeyer::~TIambicKeyer() {
    timer_->OnTimer = nullptr;
    timer_->Stop();
}

void TIambicKeyer::SetSpeed(int32_t cpm) {
    if (cpm < 1)
        cpm = 1;
    dotMs_ = cpm > 6000 ? 1u : uint32_t(6000 / cpm);
}

uint64_t TIambicKeyer::Now() {
    const uint32_t c = clock_.NowMs();
    if (clockRead_ && c < lastClock_)
        high_ += uint64_t(1) << 32;
    lastClock_ = c;
    clockRead_ = true;
    return high_ + c;
}

void TIambicKeyer::Paddle(bool dit, bool down) {
    const uint64_t now = Now();
    // What fell due before this press or release happens first.
    RunDue();
    bool& wired = dit ? ditPaddle_ : dahPaddle_;
    if (wired == down)
        return;  // a repeat of the same state changes nothing
    wired = down;
    if (down) {
        const bool dash = dit == swap_;
        if (state_ == State::Idle)
            StartElement(dash, now);
        else
            // Pressed while an element or its space runs: sent after it.
            (dash ? dahMemory_ : ditMemory_) = true;
    }
    Schedule();
}

void TIambicKeyer::Stop() {
    timer_->Stop();
    const bool wasDown = state_ == State::Mark;
    state_ = State::Idle;
    ditPaddle_ = dahPaddle_ = false;
    ditMemory_ = dahMemory_ = false;
    if (wasDown && OnKey)
        OnKey(false, Now(), 0);
}

void TIambicKeyer::RunDue() {
    const uint64_t now = Now();
    while (state_ != State::Idle && due_ <= now) {
        if (state_ == State::Mark) {
            state_ = State::Space;
            const uint64_t at = due_;
            due_ = at + dotMs_;
            if (OnKey)
                OnKey(false, at, 0);
        } else {
            Decide(due_);
        }
    }
}

void TIambicKeyer::Decide(uint64_t at) {
    const bool wantDit = ditMemory_ || DitHeld();
    const bool wantDah = dahMemory_ || DahHeld();
    // The opposite element first: a squeeze alternates.
    if (lastDash_ ? wantDit : wantDah)
        StartElement(!lastDash_, at);
    else if (lastDash_ ? wantDah : wantDit)
        StartElement(lastDash_, at);
    else
        state_ = State::Idle;
}

void TIambicKeyer::StartElement(bool dash, uint64_t at) {
    state_ = State::Mark;
    lastDash_ = dash;
    (dash ? dahMemory_ : ditMemory_) = false;
    // Mode B: the opposite paddle closed while this element starts is
    // remembered, so letting go of a squeeze still sends one more.
    if (modeB_ && (dash ? DitHeld() : DahHeld()))
        (dash ? ditMemory_ : dahMemory_) = true;
    const uint32_t markMs = dash ? 3 * dotMs_ : dotMs_;
    due_ = at + markMs;
    if (OnKey)
        OnKey(true, at, markMs);
}

void TIambicKeyer::Schedule() {
    if (state_ == State::Idle) {
        timer_->Stop();
        return;
    }
    const uint64_t now = Now();
    const uint64_t wait = due_ > now ? due_ - now : 0;
    timer_->SetInterval(uint32_t(wait < 1 ? 1 : wait));
    timer_->Start();
}
