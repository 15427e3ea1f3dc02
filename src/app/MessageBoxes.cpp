#include "app/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

QWidget* MessageBoxes::ownerFor(QWidget* owner) const
{
    // A hidden window cannot hold a box in front of the user.
    auto shownWindow = [](QWidget* w) -> QWidget* {
        w = w ? w->window() : nullptr;
        return w && w->isVisible() ? w : nullptr;
    };
    if (QWidget* w = shownWindow(owner))
        return w;
    if (QWidget* w = shownWindow(QApplication::activeWindow()))
        return w;
    return m_defaultOwner ? shownWindow(m_defaultOwner()) : nullptr;
}

int MessageBoxes::MsgBox(const QString& prompt, int style, const QString& title, QWidget* owner)
{
    QWidget* parent = ownerFor(owner);
    m_shown.append({prompt, style, title, parent});
    if (!m_queue.empty()) {
        Queued q = std::move(m_queue.front());
        m_queue.pop_front();
        if (q.whileShown)
            q.whileShown();
        return q.answer;
    }
    if (m_neverBlock) {
        ++m_unanswered;
        return (style & 0x7) == YesNo ? No : Ok;
    }

    // Owned by the asking window, the box is stacked above it by the window
    // manager; on top as well, it stays above our other always-on-top windows
    // (the result and flight windows), whichever window asked.
    QMessageBox box(parent);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setWindowTitle(title);
    box.setText(prompt);
    box.setWindowModality(Qt::ApplicationModal);
    // Once shown: without a window manager a new window is neither raised nor
    // given the keyboard by anyone else.
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    if (style & Information)
        box.setIcon(QMessageBox::Information);
    else if (style & Question)
        box.setIcon(QMessageBox::Question);
    if ((style & 0x7) == YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? Yes : No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
    return Ok;
}

void MessageBoxes::queueAnswer(int answer, std::function<void()> whileShown)
{
    m_queue.push_back({answer, std::move(whileShown)});
}
