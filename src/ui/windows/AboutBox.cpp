#include "windows/AboutBox.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

QString VersionText() {
    QString v = QString("%1.%2.%3").arg(ORVO_VERSION_MAJOR).arg(ORVO_VERSION_MINOR).arg(ORVO_VERSION_PATCH);
    if (ORVO_VERSION_BUILD != 0)
        v += QString(".%1").arg(ORVO_VERSION_BUILD);
    return v;
}

namespace {

// The program icon: a straight key's knob above a line of dots and dashes.
QPixmap IconArt() {
    QPixmap pm(68, 68);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    p.drawRoundedRect(6, 38, 56, 8, 3, 3);  // lever
    p.drawEllipse(QPoint(50, 30), 10, 10);  // knob
    p.setBrush(QColor(200, 0, 0));
    p.drawRect(6, 54, 6, 6);    // dot
    p.drawRect(16, 54, 18, 6);  // dash
    p.drawRect(38, 54, 6, 6);   // dot
    p.setBrush(QColor(0, 128, 0));
    p.drawRect(48, 54, 14, 6);
    return pm;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setWindowTitle("About");
    setModal(false);
    setFixedSize(298, 209);

    auto* panel = new QFrame;
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(pal);

    auto* icon = new QLabel;
    icon->setObjectName("ProgramIcon");
    icon->setPixmap(IconArt());
    icon->setFixedSize(68, 68);

    productName_ = new QLabel("Vantor CW Tapmeter");
    productName_->setObjectName("ProductName");
    QFont big = productName_->font();
    big.setPixelSize(19);
    big.setBold(true);
    productName_->setFont(big);
    productName_->setWordWrap(true);  // fonts wider than the design one still fit

    version_ = new QLabel("Version " + VersionText());
    version_->setObjectName("Version");
    QFont small = version_->font();
    small.setPixelSize(13);
    version_->setFont(small);
    auto* credit = new QLabel("Written by the Orvo Tapmeter developers");
    credit->setObjectName("Copyright");
    credit->setFont(small);
    credit->setWordWrap(true);

    licence_ = new QLabel(
        "Free software under the GNU General Public License, version 3 or later. "
        "There is no warranty.");
    licence_->setObjectName("Licence");
    licence_->setFont(small);
    licence_->setWordWrap(true);

    auto* texts = new QVBoxLayout;
    texts->addWidget(productName_);
    texts->addWidget(version_);
    texts->addWidget(credit);
    texts->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);

    okButton_ = new QPushButton("OK");
    okButton_->setObjectName("OKButton");
    okButton_->setFixedSize(65, 26);
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QWidget::hide);

    auto* inner = new QVBoxLayout(panel);
    inner->setContentsMargins(6, 6, 6, 8);
    top->setSpacing(6);
    inner->addLayout(top, 1);
    inner->addWidget(licence_);
    inner->addWidget(okButton_, 0, Qt::AlignHCenter);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->addWidget(panel);
}

void TAboutBox::ShowCentredOn(QWidget* window) {
    QRect area;
    if (window)
        area = window->frameGeometry();
    else if (const QScreen* s = QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    if (area.isValid())
        move(area.center() - QPoint(width() / 2, height() / 2));
    show();
    raise();
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QDialog::keyPressEvent(event);
}
