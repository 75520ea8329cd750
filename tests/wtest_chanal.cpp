#include "uFormChanal.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace {

QColor TextColour(const QLabel* l)
{
    return l->palette().color(QPalette::WindowText);
}

} // namespace

TEST(FormChanal, StartsAtTheSmallestWidthItAllows)
{
    TFormChanal f;
    // Created 382 wide, which the 400-pixel minimum raises.
    EXPECT_EQ(f.size(), QSize(400, 266));
    EXPECT_TRUE(f.windowTitle().isEmpty());
    EXPECT_EQ(f.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_TRUE(f.autoFillBackground());
    EXPECT_EQ(TextColour(f.Label1), QColor(0, 0, 128));
    EXPECT_EQ(TextColour(f.Label2), QColor(0, 0, 255));
    EXPECT_EQ(f.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
    // (266 - 100) / 2 and 266 / 2 + 10.
    EXPECT_EQ(f.Label1->font().pixelSize(), 83);
    EXPECT_EQ(f.Label2->pos(), QPoint(10, 143));
}

TEST(FormChanal, TextsGrowAndShrinkWithTheWindow)
{
    TFormChanal f;
    f.Label1->setText(QString::fromUtf8("Давление"));
    f.Label2->setText(QStringLiteral("..."));
    f.show();
    (void)QTest::qWaitForWindowExposed(&f);

    struct Case {
        QSize requested, got;
        int fontHeight, label2Top;
    } const cases[] = {
        {{500, 200}, {500, 200}, 50, 110},
        {{600, 401}, {600, 401}, 150, 210},
        {{300, 100}, {400, 150}, 25, 85},
    };
    for (const Case& c : cases) {
        f.resize(c.requested);
        QCoreApplication::processEvents();
        EXPECT_EQ(f.size(), c.got);
        for (const QLabel* l : {f.Label1, f.Label2}) {
            EXPECT_EQ(l->font().pixelSize(), c.fontHeight) << c.requested.height();
            EXPECT_GE(l->height(), c.fontHeight);
        }
        EXPECT_EQ(f.Label1->pos(), QPoint(10, 10));
        EXPECT_EQ(f.Label2->pos(), QPoint(10, c.label2Top));
    }
}

TEST(FormChanal, CanResizeRaisesTooSmallRequests)
{
    int w = 300, h = 120;
    TFormChanal::FormCanResize(w, h);
    EXPECT_EQ(w, 400);
    EXPECT_EQ(h, 150);
    w = 401;
    h = 151;
    TFormChanal::FormCanResize(w, h);
    EXPECT_EQ(w, 401);
    EXPECT_EQ(h, 151);
}

TEST(FormChanal, ClosingTellsTheOwnerWithTheTag)
{
    auto* f = new TFormChanal;
    f->SetTag(7);
    int closedTag = -1;
    f->SetCloseHandler([&closedTag](TFormChanal* w) {
        closedTag = w->Tag();
        w->deleteLater();
    });
    f->show();
    QPointer<TFormChanal> alive(f);
    f->close();
    EXPECT_EQ(closedTag, 7);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}
