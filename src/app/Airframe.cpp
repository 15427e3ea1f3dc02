#include "app/Airframe.h"

#include <QKeyEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <chrono>

namespace {

// Virtual-key codes of the arrow keys, as the key handlers take them.
constexpr int kVkLeft = 37;
constexpr int kVkUp = 38;
constexpr int kVkRight = 39;
constexpr int kVkDown = 40;

// Virtual-key code of an arrow key, 0 for any other key.
int arrowKeyCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Left:
        return kVkLeft;
    case Qt::Key_Up:
        return kVkUp;
    case Qt::Key_Right:
        return kVkRight;
    case Qt::Key_Down:
        return kVkDown;
    default:
        return 0;
    }
}

} // namespace

Airframe::Airframe(QWidget* client, QSize size, const QImage& sheet)
    : QObject(client), m_client(client), m_sky(size.width(), size.height())
{
    m_sky.setSheet(sheet);
    // Each tick waits just until the next step is due, so the view does not
    // wake the program in between.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &Airframe::runDueSteps);
    m_clock = [] {
        return qint64(std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count());
    };
    // The client shows the persistent picture under its controls.
    client->installEventFilter(this);
}

void Airframe::start()
{
    const qint64 now = m_clock();
    m_schedule.start(now);
    Timer1->start(m_schedule.msUntilNext(now));
    m_state.Running = true;
}

void Airframe::stop()
{
    Timer1->stop();
    Timer1->setInterval(0);
    m_state.Running = false;
}

void Airframe::placeJet(int x, int y)
{
    m_state.JetX = x;
    m_state.JetY = y;
}

void Airframe::Timer1_Timer()
{
    State& s = m_state;
    SkyView::scroll(s.SkyX, s.SkyY);
    m_sky.drawSky(s.SkyX, s.SkyY);
    SkyView::steer(s.ArrowKeys, s.JetX, s.JetY);
    m_sky.drawJet(s.JetX, s.JetY);
    // One refresh per step, of what the step drew (the tiles and the jet):
    // the captions below the tiles are not laid out again 64 times a second.
    constexpr int cell = SkyView::kCellSize;
    m_client->update(
        QRegion(s.SkyX, s.SkyY, SkyView::kTileColumns * cell, SkyView::kTileRows * cell) +
        QRegion(s.JetX, s.JetY, cell, cell));
}

void Airframe::runDueSteps()
{
    if (!m_state.Running)
        return;
    for (int steps = m_schedule.takeDue(m_clock()); steps > 0; --steps)
        Timer1_Timer();
    Timer1->start(m_schedule.msUntilNext(m_clock()));
}

qint16* Airframe::arrowFlag(int keyCode)
{
    switch (keyCode) {
    case kVkUp:
        return &m_state.ArrowKeys.Up;
    case kVkDown:
        return &m_state.ArrowKeys.Down;
    case kVkLeft:
        return &m_state.ArrowKeys.Left;
    case kVkRight:
        return &m_state.ArrowKeys.Right;
    default:
        return nullptr;
    }
}

void Airframe::Form_KeyDown(int keyCode, int /*shift*/)
{
    if (qint16* flag = arrowFlag(keyCode))
        *flag = -1;
}

void Airframe::Form_KeyUp(int keyCode, int /*shift*/)
{
    if (qint16* flag = arrowFlag(keyCode))
        *flag = 0;
}

bool Airframe::handleArrowKey(QKeyEvent* event)
{
    const int code = arrowKeyCode(event->key());
    if (code == 0)
        return false;
    // The shift state as the key handlers take it: 1 Shift, 2 Ctrl, 4 Alt.
    const Qt::KeyboardModifiers mods = event->modifiers();
    const int shift = (mods.testFlag(Qt::ShiftModifier) ? 1 : 0) |
                      (mods.testFlag(Qt::ControlModifier) ? 2 : 0) |
                      (mods.testFlag(Qt::AltModifier) ? 4 : 0);
    if (event->type() == QEvent::KeyPress) {
        Form_KeyDown(code, shift);
    } else if (!event->isAutoRepeat()) {
        // A held key repeats as release/press pairs; only the real release counts.
        Form_KeyUp(code, shift);
    }
    event->accept();
    return true;
}

void Airframe::steerFrom(QWidget* widget)
{
    widget->installEventFilter(this);
}

bool Airframe::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_client && event->type() == QEvent::Paint) {
        // In the cockpit view Image1 covers most of the picture; what the
        // airframe view left in the strip below stays.
        QPainter painter(m_client);
        painter.drawImage(0, 0, m_sky.image());
        return false;
    }
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        watched != m_client)
        return handleArrowKey(static_cast<QKeyEvent*>(event));
    return QObject::eventFilter(watched, event);
}
