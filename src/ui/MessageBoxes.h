#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>

class QMessageBox;

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

    // The box MsgBox shows, not shown yet: the prompt is its text as composed
    // (what assistive technology reads and Ctrl+C copies), drawn in lines
    // phrased for the width of a box on its screen once it shows; the
    // style's icon and buttons.
    static std::unique_ptr<QMessageBox> makeBox(const QString& prompt, int style,
                                                const QString& title, QWidget* parent);
    // The lines a box made by makeBox draws, once it has shown.
    static QStringList shownLines(const QMessageBox& box);

    // The prompt in lines no wider than `width`, as `measure` gives a line's
    // width. Lines break at the prompt's own line ends, else only at the end
    // of a phrase (after a blank or 。、？！, or between groups of four bytes
    // of a fingerprint such as "AB:CD:EF:01:") that leaves three characters
    // or more on each side, and each line takes as many phrases as fit. No
    // line starts with a closing bracket, 。 or 、, and a name in 「」 that
    // fits on a line is not broken inside. A phrase wider than the line (a
    // long path or server value) breaks before a 「 or after a / or \ where
    // one comes late enough, else where the line is full.
    using Measure = std::function<qreal(const QString&)>;
    static QStringList phrased(const QString& prompt, qreal width, const Measure& measure);

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
