// Every text of every window shows whole, in the UI face and in each face
// that stands in for it: each caption and check-box text measured in its
// control's own font against the part of the control inside its window, and
// the result boxes' line of text, as drawn, against the window's lower edge.

#include "support/app/AppHarness.h"

#include "mail/MsgForm.h"
#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"
#include "settings/SetForm.h"
#include "ui/DialogParts.h"
#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextLayout>

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

TEST_P(TextFit, MessageBoxLinesBreakOnlyAtTheEndOfAPhrase)
{
    const QString prompt = QStringLiteral(
        "POP3 サーバー「mail.example.net」から 30 秒以内に応答がありませんでした。"
        "サーバー名とポートが正しいか、ネットワークにつながっているかを確かめてください。\n"
        "3A:F1:09:BC:77:E2:5D:10:C4:8B:92:AA:01:6F:3E:D5");
    const QChar joiner(0x2060);
    for (const int width : {150, 260, 480}) {
        SCOPED_TRACE(width);
        QStringList lines;
        for (const QString& paragraph : MessageBoxes::phrased(prompt).split(u'\n')) {
            QTextLayout layout(paragraph, QApplication::font());
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
                line.setLineWidth(width);
            layout.endLayout();
            for (int i = 0; i < layout.lineCount(); ++i) {
                const QTextLine line = layout.lineAt(i);
                const QString text = paragraph.mid(line.textStart(), line.textLength());
                EXPECT_FALSE(text.endsWith(joiner)) << "broken inside a phrase";
                lines.append(QString(text).remove(joiner).replace(QChar(0x00A0), u' ').trimmed());
                EXPECT_GE(QString(lines.last()).remove(u' ').size(), 3) << "a short tail";
            }
        }
        // Wide enough, each sentence keeps a line of its own.
        if (width == 480) {
            EXPECT_EQ(lines, prompt.split(QRegularExpression(QStringLiteral("(?<=。)|\\n")),
                                          Qt::SkipEmptyParts));
        }
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
