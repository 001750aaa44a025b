#include "windows/ParamKeys.h"

#include "controls/Accessible.h"
#include "controls/RadioGroup.h"
#include "settings/KeyNames.h"
#include "settings/Settings.h"
#include "windows/ParamTarget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <utility>

namespace {

// An editable list of key names: the common ones to pick, any X key-symbol
// name typed.
QComboBox* KeyBox(const char* name, const QString& accessible, const QString& description) {
    auto* b = new QComboBox;
    b->setObjectName(QString::fromLatin1(name));
    b->setEditable(true);
    b->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& k : KeyNameChoices())
        b->addItem(QString::fromStdString(k));
    SetAccessible(b, accessible, description);
    b->lineEdit()->setAccessibleName(accessible);
    return b;
}

void ShowName(QComboBox* b, const std::string& name) {
    const QString n = QString::fromStdString(name);
    const int i = b->findText(n);
    if (i >= 0)
        b->setCurrentIndex(i);
    else
        b->setEditText(n);
}

}  // namespace

TParamKeys::TParamKeys(IParamTarget& target, QWidget* parent)
    : QGroupBox(QStringLiteral("Key"), parent), target_(target) {
    setObjectName(QStringLiteral("KeyGroupBox"));
    keyerGroup_ = new TRadioGroup(
        QStringLiteral("Key Type"),
        {QStringLiteral("Straight Key"), QStringLiteral("Iambic A"), QStringLiteral("Iambic B")});
    keyerGroup_->setObjectName(QStringLiteral("KeyerGroup"));
    keyerGroup_->setAccessibleDescription(QStringLiteral(
        "A straight key keys as pressed; with Iambic A or B the built-in keyer forms the elements from two "
        "paddles at the target speed"));
    const QString keyHelp =
        QStringLiteral("A keyboard key by its X key-symbol name, such as Right, Control_L or space");
    straight_ = KeyBox("StraightKeyBox", QStringLiteral("Straight key"), keyHelp);
    dit_ = KeyBox("PaddleDitBox", QStringLiteral("Dit paddle"),
                  keyHelp + QStringLiteral("; on a serial port the dit paddle is on CTS"));
    dah_ = KeyBox("PaddleDahBox", QStringLiteral("Dah paddle"),
                  keyHelp + QStringLiteral("; on a serial port the dah paddle is on DSR"));
    swap_ = new QCheckBox(QStringLiteral("Swap Paddles"));
    swap_->setObjectName(QStringLiteral("SwapPaddlesBox"));
    swap_->setAccessibleDescription(QStringLiteral("The dit paddle sends dahs and the dah paddle dits"));

    // One row of choices and one of keys: the group spans the window's width.
    keyerGroup_->SetColumns(3);
    auto* grid = new QGridLayout(this);
    grid->setVerticalSpacing(2);
    grid->addWidget(keyerGroup_, 0, 0, 1, 4);
    grid->addWidget(swap_, 0, 4, 1, 2, Qt::AlignBottom);
    int column = 0;
    for (auto [text, box] :
         {std::pair{QStringLiteral("Straight &Key"), straight_},
          std::pair{QStringLiteral("&Dit Paddle"), dit_}, std::pair{QStringLiteral("D&ah Paddle"), dah_}}) {
        auto* l = new QLabel(text);
        l->setBuddy(box);
        grid->addWidget(l, 1, column, Qt::AlignRight);
        grid->addWidget(box, 1, column + 1);
        column += 2;
    }
    ShowSettings(target_.Settings());
    keyerGroup_->OnClick = [this] { Store(); };
    for (QComboBox* b : {straight_, dit_, dah_}) {
        // A name picked from the list, or typed and confirmed (Enter or
        // leaving the field).
        connect(b, &QComboBox::activated, this, [this] { Store(); });
        connect(b->lineEdit(), &QLineEdit::editingFinished, this, [this] { Store(); });
    }
    connect(swap_, &QCheckBox::toggled, this, [this] { Store(); });
}

void TParamKeys::ShowSettings(const TSettings& s) {
    showing_ = true;
    keyerGroup_->SetItemIndex(s.Keyer);
    ShowName(straight_, s.StraightKey);
    ShowName(dit_, s.PaddleDit);
    ShowName(dah_, s.PaddleDah);
    swap_->setChecked(s.PaddleSwap);
    EnableKeys();
    showing_ = false;
}

void TParamKeys::EnableKeys() {
    const bool keyer = keyerGroup_->ItemIndex() > 0;
    straight_->setEnabled(!keyer);
    for (QWidget* w :
         {static_cast<QWidget*>(dit_), static_cast<QWidget*>(dah_), static_cast<QWidget*>(swap_)})
        w->setEnabled(keyer);
}

void TParamKeys::Store() {
    if (showing_)
        return;
    EnableKeys();
    TSettings s = target_.Settings();
    s.Keyer = std::max(0, keyerGroup_->ItemIndex());
    s.StraightKey = straight_->currentText().trimmed().toStdString();
    s.PaddleDit = dit_->currentText().trimmed().toStdString();
    s.PaddleDah = dah_->currentText().trimmed().toStdString();
    s.PaddleSwap = swap_->isChecked();
    // A name the key table does not know keeps the key in force, and says so.
    for (const std::string* name : {&s.StraightKey, &s.PaddleDit, &s.PaddleDah}) {
        if (KeySymFromName(*name) == 0) {
            target_.StatusMessage("Unknown key \"" + *name + "\": the key in force is kept");
            const int keyer = s.Keyer;
            ShowSettings(target_.Settings());
            showing_ = true;
            keyerGroup_->SetItemIndex(keyer);
            showing_ = false;
            s = target_.Settings();
            s.Keyer = keyer;
            s.PaddleSwap = swap_->isChecked();
            break;
        }
    }
    EnableKeys();
    const TSettings& now = target_.Settings();
    if (s.Keyer == now.Keyer && s.StraightKey == now.StraightKey && s.PaddleDit == now.PaddleDit &&
        s.PaddleDah == now.PaddleDah && s.PaddleSwap == now.PaddleSwap)
        return;
    target_.Apply(s);
}
