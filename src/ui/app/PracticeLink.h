#pragma once
// Feeds the practice window: keeps the session's key transitions as the
// session record has them and, a moment after each decoded character while
// the window shows, judges them with the same analysis and statistics as
// the command-line report, so the window and `report` on the record agree.
// The progress view reads the stored session records of the folder.

#include "analysis/BatchAnalysis.h"
#include "analysis/PracticeStats.h"
#include "devices/Timer.h"
#include "session/KeyingSession.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TPracticeWindow;

class TPracticeLink : public ISessionListener {
public:
    // folder: where the session records are kept.
    TPracticeLink(KeyingSession& session, TPracticeWindow& form, ITimerFactory& timers, std::string folder);
    ~TPracticeLink() override;
    TPracticeLink(const TPracticeLink&) = delete;
    TPracticeLink& operator=(const TPracticeLink&) = delete;

    // F6 and the View menu: shows the window with fresh numbers, or hides it.
    void Toggle();
    // Judges what was keyed so far and shows it.
    void Refresh();
    // Reads the stored sessions again.
    void RefreshProgress();

    // The statistics shown (null before anything was keyed), and the
    // speed they were judged at (the target speed at the first key).
    std::shared_ptr<const TPracticeStats> Stats() const { return stats_; }
    int32_t JudgedSpeed() const { return speed_; }
    const std::string& Folder() const { return folder_; }

    // Opens the folder on the desktop; false when it cannot.
    std::function<bool(const std::string& url)> OpenUrl;
    std::function<void(const std::string&)> OnStatus;

    // ISessionListener
    void KeyTransition(uint64_t ms, bool down) override;
    void CharacterDecoded(const std::string&, bool) override;

private:
    void OpenFolder();

    KeyingSession& session_;
    TPracticeWindow& form_;
    std::unique_ptr<ITimer> timer_;
    std::string folder_;
    std::vector<orvo::KeyEvent> events_;
    int32_t speed_ = 0;
    bool dirty_ = false;
    std::shared_ptr<const TPracticeStats> stats_;
};
