#pragma once

#include <QList>
#include <QString>

#include <deque>
#include <functional>

class QWidget;

// Application-modal message boxes with the classic style values. Tests answer
// them through a queue instead of a real modal loop.
class MessageBoxes
{
public:
    enum Style { OkOnly = 0, YesNo = 4, Question = 32, Information = 64, DefaultButton2 = 256 };
    enum Answer { Ok = 1, Yes = 6, No = 7 };

    struct Shown
    {
        QString prompt;
        int style = 0;
        QString title;
    };

    // Shows the box and returns the answer (Ok, Yes or No).
    int MsgBox(const QString& prompt, int style = OkOnly,
               const QString& title = QStringLiteral("Kestrova"));

    // Test seam: the next box is answered with `answer` without being shown;
    // `whileShown` runs at the moment the box would be on screen.
    void queueAnswer(int answer, std::function<void()> whileShown = {});
    // Every box asked for so far, answered by the queue or by the user.
    const QList<Shown>& shown() const { return m_shown; }
    // Test seam: a box with no queued answer is not shown but answered at once
    // (OK, or No for a question) and counted, so a test never waits on a user.
    void setNeverBlock(bool on) { m_neverBlock = on; }
    int unanswered() const { return m_unanswered; }

private:
    struct Queued
    {
        int answer;
        std::function<void()> whileShown;
    };
    std::deque<Queued> m_queue;
    QList<Shown> m_shown;
    bool m_neverBlock = false;
    int m_unanswered = 0;
};
