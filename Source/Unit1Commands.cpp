// The main window's commands that change what the engine does.
#include "Unit1.h"

void TForm1::N5Click() {}

void TForm1::N9Click() {}

void TForm1::N7Click() {}

void TForm1::N2Click() {}

void TForm1::PopupMenu1Popup() {}

void TForm1::menuShowDetailClick() {}
