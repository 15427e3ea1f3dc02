#include "ui/MessageBoxes.h"

#include "ui/InFront.h"

#include <QApplication>
#include <QMessageBox>

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

    // Centred on the asking window and on top of other windows, the box is in
    // front of our always-on-top ones as well (the main window when switched
    // so, the result and flight windows), whichever window asked.
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(prompt);
    box.setWindowModality(Qt::ApplicationModal);
    // After the modality: QMessageBox sets its window flags anew there.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // An X window manager keeps a modal dialog just above the window it is
    // transient for (openbox does), where our other always-on-top windows may
    // still cover it; transient for the application as a whole, it stays
    // above them all. The box keeps its owner as parent: it is centred on it.
    // It blocks every window of ours, so it is never minimised away.
    InFront::bring(box, nullptr);
    InFront::keepFromMinimising(box);
    if (style & Information)
        box.setIcon(QMessageBox::Information);
    else if (style & Question)
        box.setIcon(QMessageBox::Question);
    if ((style & 0x7) == YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton((style & DefaultButton2) ? QMessageBox::No : QMessageBox::Yes);
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
