// Every text of every window shows whole, in the UI face and in each face
// that stands in for it: each caption and check-box text measured in its
// control's own font against the part of the control inside its window, the
// result boxes' line of text, as drawn, against the window's lower edge, and
// the message boxes' text against the box and the screen.

#include "support/app/AppHarness.h"

#include "mail/MsgForm.h"
#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"
#include "settings/SetForm.h"
#include "ui/DialogParts.h"
#include "ui/MessageBoxes.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// How much room a control's text needs, and how much the control has inside
// its window; controls placed out of view by design are left out.
struct Fit
{
    QString name;
    int needed = 0;
    int room = 0;
};

QList<Fit> fitsOf(QWidget& window)
{
    QList<Fit> fits;
    const QRect inside(QPoint(0, 0), window.size());
    for (QWidget* c : window.findChildren<QWidget*>()) {
        const QRect r(c->mapTo(&window, QPoint(0, 0)), c->size());
        QString text;
        int start = 0;
        if (auto* l = qobject_cast<QLabel*>(c); l && l->pixmap().isNull()) {
            text = l->text();
        } else if (auto* b = qobject_cast<QCheckBox*>(c)) {
            text = b->text();
            QStyleOptionButton o;
            o.initFrom(b);
            start = b->style()->subElementRect(QStyle::SE_CheckBoxContents, &o, b).left();
        }
        if (text.isEmpty() || c->isHidden() || !inside.intersects(r))
            continue;
        text.remove(QRegularExpression(QStringLiteral("&(?!&)"))); // a mnemonic takes no room
        fits.append({c->objectName(), start + c->fontMetrics().horizontalAdvance(text),
                     r.intersected(inside).width()});
    }
    return fits;
}

// The program's windows built with `family` as the application's face.
class TextFit : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        const QString family = QString::fromLatin1(GetParam());
        if (!QFontDatabase::families().contains(family))
            GTEST_SKIP() << "face not installed: " << GetParam();
        m_font = QApplication::font();
        QApplication::setFont(QFont(family, 9));
    }
    void TearDown() override { QApplication::setFont(m_font); }

    AppHarness h;
    QFont m_font;
};

} // namespace

TEST_P(TextFit, EveryCaptionAndOptionShowsWholeInsideItsWindow)
{
    AppContext& ctx = h.start();
    for (QWidget* w :
         QList<QWidget*>{&ctx.mainForm.get(), &ctx.setForm.get(), &ctx.optionForm.get(),
                         &ctx.idPassForm.get(), &ctx.msgForm.get()}) {
        w->show();
        for (const Fit& f : fitsOf(*w))
            EXPECT_LE(f.needed, f.room) << qPrintable(w->objectName()) << "." << qPrintable(f.name);
    }
}

TEST_P(TextFit, ACaptionCrossingItsWindowsEdgeFitsThePartInside)
{
    // 200 px wide at x = 40 in a 100 px window: 60 px of it can be seen.
    QWidget window;
    window.resize(100, 40);
    auto* label = new QLabel(QStringLiteral("新着メールです"), &window);
    label->setGeometry(40, 0, 200, 20);
    DialogParts::fitTexts(&window);
    const QList<Fit> fits = fitsOf(window);
    ASSERT_EQ(fits.size(), 1);
    EXPECT_EQ(fits.first().room, 60);
    EXPECT_LE(fits.first().needed, 60);
}

// A box shows every line of its text inside the box and the screen, however
// long a path or server value; its text, as assistive technology reads it and
// Ctrl+C copies it, is the message as composed, with nothing invisible in it.
TEST_P(TextFit, MessageBoxesShowTheirWholeTextInsideTheScreen)
{
    const QString prompts[] = {
        QStringLiteral("ホームページ「/home/someone/Program Files/Kestrova ★/%1README.md」を"
                       "開けませんでした。\nブラウザーかテキストエディターで開いてください。")
            .arg(QStringLiteral("長いフォルダー名/").repeated(20)),
        QStringLiteral("POP3 サーバー「pop3s://%1」に接続できませんでした。")
            .arg(QString(300, u'a')),
        QStringLiteral("サーバーの応答: -ERR %1").arg(QString(8000, u'x')),
    };
    for (const QString& prompt : prompts) {
        const auto box = MessageBoxes::makeBox(prompt, MessageBoxes::Information,
                                               QStringLiteral("Kestrova"), nullptr);
        box->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        const QStringList lines = MessageBoxes::shownLines(*box);
        const QRect needed = label->fontMetrics().boundingRect(
            QRect(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX), 0, lines.join(u'\n'));
        EXPECT_LE(needed.width(), label->width()) << prompt.left(20).toStdString();
        EXPECT_LE(needed.height(), label->height());
        EXPECT_TRUE(box->rect().contains(label->geometry()));
        EXPECT_TRUE(box->screen()->availableGeometry().size().boundedTo(box->frameSize()) ==
                    box->frameSize());
        // The lines hold the message (no invisible character put in), but
        // for blanks where they break and what is cut, with "…", at the
        // screen's foot.
        const QString shown = lines.join(QString()).remove(u' ');
        const QString whole = QString(prompt).remove(u' ').remove(u'\n');
        EXPECT_TRUE(shown == whole || (shown.endsWith(u'…') && whole.startsWith(shown.chopped(1))));
        EXPECT_EQ(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), prompt);
        QTest::keyClick(box.get(), Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), prompt);
    }
}

TEST_P(TextFit, ResultLettersShowWholeAboveTheWindowsLowerEdge)
{
    MsgForm& r = h.start().msgForm.get();
    r.show();
    for (const char* name : {"Text1", "Text2"}) {
        auto* box = r.findChild<QLineEdit*>(QString::fromLatin1(name));
        ASSERT_NE(box, nullptr);
        box->setText(QStringLiteral("新着メールはありませんでした。gy"));
        r.grab(); // the box places its line of text as it paints
        // The line starts where the box puts its cursor; its letters reach
        // down one line height, descent included.
        const int top = box->inputMethodQuery(Qt::ImCursorRectangle).toRect().top();
        EXPECT_LE(box->y() + top + box->fontMetrics().height(), r.height()) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Faces, TextFit,
                         ::testing::Values("IPAPGothic", "IPAGothic", "Noto Sans CJK JP"));
