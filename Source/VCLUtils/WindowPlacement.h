#pragma once

#include "VCLUtils/iniUtils_.h"

#include <QList>
#include <QRect>

#include <string>

class QWidget;

namespace my {
class IniFile;
}

// A top-level window's placement in the Windows terms "form1.ini" keeps.
WindowPlacementRec GetWindowPlacement(const QWidget& window);
void SetWindowPlacement(QWidget& window, const WindowPlacementRec& rec);

void SaveWindowPlacement(const QWidget& window, my::IniFile& ini, const std::string& section);
// Keys that are missing keep the window's present value of that field.
void LoadWindowPlacement(QWidget& window, const my::IniFile& ini, const std::string& section);

// Where a window's frame goes so that all of it can be seen: on the screen
// it overlaps most (else the nearest one), moved into that screen's
// available area and, where it is larger, cut to it. areas are the
// available areas of the screens.
QRect FitIntoAvailableArea(const QRect& frame, const QList<QRect>& areas);
