# The polling engine: the task list and the transfer manager with its
# worker. Widgets, because stopping shows the wait window.
list(APPEND KALIST8_WIDGET_SOURCES
  DevSys/TaskList.cpp
  DevSys/TransferManage.cpp
)
