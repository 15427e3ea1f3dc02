#include "ui/MessageBoxes.h"

#include "ui/InFront.h"

#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStyle>

#include <vector>

namespace {

// A message box whose label keeps the prompt as composed, for assistive
// technology and the clipboard, and draws it in the lines phrased for the
// box's screen in place of the label's own wrapping.
class PhrasedBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

    QStringList lines;

protected:
    void showEvent(QShowEvent* event) override
    {
        phrase();
        QMessageBox::showEvent(event);
    }
    // Ctrl+C copies the message, on every platform.
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event == QKeySequence::Copy) {
            QGuiApplication::clipboard()->setText(text());
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        QLabel* shown = label();
        if (watched != shown || event->type() != QEvent::Paint)
            return QMessageBox::eventFilter(watched, event);
        QPainter painter(shown);
        shown->style()->drawItemText(&painter, shown->contentsRect(), Qt::AlignLeft | Qt::AlignTop,
                                     shown->palette(), shown->isEnabled(), lines.join(u'\n'),
                                     shown->foregroundRole());
        return true;
    }

private:
    QLabel* label() const { return findChild<QLabel*>(QStringLiteral("qt_msgbox_label")); }
    void phrase();
};

// Lines as wide as the box lets a text grow before it wraps it (half the
// screen, 500 pixels at most), less what stands beside the text: the
// margins, the icon and the gaps around it. No more lines than the screen
// holds beside the title bar, the buttons and the margins: a last line that
// is cut ends in "…" (the label keeps the whole text).
void PhrasedBox::phrase()
{
    QLabel* shown = label();
    const QRect screen = this->screen()->availableGeometry();
    const QFontMetricsF metrics(shown->font());
    auto* grid = qobject_cast<QGridLayout*>(layout());
    const int gap = grid ? qMax(0, grid->horizontalSpacing()) : 6;
    const QLabel* icon = findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"));
    const bool hasIcon = icon && !icon->pixmap().isNull();
    const QMargins margins = layout()->contentsMargins() + contentsMargins();
    // The box indents its text 7 pixels from its icon, or 15 without one.
    const int beside = margins.left() + margins.right() +
                       (hasIcon ? icon->sizeHint().width() + 7 + 2 * gap : 15 + gap);
    const qreal width = qMin(screen.width() / 2, 500) - beside;
    lines = MessageBoxes::phrased(
        text(), width, [&](const QString& line) { return metrics.horizontalAdvance(line); });

    shown->setFixedSize(0, 0);
    const int besideText = layout()->totalMinimumSize().height() +
                           2 * style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    const int most = qMax(1, int((screen.height() - besideText) / metrics.lineSpacing()));
    if (lines.size() > most) {
        lines.resize(most);
        QString& last = lines.last();
        while (!last.isEmpty() && metrics.horizontalAdvance(last + u'…') > width)
            last.chop(1);
        last += u'…';
    }
    shown->setFixedSize(QFontMetrics(shown->font())
                            .boundingRect(QRect(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX),
                                          Qt::AlignLeft | Qt::AlignTop, lines.join(u'\n'))
                            .size());
    shown->installEventFilter(this);
}

constexpr int kShortest = 3; // characters a line holds at least, blanks aside

// Never starts a line: closing brackets and the stops.
bool closes(QChar c)
{
    return QStringView(u"」』）】。、").contains(c);
}

int visible(const QString& text, qsizetype from, qsizetype to)
{
    int n = 0;
    for (qsizetype i = from; i < to; ++i)
        n += !text[i].isSpace();
    return n;
}

// Where a paragraph may break, after position i: at the end of a phrase,
// leaving kShortest characters or more on each side.
std::vector<bool> phraseEnds(const QString& p)
{
    const auto isHex = [](QChar c) { return c.isDigit() || (c >= u'A' && c <= u'F'); };
    std::vector<bool> breakAfter(size_t(p.size()), false);
    int pairs = 0; // hex pairs so far in a run such as "AB:CD:"
    for (qsizetype i = 0; i + 1 < p.size(); ++i) {
        const QChar c = p[i];
        const QChar next = p[i + 1];
        bool breakable = c.isSpace() || QStringView(u"。、？！").contains(c);
        if (c == u':' && i >= 2 && isHex(p[i - 1]) && isHex(p[i - 2]))
            breakable = ++pairs % 4 == 0;
        else if (!isHex(c))
            pairs = 0;
        if (closes(next))
            breakable = false;
        breakAfter[size_t(i)] = breakable && !next.isSpace();
    }
    // No piece shorter than kShortest: a short one joins the piece after it.
    qsizetype pieceStart = 0;
    for (qsizetype i = 0; i < p.size(); ++i) {
        if (!breakAfter[size_t(i)])
            continue;
        if (visible(p, pieceStart, i + 1) < kShortest || visible(p, i + 1, p.size()) < kShortest)
            breakAfter[size_t(i)] = false;
        else
            pieceStart = i + 1;
    }
    return breakAfter;
}

// A name in 「」 that fits on a line is not broken inside.
void keepQuotesWhole(const QString& p, std::vector<bool>& breakAfter, qreal width,
                     const MessageBoxes::Measure& measure)
{
    qsizetype open = 0;
    int depth = 0;
    for (qsizetype i = 0; i < p.size(); ++i) {
        if (p[i] == u'「' && depth++ == 0)
            open = i;
        else if (p[i] == u'」' && depth > 0 && --depth == 0 &&
                 measure(p.mid(open, i - open + 1)) <= width)
            std::fill(breakAfter.begin() + open, breakAfter.begin() + i, false);
    }
}

// Where a line breaks inside a phrase wider than the line, which runs from
// `start` to `pieceEnd`: before a 「, or after a / or \ in the later half of
// what fits, else where the line is full; never before a closing bracket or
// a stop, nor between the halves of a character, nor leaving a short tail
// where it can be helped.
qsizetype forcedEnd(const QString& p, qsizetype start, qsizetype pieceEnd, qreal width,
                    const MessageBoxes::Measure& measure)
{
    qsizetype end = start + 1;
    while (end < pieceEnd && measure(p.mid(start, end + 1 - start)) <= width)
        ++end;
    qsizetype preferred = -1;
    for (qsizetype i = qMin(end, pieceEnd - 1); i > start && preferred < 0; --i) {
        if (p[i] == u'「' && visible(p, start, i) >= kShortest)
            preferred = i;
    }
    for (qsizetype i = end; i > start + (end - start) / 2 && preferred < 0; --i) {
        if (p[i - 1] == u'/' || p[i - 1] == u'\\')
            preferred = i;
    }
    if (preferred > 0)
        end = preferred;
    else if (pieceEnd - end < kShortest && pieceEnd - kShortest > start)
        end = pieceEnd - kShortest;
    const auto startsBadly = [&](qsizetype i) {
        while (i < p.size() && p[i].isSpace())
            ++i;
        return i < p.size() && (closes(p[i]) || p[i].isLowSurrogate());
    };
    // Back to before what the bracket or stop closes; when that leaves
    // nothing, on past them (they hang over the line's end a little).
    qsizetype back = end;
    while (back > start + 1 && startsBadly(back))
        --back;
    if (!startsBadly(back))
        return back;
    while (end < pieceEnd && startsBadly(end))
        ++end;
    return end;
}

void appendPhrased(QStringList& lines, const QString& p, qreal width,
                   const MessageBoxes::Measure& measure)
{
    if (p.isEmpty()) {
        lines.append(QString());
        return;
    }
    std::vector<bool> breakAfter = phraseEnds(p);
    keepQuotesWhole(p, breakAfter, width, measure);
    const auto line = [&](qsizetype from, qsizetype to) {
        QString text = p.mid(from, to - from);
        while (!text.isEmpty() && text.back().isSpace())
            text.chop(1);
        return text;
    };
    qsizetype start = 0;
    do {
        // As many whole phrases as fit. A phrase wider than any line is
        // broken where it stands, so the line before it is filled first.
        qsizetype end = -1;
        qsizetype pieceEnd = start;
        while (pieceEnd < p.size()) {
            qsizetype i = pieceEnd;
            while (i + 1 < p.size() && !breakAfter[size_t(i)])
                ++i;
            const qsizetype pieceStart = pieceEnd;
            pieceEnd = i + 1;
            if (measure(line(start, pieceEnd)) > width) {
                if (end >= 0 && measure(line(pieceStart, pieceEnd).trimmed()) > width)
                    end = -1;
                break;
            }
            end = pieceEnd;
        }
        if (end < 0)
            end = forcedEnd(p, start, pieceEnd, width, measure);
        lines.append(line(start, end));
        start = end;
        while (start < p.size() && p[start].isSpace())
            ++start;
    } while (start < p.size());
}

} // namespace

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
    std::unique_ptr<QMessageBox> box = makeBox(prompt, style, title, parent);
    box->setWindowModality(Qt::ApplicationModal);
    // After the modality: QMessageBox sets its window flags anew there.
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // An X window manager keeps a modal dialog just above the window it is
    // transient for (openbox does), where our other always-on-top windows may
    // still cover it; transient for the application as a whole, it stays
    // above them all. The box keeps its owner as parent: it is centred on it.
    // It blocks every window of ours, so it is never minimised away.
    InFront::bring(*box, nullptr);
    InFront::keepFromMinimising(*box);
    // The box is its owner's child: should the owner go while the box waits,
    // Qt deletes the box with it, and it must not be deleted twice.
    const QPointer<QMessageBox> alive = box.get();
    const int answer = box->exec();
    if (!alive)
        (void)box.release();
    if ((style & 0x7) == YesNo)
        return answer == QMessageBox::Yes ? Yes : No;
    return Ok;
}

std::unique_ptr<QMessageBox> MessageBoxes::makeBox(const QString& prompt, int style,
                                                   const QString& title, QWidget* parent)
{
    auto box = std::make_unique<PhrasedBox>(parent);
    box->setWindowTitle(title);
    box->setTextFormat(Qt::PlainText);
    box->setTextInteractionFlags(Qt::NoTextInteraction);
    box->setText(prompt);
    if (style & Information)
        box->setIcon(QMessageBox::Information);
    else if (style & Question)
        box->setIcon(QMessageBox::Question);
    if ((style & 0x7) == YesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton((style & DefaultButton2) ? QMessageBox::No : QMessageBox::Yes);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    }
    return box;
}

QStringList MessageBoxes::shownLines(const QMessageBox& box)
{
    const auto* phrased = dynamic_cast<const PhrasedBox*>(&box);
    return phrased ? phrased->lines : QStringList();
}

void MessageBoxes::queueAnswer(int answer, std::function<void()> whileShown)
{
    m_queue.push_back({answer, std::move(whileShown)});
}

QStringList MessageBoxes::phrased(const QString& prompt, qreal width, const Measure& measure)
{
    QStringList lines;
    for (const QString& paragraph : prompt.split(u'\n'))
        appendPhrased(lines, paragraph, width, measure);
    return lines;
}
