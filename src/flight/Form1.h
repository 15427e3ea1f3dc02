#pragma once

#include "ui/FormRegistry.h"

#include <QImage>
#include <QRegion>

#include <array>
#include <functional>
#include <random>

class Module1;
class QTimer;

// The flight window: the paper aeroplane, a borderless, always-on-top window
// cut to the outline of its current frame, flying over the desktop by itself
// every 500 ms. The main window's 紙飛行機 switch and a check that finds
// mail send it out and call it back; the left button drags it, and a right
// click on it ends Kestrova.
class Form1 : public Form
{
    Q_OBJECT
public:
    // sound: stopped when the aeroplane is called back; endProcess: what a
    // right click on the aeroplane runs.
    Form1(Module1& sound, std::function<void()> endProcess);

    // Builds the eight outlines and starts the flight, which goes on while
    // the window is hidden; the window stays above all others.
    void Form_Load() override;
    // Calling the aeroplane back: stops the flight and the wave player's sounds.
    void Form_Unload() override;
    // Raises the aeroplane, which never takes the keyboard.
    void bringForward(QWidget* from) override;

    // Computes the outline of each of the eight frames.
    void BuildFrameRegions();
    // Gives the window frame `index`'s picture and outline.
    void ShowFrame(int index);
    // Every 500 ms: one step of the current leg (a new random leg when it
    // ends), kept on the screen, with the frame that faces the way it flies.
    void Timer1_Timer();

    // The current leg: twips moved per tick, and ticks left.
    struct Leg
    {
        qint16 stepX = 0;
        qint16 stepY = 0;
        qint16 ticks = 0;
    };
    Leg leg() const { return {StepX, StepY, LegTicks}; }
    void setLeg(Leg leg);
    int currentFrame() const { return m_frame; }
    // Frame `index`'s outline, as built at the last load.
    const QRegion& frameRegion(int index) const { return FrameRegions[size_t(index)]; }
    // Test seam: replaces frame `index`'s picture (BuildFrameRegions outlines it).
    void setFramePicture(int index, const QImage& picture) { Picture1[size_t(index)] = picture; }
    // Test seam: where the uniform draws in [0, 1) of a new leg come from.
    void setRandomSource(std::function<float()> source) { m_randomSource = std::move(source); }

protected:
    void paintEvent(QPaintEvent* event) override;
    // Left button: drags the aeroplane. Right button: ends Kestrova at once.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    float nextRandom();

    Module1& m_sound;
    std::function<void()> m_endProcess;

    std::array<QImage, 8> Picture1; // two wing poses, flying left or right, sinking or climbing
    std::array<QRegion, 8> FrameRegions; // their outlines, built at each load
    QTimer* Timer1 = nullptr;

    float PixelTwipsX = 15.0f;
    float PixelTwipsY = 15.0f;
    qint16 StepX = 0; // the current leg: twips moved per tick
    qint16 StepY = 0;
    qint16 LegTicks = 0; // ticks left in the current leg

    int m_frame = 0;
    std::mt19937 m_random;
    std::function<float()> m_randomSource;
    // Manual dragging where the window system does not move the window itself.
    bool m_dragging = false;
    QPoint m_dragOffset;
};
