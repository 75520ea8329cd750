# What the user types: address sets and the address prompt's check.
list(APPEND KALIST8_CORE_SOURCES
  UserEntries/AddressEntries.cpp
)
