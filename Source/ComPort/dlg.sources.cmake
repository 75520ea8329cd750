list(APPEND KALIST8_WIDGET_SOURCES ComPort/Dlg/uFormComPortSetsDlg.cpp)
