#pragma once
// The "Practice" window: for the session being keyed, the histograms of the
// element lengths in the operator's own dots with the ideal lines, the
// spread of every element kind, the score and the weakest characters; and
// the progress over the stored sessions (score, speed and spread by date)
// with the folder they are kept in. It draws what it is given; the numbers
// come from the practice statistics of the core.

#include "analysis/PracticeChart.h"
#include "analysis/PracticeStats.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QPushButton;
class QTabWidget;

class TPracticeWindow : public QWidget {
    Q_OBJECT
public:
    explicit TPracticeWindow(QWidget* parent = nullptr);

    // The current session's statistics; null or empty: nothing keyed yet.
    void ShowSession(std::shared_ptr<const TPracticeStats> stats);
    // The stored sessions, oldest first, and the folder they were read from;
    // skipped: files that could not be read.
    void ShowProgress(std::vector<ProgressPoint> points, const QString& folder, int skipped);

    // What the window shows as text (the summary beside the histograms).
    QString SummaryText() const;
    QTabWidget* Tabs() const { return tabs_; }

    // Supplied by the main window.
    std::function<void()> OnOpenFolder;
    std::function<void()> OnRefreshProgress;
    std::function<void(QKeyEvent*)> OnForwardKeyDown;
    std::function<void(QKeyEvent*)> OnForwardKeyUp;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    class Chart;

    QTabWidget* tabs_ = nullptr;
    Chart* histograms_ = nullptr;
    Chart* progress_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* folder_ = nullptr;
    QPushButton* openFolder_ = nullptr;
    std::shared_ptr<const TPracticeStats> stats_;
    std::vector<ProgressPoint> points_;
};
