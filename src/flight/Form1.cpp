#include "flight/Form1.h"

#include "base/Rounding.h"
#include "flight/FrameShapes.h"
#include "flight/Module1.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <chrono>

namespace {

qint16 nearest16(double v)
{
    return roundHalfEven<qint16>(v).value_or(v < 0 ? INT16_MIN : INT16_MAX);
}

int nearest32(double v)
{
    return roundHalfEven<int>(v).value_or(v < 0 ? INT32_MIN : INT32_MAX);
}

} // namespace

Form1::Form1(Module1& sound, std::function<void()> endProcess)
    : m_sound(sound), m_endProcess(std::move(endProcess))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::Tool | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_NoSystemBackground);
    // It flies by itself: shown by a check or by 紙飛行機, it leaves the
    // keyboard where it was (Esc still closes 新着情報).
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAccessibleName(QStringLiteral("紙飛行機"));
    for (int i = 0; i < 8; ++i)
        Picture1[size_t(i)] = QImage(QStringLiteral(":/assets/frame%1.bmp").arg(i));
    resize(64, 64);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
}

void Form1::Form_Load()
{
    BuildFrameRegions();
    resize(Picture1[0].size());
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpiX = screen ? screen->logicalDotsPerInchX() : 96.0;
    const double dpiY = screen ? screen->logicalDotsPerInchY() : 96.0;
    PixelTwipsX = float(1440.0 / dpiX);
    PixelTwipsY = float(1440.0 / dpiY);
    m_random.seed(unsigned(std::chrono::steady_clock::now().time_since_epoch().count()));
    StepX = -5;
    StepY = -2;
    Timer1->start();
}

void Form1::Form_Unload()
{
    Timer1->stop();
    // Stops every sound of the wave player; nothing is played (the result is ignored).
    m_sound.PlaySoundFile(QString(), 0, 0, 0, -1);
}

void Form1::setLeg(Leg leg)
{
    StepX = leg.stepX;
    StepY = leg.stepY;
    LegTicks = leg.ticks;
}

void Form1::BuildFrameRegions()
{
    for (size_t i = 0; i < Picture1.size(); ++i)
        FrameRegions[i] = FrameShapes::outline(Picture1[i]);
}

void Form1::bringForward(QWidget*)
{
    raise();
}

void Form1::ShowFrame(int index)
{
    m_frame = qBound(0, index, 7);
    setMask(FrameShapes::windowMask(FrameRegions[size_t(m_frame)]));
    update();
}

float Form1::nextRandom()
{
    if (m_randomSource)
        return m_randomSource();
    return std::uniform_real_distribution<float>(0.0f, 1.0f)(m_random);
}

void Form1::Timer1_Timer()
{
    if (LegTicks < 1) {
        const float r1 = nextRandom();
        const float r2 = nextRandom();
        const float r3 = nextRandom();
        LegTicks = nearest16((r1 * 10 + 3) * 2);
        StepX = nearest16((r2 * 10 - 5) * PixelTwipsX * 12);
        StepY = nearest16((r3 * 10 - 5) * PixelTwipsY * 2);
    }
    --LegTicks;

    // Positions are worked out in twips, as the window system reports them.
    const float left = float(x()) * PixelTwipsX;
    const float top = float(y()) * PixelTwipsY;
    int newLeft = nearest32(float(StepX) + left);
    int newTop = nearest32(float(StepY) + top);
    if (newLeft < 0)
        newLeft = 0;
    if (newTop < 0)
        newTop = 0;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenPx = screen ? screen->geometry().size() : QSize(1024, 768);
    const float screenW = float(screenPx.width()) * PixelTwipsX;
    const float screenH = float(screenPx.height()) * PixelTwipsY;
    const float w = float(Picture1[0].width()) * PixelTwipsX;
    const float h = float(Picture1[0].height()) * PixelTwipsY;
    if (float(newLeft) + w > screenW)
        newLeft = nearest32(screenW - w);
    if (float(newTop) + h > screenH)
        newTop = nearest32(screenH - h);
    move(nearest32(newLeft / PixelTwipsX), nearest32(newTop / PixelTwipsY));

    const int index = (LegTicks % 2) + (StepX > 0 ? 2 : 0) + (StepY < 0 ? 4 : 0);
    ShowFrame(index);
}

void Form1::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, Picture1[size_t(m_frame)]);
}

void Form1::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        QWindow* w = windowHandle();
        if (!w || !w->startSystemMove()) {
            m_dragging = true;
            m_dragOffset = event->globalPosition().toPoint() - pos();
        }
    } else if (event->button() == Qt::RightButton) {
        m_endProcess();
    }
    event->accept();
}

void Form1::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
        move(event->globalPosition().toPoint() - m_dragOffset);
}

void Form1::mouseReleaseEvent(QMouseEvent*)
{
    m_dragging = false;
}
