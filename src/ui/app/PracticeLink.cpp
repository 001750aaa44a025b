#include "app/PracticeLink.h"

#include "analysis/PracticeChart.h"
#include "analysis/SessionInput.h"
#include "morse/BatchError.h"
#include "windows/PracticeWindow.h"

#include <QDir>
#include <QUrl>

#include <algorithm>

TPracticeLink::TPracticeLink(KeyingSession& session, TPracticeWindow& form, ITimerFactory& timers,
                             std::string folder)
    : session_(session), form_(form), timer_(timers.CreateTimer()), folder_(std::move(folder)) {
    // Judging re-reads the whole session: once the character has settled,
    // not at every key.
    timer_->SetInterval(300);
    timer_->OnTimer = [this] {
        timer_->Stop();
        Refresh();
    };
    form_.OnOpenFolder = [this] { OpenFolder(); };
    form_.OnRefreshProgress = [this] { RefreshProgress(); };
    session_.AddListener(this);
}

TPracticeLink::~TPracticeLink() {
    session_.RemoveListener(this);
    form_.OnOpenFolder = nullptr;
    form_.OnRefreshProgress = nullptr;
}

void TPracticeLink::KeyTransition(uint64_t ms, bool down) {
    // As the record writes them: the speed of the first key heads it, and
    // times never go back.
    if (events_.empty())
        speed_ = session_.Settings().TargetSpeed;
    if (!events_.empty())
        ms = std::max(ms, events_.back().t);
    events_.push_back({ms, down});
    dirty_ = true;
}

void TPracticeLink::CharacterDecoded(const std::string&, bool) {
    if (form_.isVisible() && !timer_->IsActive())
        timer_->Start();
}

void TPracticeLink::Refresh() {
    if (!dirty_)
        return;
    dirty_ = false;
    orvo::AnalysisOptions opt;
    opt.speed = speed_;
    auto stats = std::make_shared<TPracticeStats>(opt.extended);
    orvo::AddCharacters(*stats, orvo::AnalyzeKeys(events_, opt));
    stats_ = std::move(stats);
    form_.ShowSession(stats_);
}

void TPracticeLink::RefreshProgress() {
    std::vector<ProgressPoint> points;
    int skipped = 0;
    const QDir dir(QString::fromStdString(folder_));
    const QStringList names = dir.entryList({QStringLiteral("*.keys")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        try {
            const orvo::SessionInput s =
                orvo::ReadSessionInput(dir.filePath(name).toStdString(), orvo::AnalysisOptions(), false);
            if (s.stats->Empty())
                continue;
            points.push_back(MakeProgressPoint(s.stats->Report(), s.started, int(points.size())));
        } catch (const orvo::BatchError&) {
            ++skipped;
        }
    }
    form_.ShowProgress(std::move(points), QString::fromStdString(folder_), skipped);
}

void TPracticeLink::Toggle() {
    if (form_.isVisible()) {
        form_.hide();
        return;
    }
    Refresh();
    form_.ShowSession(stats_);
    RefreshProgress();
    form_.show();
    form_.raise();
}

void TPracticeLink::OpenFolder() {
    QDir().mkpath(QString::fromStdString(folder_));
    const std::string url = QUrl::fromLocalFile(QString::fromStdString(folder_)).toString().toStdString();
    if (!(OpenUrl && OpenUrl(url)) && OnStatus)
        OnStatus("Cannot open " + folder_ + ": no program on the desktop opens folders");
}
