#pragma once
// The about box: product name, version, author credit and licence. Shown
// without being modal; Esc or OK hides it.

#include <QDialog>

class QLabel;
class QPushButton;

// The program version: major.minor.release, with ".build" when the build
// number is not 0.
QString VersionText();

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* ProductName() const { return productName_; }
    QLabel* Version() const { return version_; }
    QLabel* Licence() const { return licence_; }
    QPushButton* OKButton() const { return okButton_; }
    // Centres the box on the given window (or the screen) and shows it.
    void ShowCentredOn(QWidget* window);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* productName_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* licence_ = nullptr;
    QPushButton* okButton_ = nullptr;
};
