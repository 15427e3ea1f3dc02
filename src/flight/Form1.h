#pragma once

#include "app/FormRegistry.h"

#include <QImage>
#include <QRegion>

#include <array>
#include <functional>
#include <random>

class QTimer;

// The paper aeroplane: a borderless, always-on-top window cut to the outline
// of its current frame, flying over the desktop by itself every 500 ms.
class Form1 : public Form
{
    Q_OBJECT
public:
    explicit Form1(AppContext& ctx);

    void Form_Load() override;
    void Form_Unload() override;

    // Computes the outline of each of the eight frames.
    void BuildFrameRegions();
    // Gives the window frame `index`'s picture and outline.
    void ShowFrame(int index);
    // One flight step.
    void Timer1_Timer();

    std::array<QImage, 8> Picture1;
    std::array<QRegion, 8> FrameRegions;
    QTimer* Timer1 = nullptr;

    float PixelTwipsX = 15.0f;
    float PixelTwipsY = 15.0f;
    qint16 StepX = 0;
    qint16 StepY = 0;
    qint16 LegTicks = 0;
    int currentFrame() const { return m_frame; }
    // Test seam: where the uniform draws in [0, 1) of a new leg come from.
    void setRandomSource(std::function<float()> source) { m_randomSource = std::move(source); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    float nextRandom();

    int m_frame = 0;
    std::mt19937 m_random;
    std::function<float()> m_randomSource;
    // Manual dragging where the window system does not move the window itself.
    bool m_dragging = false;
    QPoint m_dragOffset;
};
