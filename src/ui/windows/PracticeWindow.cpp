#include "windows/PracticeWindow.h"

#include "controls/Accessible.h"
#include "controls/ChartPainter.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

// A widget that paints one of the practice charts.
class TPracticeWindow::Chart : public QWidget {
public:
    Chart(QWidget* parent, std::function<void(IChartCanvas&, int w, int h)> draw)
        : QWidget(parent), draw_(std::move(draw)) {
        setMinimumSize(420, 300);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), Qt::white);
        ChartPainter canvas(p);
        draw_(canvas, width(), height());
    }

private:
    std::function<void(IChartCanvas&, int, int)> draw_;
};

namespace {

QString Num(double v, int decimals = 1) { return QString::number(v, 'f', decimals); }

QString Opt(const std::optional<double>& v, int decimals, const QString& unit = QString()) {
    return v ? Num(*v, decimals) + unit : QStringLiteral("-");
}

const char* const kKindCaptions[kElementKinds] = {"Dot", "Dash", "Element space", "Character space",
                                                  "Word space"};

}  // namespace

TPracticeWindow::TPracticeWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("PracticeWindow"));
    setWindowTitle(QStringLiteral("Practice"));
    resize(820, 520);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("PracticeTabs"));
    SetAccessible(tabs_, QStringLiteral("Practice"),
                  QStringLiteral("This session's figures, or the progress over the stored sessions"));
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(6, 6, 6, 6);
    col->addWidget(tabs_);

    // The session being keyed.
    auto* session = new QWidget;
    auto* row = new QHBoxLayout(session);
    histograms_ = new Chart(session, [this](IChartCanvas& c, int w, int h) {
        if (stats_ && !stats_->Empty())
            DrawHistograms(c, *stats_, 0, 0, w, h);
        else
            c.Text(w / 2.0, h / 2.0, "Key to see your element lengths here", 13, {90, 90, 90},
                   IChartCanvas::Align::Center);
    });
    histograms_->setObjectName(QStringLiteral("Histograms"));
    SetAccessible(
        histograms_, QStringLiteral("Element lengths"),
        QStringLiteral("Histograms of this session's dots, dashes and spaces in dots, with the ideal "
                       "lengths 1, 3 and 7 marked; the summary beside it has the figures"));
    row->addWidget(histograms_, 1);
    summary_ = new QLabel(session);
    summary_->setObjectName(QStringLiteral("Summary"));
    summary_->setTextFormat(Qt::RichText);
    summary_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    summary_->setMinimumWidth(250);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(summary_);
    tabs_->addTab(session, QStringLiteral("This Session"));

    // The stored sessions.
    auto* history = new QWidget;
    auto* hcol = new QVBoxLayout(history);
    progress_ = new Chart(history, [this](IChartCanvas& c, int w, int h) {
        if (!points_.empty())
            DrawProgress(c, points_, 0, 0, w, h);
        else
            c.Text(w / 2.0, h / 2.0, "No stored sessions yet", 13, {90, 90, 90}, IChartCanvas::Align::Center);
    });
    progress_->setObjectName(QStringLiteral("Progress"));
    SetAccessible(progress_, QStringLiteral("Progress chart"),
                  QStringLiteral("Score, speed and spread of every stored session against its date"));
    hcol->addWidget(progress_, 1);
    auto* folderRow = new QHBoxLayout;
    folder_ = new QLabel(history);
    folder_->setObjectName(QStringLiteral("SessionFolder"));
    folder_->setAccessibleDescription(QStringLiteral("The stored sessions and their folder"));
    folder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folderRow->addWidget(folder_, 1);
    auto* refresh = new QPushButton(QStringLiteral("&Refresh"), history);
    refresh->setObjectName(QStringLiteral("RefreshProgress"));
    connect(refresh, &QPushButton::clicked, this, [this] {
        if (OnRefreshProgress)
            OnRefreshProgress();
    });
    folderRow->addWidget(refresh);
    openFolder_ = new QPushButton(QStringLiteral("&Open Folder"), history);
    openFolder_->setObjectName(QStringLiteral("OpenFolder"));
    connect(openFolder_, &QPushButton::clicked, this, [this] {
        if (OnOpenFolder)
            OnOpenFolder();
    });
    folderRow->addWidget(openFolder_);
    hcol->addLayout(folderRow);
    tabs_->addTab(history, QStringLiteral("Progress"));
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 1 && OnRefreshProgress)
            OnRefreshProgress();
    });

    ShowSession(nullptr);
}

void TPracticeWindow::ShowSession(std::shared_ptr<const TPracticeStats> stats) {
    stats_ = std::move(stats);
    histograms_->update();
    if (!stats_ || stats_->Empty()) {
        summary_->setText(QStringLiteral("<p>Nothing keyed yet.</p>"));
        return;
    }
    const PracticeReport r = stats_->Report();
    QString t = QStringLiteral("<p style='font-size:15pt'><b>Score %1</b></p>").arg(Num(r.score));
    t += QStringLiteral("<p>%1 characters").arg(r.characters);
    if (r.unknown)
        t += QStringLiteral(", %1 unknown").arg(r.unknown);
    t += QStringLiteral("<br>Speed %1 CpM (sd %2)</p>").arg(Num(r.speedMean), Num(r.speedSd));
    t += QStringLiteral(
        "<table cellspacing='0' cellpadding='2'><tr><th align='left'>Spread</th>"
        "<th align='right'>n</th><th align='right'>mean ms</th><th align='right'>cv %</th></tr>");
    for (int i = 0; i < kElementKinds; ++i) {
        const ElementSpread& e = r.elements[size_t(i)];
        t += QStringLiteral(
                 "<tr><td>%1</td><td align='right'>%2</td><td align='right'>%3</td>"
                 "<td align='right'>%4</td></tr>")
                 .arg(QString::fromLatin1(kKindCaptions[i]))
                 .arg(e.count)
                 .arg(e.count ? Num(e.meanMs) : QStringLiteral("-"))
                 .arg(e.count > 1 ? Num(e.cvPct) : QStringLiteral("-"));
    }
    t += QStringLiteral("</table>");
    t += QStringLiteral("<p>Dash : dot %1 (3)<br>Character space : dot %2 (3)<br>Weight %3 (50 %)</p>")
             .arg(Opt(r.dashDot, 2), Opt(r.charSpaceDot, 2), Opt(r.weightPct, 1, QStringLiteral(" %")));
    t += QStringLiteral("<p><b>Weakest characters</b><br>");
    const size_t shown = std::min<size_t>(r.byScore.size(), 5);
    for (size_t i = 0; i < shown; ++i) {
        const CharacterScore& c = r.byScore[i];
        t += QStringLiteral("%1 &nbsp; %2 (%3&times;)<br>")
                 .arg(QString::fromLatin1(c.text.c_str()).toHtmlEscaped(), Num(c.score))
                 .arg(c.count);
    }
    summary_->setText(t + QStringLiteral("</p>"));
}

void TPracticeWindow::ShowProgress(std::vector<ProgressPoint> points, const QString& folder, int skipped) {
    points_ = std::move(points);
    QString text = QStringLiteral("%1 sessions in %2").arg(points_.size()).arg(folder);
    if (skipped)
        text += QStringLiteral(" (%1 could not be read)").arg(skipped);
    folder_->setText(text);
    progress_->update();
}

QString TPracticeWindow::SummaryText() const {
    QString plain = summary_->text();
    plain.replace(QStringLiteral("<br>"), QStringLiteral("\n"));
    plain.replace(QStringLiteral("</tr>"), QStringLiteral("\n"));
    plain.replace(QStringLiteral("</p>"), QStringLiteral("\n"));
    plain.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    plain.replace(QStringLiteral("&times;"), QStringLiteral("x"));
    plain.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    return plain;
}

void TPracticeWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape || (e->key() == Qt::Key_F6 && e->modifiers() == Qt::NoModifier)) {
        hide();
        return;
    }
    if (OnForwardKeyDown)
        OnForwardKeyDown(e);
}

void TPracticeWindow::keyReleaseEvent(QKeyEvent* e) {
    if (OnForwardKeyUp)
        OnForwardKeyUp(e);
}
