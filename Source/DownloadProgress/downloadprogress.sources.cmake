# Progress while a long answer (the archive) arrives: the link's byte count,
# and the wait window's bar that shows it.
list(APPEND KALIST8_CORE_SOURCES
  DownloadProgress/AnswerProgress.cpp
)
list(APPEND KALIST8_WIDGET_SOURCES
  DownloadProgress/DownloadProgressView.cpp
)
