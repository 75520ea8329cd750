# The timing advisor: the plan of the readings and the proposal's
# arithmetic, the readings on the engine's worker, and its window.
list(APPEND KALIST8_CORE_SOURCES
  TimingAdvisor/TimingPlan.cpp
)
list(APPEND KALIST8_WIDGET_SOURCES
  TimingAdvisor/Advice.cpp
  TimingAdvisor/AdvisorWindow.cpp
)
