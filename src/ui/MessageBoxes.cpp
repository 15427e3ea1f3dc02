#include "ui/MessageBoxes.h"

#include "ui/InFront.h"

#include <QApplication>
#include <QMessageBox>

#include <vector>

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
    box.setText(phrased(prompt));
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

QString MessageBoxes::phrased(const QString& prompt)
{
    constexpr QChar kJoiner(0x2060);
    constexpr int kShortest = 3; // characters a line holds at least, blanks aside
    const auto isHex = [](QChar c) { return c.isDigit() || (c >= u'A' && c <= u'F'); };
    // Where a line may break: after position i.
    std::vector<bool> breakAfter(size_t(prompt.size()), false);
    int pairs = 0; // hex pairs so far in a run such as "AB:CD:"
    for (qsizetype i = 0; i + 1 < prompt.size(); ++i) {
        const QChar c = prompt[i];
        const QChar next = prompt[i + 1];
        bool breakable = c.isSpace();
        if (QStringView(u"。、？！").contains(c))
            breakable = !QStringView(u"」』）】。、").contains(next);
        if (c == u':' && i >= 2 && isHex(prompt[i - 1]) && isHex(prompt[i - 2]))
            breakable = ++pairs % 4 == 0;
        else if (!isHex(c))
            pairs = 0;
        breakAfter[size_t(i)] = breakable && !next.isSpace();
    }
    // No piece shorter than kShortest: a short one joins the piece after it.
    const auto visible = [&](qsizetype from, qsizetype to) {
        int n = 0;
        for (qsizetype i = from; i < to; ++i)
            n += !prompt[i].isSpace();
        return n;
    };
    qsizetype pieceStart = 0;
    for (qsizetype i = 0; i < prompt.size(); ++i) {
        if (prompt[i] == u'\n') {
            pieceStart = i + 1;
            continue;
        }
        if (!breakAfter[size_t(i)])
            continue;
        const qsizetype lineEnd = prompt.indexOf(u'\n', i);
        if (visible(pieceStart, i + 1) < kShortest ||
            visible(i + 1, lineEnd < 0 ? prompt.size() : lineEnd) < kShortest)
            breakAfter[size_t(i)] = false;
        else
            pieceStart = i + 1;
    }
    QString out;
    out.reserve(prompt.size() * 2);
    for (qsizetype i = 0; i < prompt.size(); ++i) {
        const bool lineEnds =
            prompt[i] == u'\n' || i + 1 >= prompt.size() || prompt[i + 1] == u'\n';
        const bool held = !lineEnds && !breakAfter[size_t(i)];
        // A line breaks after any blank, joiner or not: a held one does not break.
        out += held && prompt[i] == u' ' ? QChar(0x00A0) : prompt[i];
        if (held && !prompt[i + 1].isSpace())
            out += kJoiner;
    }
    return out;
}
