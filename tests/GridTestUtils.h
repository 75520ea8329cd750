#pragma once

#include "VCLUtils/StringGrid.h"

#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QImage>
#include <QtTest/QTest>

// A shown grid of known geometry: columns 80 wide, rows 30 high, one fixed
// row, a font that every test machine has.
inline void PrepareTestGrid(my::StringGrid& grd, int cols, int rows)
{
    grd.setFrameShape(QFrame::NoFrame);
    grd.resize(400, 300);
    grd.SetColCount(cols);
    grd.SetRowCount(rows);
    grd.SetFixedRows(1);
    grd.SetDefaultColWidth(80);
    grd.SetDefaultRowHeight(30);
    grd.SetColor(Qt::white);
    grd.SetFixedColor(QColor(0xE3, 0xE3, 0xE3));
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(14);
    grd.setFont(f);
    grd.show();
    (void)QTest::qWaitForWindowExposed(&grd);
}

// Paints the grid and lets what the painting queued (column widths) happen,
// a few times over, so a column that would widen again would do so.
inline void Settle(my::StringGrid& grd)
{
    for (int i = 0; i < 3; ++i) {
        grd.viewport()->repaint();
        QCoreApplication::processEvents();
    }
}

inline QImage RenderViewport(my::StringGrid& grd)
{
    QImage img(grd.viewport()->size(), QImage::Format_RGB32);
    img.fill(Qt::magenta);
    grd.viewport()->render(&img);
    return img;
}
