#pragma once

#include <QLabel>

// A caption that acts as a button: a left click on it emits clicked().
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

private:
    bool m_pressed = false;
};
