#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <deque>
#include <functional>

// Application-modal message boxes with the classic style values. Tests answer
// them through a queue instead of a real modal loop.
//
// A box belongs to a window of ours and is kept above our always-on-top
// windows, so it never opens hidden behind the main window (when that is on
// top) or behind the result or flight window while they block nothing.
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
        // The window the box belonged to (null when no window of ours was up).
        QPointer<QWidget> owner;
    };

    // Shows the box in front of `owner` (the window asking) and returns the
    // answer (Ok, Yes or No). Without an owner, or when it is hidden, the box
    // belongs to our active window, else to the default owner.
    int MsgBox(const QString& prompt, int style = OkOnly,
               const QString& title = QStringLiteral("Kestrova"), QWidget* owner = nullptr);

    // The window a box belongs to when its caller names none and none of ours
    // is active (the application sets the main window).
    void setDefaultOwner(std::function<QWidget*()> owner) { m_defaultOwner = std::move(owner); }
    // The window a box asked for by `owner` would belong to now.
    QWidget* ownerFor(QWidget* owner) const;

    // Test seam: the next box is answered with `answer` without being shown;
    // `whileShown` runs at the moment the box would be on screen.
    void queueAnswer(int answer, std::function<void()> whileShown = {});
    // Every box asked for so far, answered by the queue or by the user.
    const QList<Shown>& shown() const { return m_shown; }
    // Test seam: a box with no queued answer is not shown but answered at once
    // (OK, or No for a question) and counted, so a test never waits on a user.
    void setNeverBlock(bool on) { m_neverBlock = on; }
    int unanswered() const { return m_unanswered; }

    // The prompt as a box lays it out: a line may break only at the end of a
    // phrase (after a blank, 。、？！, or between groups of four bytes of a
    // fingerprint such as "AB:CD:EF:01:") that leaves three characters or
    // more on each side; everywhere else a word joiner (U+2060, drawn as
    // nothing) or a no-break space holds the characters together, so that a
    // Japanese sentence stays whole where it fits and never leaves a tail of
    // one or two characters on a line of its own.
    static QString phrased(const QString& prompt);

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
    std::function<QWidget*()> m_defaultOwner;
};
