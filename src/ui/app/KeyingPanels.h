#pragma once
// The main window's working area below the speeds: the pattern strip with
// its two notices, the upper panel of decoded characters and the lower
// panel of typed ones. It lays them out, shows and hides them (F4, F8,
// the pause notice), passes the left mouse button on as the Morse key, and
// is what the sending unit sees of the panels.

#include "session/Sending.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

class QLabel;
class TCWHighlightLabel;
class TPatternStrip;

class TKeyingPanels : public QWidget, public ISendingView {
public:
    explicit TKeyingPanels(QWidget* parent = nullptr);

    TPatternStrip* Strip() const { return strip_; }
    TCWHighlightLabel* Upper() const { return upperPanel_; }
    TCWHighlightLabel* Lower() const { return lowerPanel_; }

    // F4: every decoded character and pattern hidden behind a notice.
    void SetDecodedHidden(bool hidden);
    // F8: the lower panel shown or folded away.
    void SetTypedShown(bool shown);
    void SetPausedNotice(bool shown);

    // The left mouse button went down or up (event timestamp in ms).
    std::function<void(bool down, uint64_t timestamp)> OnMouseKey;
    // What the sending unit asks for that only the window can do.
    std::function<void()> OnRedrawRed;
    std::function<void()> OnResetReplayStats;
    std::function<void(const std::string&)> OnMessage;
    std::function<void(const std::string&)> OnStatus;

    // ISendingView
    void AddTypedText(const std::string& s) override;
    void DeleteTyped(int n) override;
    std::string TypedText() const override;
    void MarkSent(const std::string& s) override;
    std::string GreenText() const override;
    int32_t GreenStart() const override;
    int32_t MoveGreenStart(int32_t delta) override;
    int32_t RedStart() const override;
    int32_t MoveRedStart(int32_t delta) override;
    void UpdateStrip() override;
    void RedrawRedStrip() override;
    void ResetReplayStats() override;
    void Message(const std::string& text) override;
    void Status(const std::string& text) override;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    TPatternStrip* strip_;
    QLabel* SoundPausedText;
    QLabel* HiddenText;
    QWidget* middle_;
    QWidget* bottom_;
    TCWHighlightLabel* upperPanel_;
    TCWHighlightLabel* lowerPanel_;
};
