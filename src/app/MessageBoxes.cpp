#include "app/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

int MessageBoxes::MsgBox(const QString& prompt, int style, const QString& title)
{
    m_shown.append({prompt, style, title});
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

    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(prompt);
    box.setWindowModality(Qt::ApplicationModal);
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
