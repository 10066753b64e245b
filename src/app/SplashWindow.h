#pragma once
// frmSplash: the start window with the product name and the version line.
// At start-up it closes on its timer, a key or a click and then lets the main
// window appear; from the About menu it is the version window and closes on
// a click or a key.

#include <QDialog>

class QTimer;

namespace korvane {

class SplashWindow : public QDialog {
    Q_OBJECT
public:
    enum class Mode { StartUp, Version };
    explicit SplashWindow(Mode mode, QWidget* parent = nullptr);

    // "Version " + major.minor.revision.
    static QString VersionText();

    // Starts Timer1 (800 ms); the start-up mode does this when shown.
    void startTimer1();

signals:
    // The window closed while Timer1 was enabled: show the main window.
    void startMainWindow();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    QTimer* timer1_;
    bool timerEnabled_ = false;
    bool announced_ = false;
};

}  // namespace korvane
