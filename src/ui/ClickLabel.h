#pragma once

#include <QLabel>

// A caption that acts as a button: a left click on it emits clicked(), and so
// do Space and Enter while it has the keyboard focus (captions that should be
// reached by Tab get a focus policy from their window; a dotted frame then
// shows which one has the focus).
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    ClickLabel(const QString& objectName, const QString& text, QWidget* parent);

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
