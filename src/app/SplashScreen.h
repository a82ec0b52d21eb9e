// The splash screen shown while the main window builds its pages: a progress bar that scales
// itself to the number of steps the previous start needed, shown for at least two seconds.
#pragma once

#include <cstdint>
#include <memory>

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class HostRegistry;
class QLabel;
class QProgressBar;
class QTimer;

// One at a time, reached through Current(); it destroys itself once loading has finished and
// the minimum time has passed, whichever comes later. Interface thread only.
class TSplashScreen : public QWidget {
    Q_OBJECT

public:
    static constexpr int c_minimumShowMs = 2000;
    static constexpr int32_t c_defaultSteps = 10;

    // The splash being shown, null when there is none.
    static TSplashScreen* Current() noexcept;

    // owner is the main window, enabled again when the splash goes.
    explicit TSplashScreen(QWidget* owner);
    // Stores the steps counted for the next start's bar.
    ~TSplashScreen() override;

    void SetStatus(const QString& text);
    void Step();
    // Fills the bar; destroys the splash at once when the minimum time has passed already, so
    // the object may be gone on return.
    void Finish();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Expired();

    QPointer<QWidget> m_owner;
    std::unique_ptr<HostRegistry> m_settings;
    int32_t m_steps = 0;
    bool m_expired = false;
    bool m_finished = false;
    QPixmap m_image;
    QLabel* m_version;
    QProgressBar* m_progress;
    QLabel* m_status;
    QTimer* m_timer;
};

// These work on the current splash and do nothing when there is none.
void SplashCreate(QWidget* owner);
void SplashSetStatus(const QString& text);
void SplashStep();
void SplashFinish();
// Takes the splash down at once, minimum time or not: start-up failed, and the box that says so
// must not sit behind a splash that stays on top.
void SplashAbandon();
