#pragma once

#include <QLabel>

// A caption that acts as a button: a left click on it emits clicked(), and so
// do Space and Enter while it has the keyboard focus (captions that should be
// reached by Tab get a focus policy from their window; a frame in the
// caption's colour, edged in black so that it shows over any picture, then
// marks the one that has the focus, inside the window's edge). Assistive
// technology sees a button named by its caption, with a press action.
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    ClickLabel(const QString& objectName, const QString& text, QWidget* parent);

    // What a click does, run once control is back in the event loop, as a
    // button pressed by assistive technology is.
    void pressLater();

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_pressed = false;
};
