#pragma once

#include "app/SkyView.h"
#include "app/StepSchedule.h"

#include <QObject>
#include <QSize>

#include <functional>

class QKeyEvent;
class QTimer;
class QWidget;

// The cockpit's airframe view: a sky of tiles scrolling under a jet that the
// arrow keys steer, drawn step by step into a picture that stays under the
// cockpit's controls (nothing clears it, so what the view drew below the
// cockpit picture stays after it). Its Timer1 runs the steps, 64 a second,
// while the view is shown.
class Airframe : public QObject
{
    Q_OBJECT
public:
    // Draws into a picture of `size`, painted under `client`'s controls, from
    // the sprite sheet `sheet`. Steered by the arrow keys sent to it by
    // handleArrowKey, or pressed in a widget it watches (steerFrom).
    Airframe(QWidget* client, QSize size, const QImage& sheet);

    // The view shown: the steps start, the first due one period from now.
    void start();
    // The cockpit shown: the steps stop at once; the sky and the jet stay.
    void stop();
    // Where the jet starts.
    void placeJet(int x, int y);

    // One animation step: scroll, sky, steer, jet, refresh.
    void Timer1_Timer();
    // Timer1's tick: runs the steps the schedule says are due (64 a second),
    // then sets Timer1 to fire when the next one is.
    void runDueSteps();
    // Test seam: the monotonic clock (nanoseconds) the step schedule reads.
    void setClock(std::function<qint64()> nowNs) { m_clock = std::move(nowNs); }

    // An arrow key pressed or released, for the window's key handlers; false
    // for other keys.
    bool handleArrowKey(QKeyEvent* event);
    // The arrow keys still steer while `widget` (a check box of the cockpit)
    // has the focus.
    void steerFrom(QWidget* widget);

    // Where the view stands.
    struct State
    {
        bool Running = false; // the steps run: the view is shown
        int JetX = 0;
        int JetY = 0;
        int SkyX = 0; // the sky tiles' offset, scrolled at every step
        int SkyY = 0;
        ArrowKeyFlags ArrowKeys;
    };
    const State& state() const { return m_state; }
    // The persistent picture the view draws into.
    const QImage& image() const { return m_sky.image(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // An arrow key pressed: the jet moves that way while it is held. Keys by
    // their virtual-key codes (37 left, 38 up, 39 right, 40 down); other codes
    // and the shift state are ignored.
    void Form_KeyDown(int keyCode, int shift);
    // An arrow key released: the jet stops moving that way.
    void Form_KeyUp(int keyCode, int shift);
    // The held-key flag of an arrow key's code, or null for other keys.
    qint16* arrowFlag(int keyCode);

    QWidget* m_client;
    QTimer* Timer1 = nullptr; // steps the view, 64 times a second; stopped in the cockpit
    State m_state;
    SkyView m_sky;
    StepSchedule m_schedule;
    std::function<qint64()> m_clock;
};
